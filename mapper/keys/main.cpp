// Runeby: the program's entry point.
#include "runeby_program.h"
#include "../common/mapper_shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int showCommand) {
    return MapperMain(&kRunebyProgram, instance, previous, showCommand);
}
