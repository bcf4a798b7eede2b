// The mapper frame: single instance, dialog main window, record, tooltips, teardown.
#pragma once
#include "mapper_state.h"

int MapperMain(const MapperProgram *program, HINSTANCE instance, HINSTANCE previous, int showCommand);
void ActivateRunningInstance();
BOOL RegisterMapperClass(const MapperProgram *program, HINSTANCE instance);
// The main window from the program's dialog resource (start-up step 4).
HWND CreateMapperWindow(const MapperProgram *program, HINSTANCE instance);
INT_PTR CALLBACK MapperDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL InitMapperWindow(HWND window, HINSTANCE instance);
BOOL DestroyMapperWindow(HWND window);
