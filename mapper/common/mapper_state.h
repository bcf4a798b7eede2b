// The frame both mapper programs run: the per-window record's shared fields
// and the description through which each program plugs into the frame.
#pragma once
#include <windows.h>
#include <ddeml.h>
#include <cstddef>
#include "record_array.h"
#include "text_blocks.h"
#include "tray_icon.h"

constexpr int kTextSize = MAX_PATH;   // every kept path, name and command text
static_assert(kTextSize == kTextBlockSize, "paths and texts live in text blocks");
constexpr int kCommandMax = 99;       // numbered commands of the "Command" section
constexpr UINT kTrayRefreshMs = 3000;
constexpr char kMapperVersion[] = "2.3(32)";

// The frame's fields of the one record per main window. Each program's record
// begins with these and adds its own (RunebyState, PadwigState).
struct MapperState {
    HINSTANCE instance;
    HICON largeIcon;
    HICON smallIcon;
    HGLOBAL titleHandle;
    char *title;
    HGLOBAL iniPathHandle;
    char *iniPath;
    // The command list: commandCount texts of kTextSize bytes, entry 0 "none".
    HGLOBAL commandsHandle;
    char **commands;
    HGLOBAL commandHandlesHandle;
    HGLOBAL *commandHandles;
    int commandCount;
    HWND tooltip;
    DWORD ddeInstance;
    HSZ ddeService;
    HSZ ddeTopic;
    TrayIconData trayIcon;
    int inTray;
    UINT_PTR trayTimer;
    HMENU trayMenu;
    UINT taskbarCreatedMessage;
    int iconToTray;
};

// The record's address sits at DLGWINDOWEXTRA; pointer-sized so that the
// 64-bit build keeps a whole address (the 32-bit build has 30 + 4 bytes).
constexpr int kStateSlot = DLGWINDOWEXTRA;
constexpr int kMapperWindowExtra = DLGWINDOWEXTRA + sizeof(LONG_PTR);

#ifndef _WIN64
static_assert(DLGWINDOWEXTRA == 30, "dialog extra bytes");
static_assert(kMapperWindowExtra == 34, "main window extra bytes");
#endif

struct MapperTooltip {
    int controlId;
    int stringId;
};

// What makes a mapper program of the frame: its names, resources, tray values,
// tooltips, and the calls the frame makes at its program-specific points.
struct MapperProgram {
    const char *word;             // mutex, section of the frame's keys, caption
    const char *className;
    int dialogId;
    int iconId;
    UINT trayIconId;
    UINT trayMessage;
    UINT_PTR trayTimerId;         // 0: the main window handle's value
    int toTrayStringId;           // system menu items 40016 and 40032
    int iconToTrayStringId;
    const MapperTooltip *tooltips;
    int tooltipCount;
    BOOL tooltipRectangles;       // each control also as a rectangle tool of the window
    size_t stateSize;
    void (*setUp)(HWND window);                 // lists, settings, list boxes
    void (*connected)(HWND window);             // after the DDE connect
    void (*applyMapping)(HWND window);          // after the system menu, and the Apply button
    void (*save)(HWND window);                  // the Save button
    BOOL (*onCommand)(HWND window, int code, int id, HWND control);
    BOOL (*onTimer)(HWND window, UINT_PTR id);  // timers other than the tray's
    BOOL (*onMessage)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void (*stop)(HWND window);                  // first teardown step after the DDE disconnect
    void (*freeLists)(HWND window);
};

// The program this process runs (set by MapperMain or CreateMapperWindow).
extern const MapperProgram *g_mapperProgram;
// The process-wide copy of the main window, for the DDE callback.
extern HWND g_mapperWindow;
// The window timers' SetTimer (tests stand in for it). With a window,
// Windows promises only a non-zero return: the id passed is the one kept.
extern UINT_PTR(WINAPI *g_setTimer)(HWND window, UINT_PTR id, UINT ms, TIMERPROC proc);

inline MapperState *GetMapperState(HWND window) {
    return window ? reinterpret_cast<MapperState *>(GetWindowLongPtrA(window, kStateSlot)) : nullptr;
}
