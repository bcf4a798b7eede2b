// Clavtrap.dll: the two entry points the key mapper calls.
#include "clavtrap.h"

extern "C" {

void WINAPI InstallHook(HMODULE library, HWND window, UINT message) { ClavtrapInstall(library, window, message); }

void WINAPI RemoveHook() { ClavtrapRemove(); }

}
