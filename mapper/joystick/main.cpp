// Padwig: the program's entry point.
#include "padwig_program.h"
#include "../common/mapper_shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int showCommand) {
    return MapperMain(&kPadwigProgram, instance, previous, showCommand);
}
