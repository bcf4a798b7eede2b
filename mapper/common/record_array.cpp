#include "record_array.h"
#include <cstring>

BOOL RecordArrayInit(RecordArray *array, size_t entrySize) {
    array->capacity = 0;
    array->count = 0;
    array->data = nullptr;
    array->handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kRecordArrayStep * entrySize);
    if (!array->handle) return FALSE;
    array->data = GlobalLock(array->handle);
    if (!array->data) {
        GlobalFree(array->handle);
        array->handle = nullptr;
        return FALSE;
    }
    array->capacity = kRecordArrayStep;
    return TRUE;
}

void RecordArrayFree(RecordArray *array) {
    if (array->handle) {
        GlobalUnlock(array->handle);
        GlobalFree(array->handle);
    }
    array->handle = nullptr;
    array->data = nullptr;
    array->capacity = 0;
    array->count = 0;
}

BOOL RecordArrayAppend(RecordArray *array, const void *entry, size_t entrySize) {
    if (!array->data) return FALSE;
    if (array->count + 1 >= array->capacity) {
        const int grown = array->capacity + kRecordArrayStep;
        HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<size_t>(grown) * entrySize);
        void *data = handle ? GlobalLock(handle) : nullptr;
        if (!data) {
            if (handle) GlobalFree(handle);
            return FALSE;  // the array stays as it was
        }
        memcpy(data, array->data, static_cast<size_t>(array->capacity) * entrySize);
        GlobalUnlock(array->handle);
        GlobalFree(array->handle);
        array->handle = handle;
        array->data = data;
        array->capacity = grown;
    }
    memcpy(RecordArrayEntry(array, array->count, entrySize), entry, entrySize);
    ++array->count;
    return TRUE;
}
