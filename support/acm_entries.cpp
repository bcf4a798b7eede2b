#include "acm_entries.h"
#include "host_system.h"

namespace {

AcmEntries bound = {};

template <typename Entry>
bool BindEntry(HMODULE module, const char *name, Entry *entry) {
    *entry = reinterpret_cast<Entry>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    return *entry != nullptr;
}

}  // namespace

const AcmEntries *BindAcm() {
    if (bound.formatSuggest) return &bound;
    HMODULE module = LoadSystemLibrary("msacm32.dll");
    AcmEntries entries = {};
    if (!module || !BindEntry(module, "acmStreamOpen", &entries.streamOpen) ||
        !BindEntry(module, "acmStreamClose", &entries.streamClose) ||
        !BindEntry(module, "acmStreamSize", &entries.streamSize) ||
        !BindEntry(module, "acmStreamPrepareHeader", &entries.prepareHeader) ||
        !BindEntry(module, "acmStreamConvert", &entries.convert) ||
        !BindEntry(module, "acmStreamUnprepareHeader", &entries.unprepareHeader) ||
        !BindEntry(module, "acmFormatSuggest", &entries.formatSuggest))
        return nullptr;
    bound = entries;
    return &bound;
}

bool AcmConvert(const AcmEntries *acm, HACMSTREAM stream, const void *source, DWORD sourceBytes, DWORD flags,
                char *out, DWORD outBytes, DWORD *made) {
    ACMSTREAMHEADER header = {};
    header.cbStruct = sizeof header;
    header.pbSrc = static_cast<LPBYTE>(const_cast<void *>(source));
    header.cbSrcLength = sourceBytes;
    header.pbDst = reinterpret_cast<LPBYTE>(out);
    header.cbDstLength = outBytes;
    *made = 0;
    if (acm->prepareHeader(stream, &header, 0)) return false;
    const MMRESULT result = acm->convert(stream, &header, flags);
    *made = header.cbDstLengthUsed;
    acm->unprepareHeader(stream, &header, 0);
    return result == 0;
}
