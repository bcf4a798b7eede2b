// The audio compression manager's entry points, bound at the first need: a
// program that never converts a stream never loads msacm32.dll.
#pragma once
#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

struct AcmEntries {
    decltype(&acmStreamOpen) streamOpen;
    decltype(&acmStreamClose) streamClose;
    decltype(&acmStreamSize) streamSize;
    decltype(&acmStreamPrepareHeader) prepareHeader;
    decltype(&acmStreamConvert) convert;
    decltype(&acmStreamUnprepareHeader) unprepareHeader;
    decltype(&acmFormatSuggest) formatSuggest;
};

// The bound entries (the library is kept for the process's life); nullptr
// where the library or one of them is missing.
const AcmEntries *BindAcm();

// Converts `sourceBytes` at `source` in one call into `out` (room for
// `outBytes`); *made says how many it wrote. False on a failure of the codec.
bool AcmConvert(const AcmEntries *acm, HACMSTREAM stream, const void *source, DWORD sourceBytes, DWORD flags,
                char *out, DWORD outBytes, DWORD *made);
