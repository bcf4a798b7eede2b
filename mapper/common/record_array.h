// Growable arrays of fixed-size plain entries: 10 at first, growing by 10.
#pragma once
#include <windows.h>
#include <cstddef>

struct RecordArray {
    int capacity;
    int count;
    HGLOBAL handle;
    void *data;
};

#ifndef _WIN64
static_assert(sizeof(RecordArray) == 16, "record array: capacity, count, handle, pointer");
#endif
static_assert(offsetof(RecordArray, count) == 4, "count follows capacity");

constexpr int kRecordArrayStep = 10;

BOOL RecordArrayInit(RecordArray *array, size_t entrySize);
void RecordArrayFree(RecordArray *array);
// Copies one entry to position `count`, growing first when count + 1 >= capacity.
BOOL RecordArrayAppend(RecordArray *array, const void *entry, size_t entrySize);

inline void *RecordArrayEntry(const RecordArray *array, int index, size_t entrySize) {
    return static_cast<char *>(array->data) + static_cast<size_t>(index) * entrySize;
}
