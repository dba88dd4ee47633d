// The back buffer every frame is painted into: a top-down 32-bit DIB section selected into a memory
// DC, and a GDI+ bitmap over the same bits, so that BitBlt shows exactly what GDI+ drew.
#pragma once

#include "base/handles.h"
#include "ui/gdiplus_handles.h"

struct BackBuffer {
    BackBuffer() = default;
    BackBuffer(const BackBuffer&) = delete;
    BackBuffer& operator=(const BackBuffer&) = delete;
    ~BackBuffer();

    int width = 0;
    int height = 0;
    void* pixels = nullptr;  // the section's bits: premultiplied BGRA rows, width * 4 bytes each
    UniqueMemoryDc memoryDc;
    UniqueGdiObject dibSection;
    SelectGuard selection;  // the section selected into memoryDc
    UniqueBitmap bitmap;    // over pixels; must go before the section does
};

// Replaces the buffer with one of width x height; false (and an empty buffer) when the system
// refuses any part or a size is not positive.
bool createBackBuffer(BackBuffer& buffer, int width, int height);
// Releases everything in the one safe order: bitmap, selection, section, DC.
void releaseBackBuffer(BackBuffer& buffer);
