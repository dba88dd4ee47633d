#include "ui/back_buffer.h"

using namespace Gdiplus::DllExports;

BackBuffer::~BackBuffer() {
    releaseBackBuffer(*this);
}

bool createBackBuffer(BackBuffer& buffer, int width, int height) {
    releaseBackBuffer(buffer);
    if (width <= 0 || height <= 0) return false;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, so rows match the GDI+ bitmap's
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    buffer.memoryDc.reset(CreateCompatibleDC(nullptr));
    if (!buffer.memoryDc) return false;
    void* bits = nullptr;
    buffer.dibSection.reset(
        CreateDIBSection(buffer.memoryDc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!buffer.dibSection || !bits) {
        releaseBackBuffer(buffer);
        return false;
    }
    buffer.selection = SelectGuard(buffer.memoryDc.get(), buffer.dibSection.get());
    // GDI+ paints straight into the section's bits, so BitBlt shows exactly what was drawn.
    if (GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(bits),
                                  buffer.bitmap.put()) != Gdiplus::Ok) {
        buffer.bitmap.release();
        releaseBackBuffer(buffer);
        return false;
    }
    buffer.pixels = bits;
    buffer.width = width;
    buffer.height = height;
    return true;
}

void releaseBackBuffer(BackBuffer& buffer) {
    buffer.bitmap.reset();
    buffer.selection.restore();
    buffer.dibSection.reset();
    buffer.memoryDc.reset();
    buffer.pixels = nullptr;
    buffer.width = 0;
    buffer.height = 0;
}
