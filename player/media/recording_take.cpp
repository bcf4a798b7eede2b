#include "media/recording_take.h"
#include <mmsystem.h>

namespace {

constexpr DWORD kChunkHeader = 8;
constexpr DWORD kSlackPerSecond = 20;  // 50 ms

struct FileHandle {
    HANDLE handle;
    explicit FileHandle(HANDLE h) : handle(h) {}
    ~FileHandle() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    bool Read(DWORD offset, void *out, DWORD size) const {
        DWORD got = 0;
        return SetFilePointer(handle, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset &&
               ReadFile(handle, out, size, &got, nullptr) && got == size;
    }
};

HANDLE OpenToRead(const char *path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool MakeTakeFile(char *take, int size) {
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (!length || length >= sizeof folder || size < MAX_PATH) return false;
    return GetTempFileNameA(folder, "tav", 0, take) != 0;
}

bool TakeIsWhole(const char *take, int recordedMs, DWORD *dataBytes) {
    *dataBytes = 0;
    FileHandle file(OpenToRead(take));
    if (file.handle == INVALID_HANDLE_VALUE) return false;
    const DWORD fileSize = GetFileSize(file.handle, nullptr);
    DWORD riff[3];  // "RIFF", size, "WAVE"
    if (fileSize == INVALID_FILE_SIZE || !file.Read(0, riff, sizeof riff) || riff[0] != FOURCC_RIFF ||
        riff[1] != fileSize - kChunkHeader || riff[2] != mmioFOURCC('W', 'A', 'V', 'E'))
        return false;
    DWORD bytesPerSec = 0, blockAlign = 0;
    for (DWORD offset = sizeof riff; offset + kChunkHeader <= fileSize;) {
        DWORD chunk[2];
        if (!file.Read(offset, chunk, sizeof chunk)) return false;
        const DWORD body = offset + kChunkHeader;
        if (chunk[1] > fileSize - body) return false;  // runs past the end of the file
        if (chunk[0] == mmioFOURCC('f', 'm', 't', ' ')) {
            PCMWAVEFORMAT format;
            if (chunk[1] < sizeof format || !file.Read(body, &format, sizeof format)) return false;
            bytesPerSec = format.wf.nAvgBytesPerSec;
            blockAlign = format.wf.nBlockAlign;
        } else if (chunk[0] == mmioFOURCC('d', 'a', 't', 'a')) {
            if (!bytesPerSec) return false;
            // The length recorded is rounded to milliseconds, and the last
            // block may be rounded away: some slack.
            const ULONGLONG recorded = static_cast<ULONGLONG>(recordedMs) * bytesPerSec / 1000;
            const ULONGLONG slack = bytesPerSec / kSlackPerSecond + blockAlign;
            *dataBytes = chunk[1];
            return chunk[1] + slack >= recorded;
        }
        offset = body + chunk[1] + (chunk[1] & 1);
    }
    return false;
}

bool CopyTake(const char *take, const char *path) {
    char copy[MAX_PATH + 8];
    if (lstrlenA(path) >= MAX_PATH) return false;
    wsprintfA(copy, "%s.new", path);
    bool whole;
    {
        FileHandle from(OpenToRead(take));
        FileHandle to(CreateFileA(copy, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        whole = from.handle != INVALID_HANDLE_VALUE && to.handle != INVALID_HANDLE_VALUE;
        char buffer[64 * 1024];
        for (DWORD got = 0; whole;) {
            DWORD written = 0;
            whole = ReadFile(from.handle, buffer, sizeof buffer, &got, nullptr);
            if (!whole || !got) break;
            whole = WriteFile(to.handle, buffer, got, &written, nullptr) && written == got;
        }
        whole = whole && GetFileSize(from.handle, nullptr) == GetFileSize(to.handle, nullptr) &&
                FlushFileBuffers(to.handle);
    }
    if (whole && MoveFileExA(copy, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DeleteFileA(copy);
    return false;
}
