// An entry point of a library loaded at run time, as the type it is called
// through; null when the library or the entry is missing.
#pragma once
#include <windows.h>

template <typename Proc> Proc LibraryEntry(HMODULE module, const char *name) {
    return module ? reinterpret_cast<Proc>(reinterpret_cast<void *>(GetProcAddress(module, name))) : nullptr;
}
