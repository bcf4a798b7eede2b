// Tavolin: the program's entry point.
#include "app/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandTail, int showCommand) {
    return RunPlayer(instance, previous, commandTail, showCommand);
}
