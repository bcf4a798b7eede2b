#include "host_system.h"
#include "library_entry.h"

int g_hostIsWine = -1;

namespace {

// Not in the headers this code is built against (it targets Windows XP's).
constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;
constexpr int kProcessPowerThrottling = 4;  // PROCESS_INFORMATION_CLASS
constexpr ULONG kPowerThrottlingVersion = 1;
constexpr ULONG kIgnoreTimerResolution = 0x4;

struct PowerThrottlingState {
    ULONG version;
    ULONG controlMask;
    ULONG stateMask;
};

}  // namespace

bool RunningUnderWine() {
    if (g_hostIsWine < 0) {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        g_hostIsWine = ntdll && GetProcAddress(ntdll, "wine_get_version") ? 1 : 0;
    }
    return g_hostIsWine == 1;
}

HMODULE LoadSystemLibrary(const char *name) {
    // The search flags came with Windows 8 (and an update of Windows 7);
    // AddDllDirectory is there exactly where they are. Elsewhere, the path.
    static const bool searchFlags =
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "AddDllDirectory") != nullptr;
    if (searchFlags) return LoadLibraryExA(name, nullptr, kLoadLibrarySearchSystem32);
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (!length || length + 1 + lstrlenA(name) >= MAX_PATH) return nullptr;
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    return LoadLibraryA(path);
}

bool KeepTimerResolutionWhenHidden() {
    using SetInformationProc = BOOL(WINAPI *)(HANDLE, int, LPVOID, DWORD);
    const auto setInformation =
        LibraryEntry<SetInformationProc>(GetModuleHandleA("kernel32.dll"), "SetProcessInformation");
    if (!setInformation) return false;
    PowerThrottlingState throttling = {kPowerThrottlingVersion, kIgnoreTimerResolution, 0};
    return setInformation(GetCurrentProcess(), kProcessPowerThrottling, &throttling, sizeof throttling) != FALSE;
}
