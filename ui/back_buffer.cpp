// The back buffer every frame is painted into, and the images pre-scaled for its size.
#include <cmath>
#include <cstring>

#include "ui/drawing.h"
#include "ui/window.h"

using namespace Gdiplus::DllExports;

namespace {

// Copies a bitmap's pixels, premultiplied, into a tightly packed byte vector.
bool copyPixels(GpBitmap* bitmap, int width, int height, std::vector<uint8_t>& out) {
    Gdiplus::Rect area(0, 0, width, height);
    Gdiplus::BitmapData data{};
    if (GdipBitmapLockBits(bitmap, &area, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) !=
        Gdiplus::Ok)
        return false;
    out.resize(static_cast<size_t>(width) * height * 4);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int row = 0; row < height; ++row) {
        std::memcpy(out.data() + row * rowBytes, static_cast<const uint8_t*>(data.Scan0) + row * data.Stride,
                    rowBytes);
    }
    GdipBitmapUnlockBits(bitmap, &data);
    return true;
}

}  // namespace

void createBackBuffer(LauncherApp& app, int width, int height) {
    releaseBackBuffer(app);
    if (width <= 0 || height <= 0) return;
    BackBuffer& buffer = app.backBuffer;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, so rows match the GDI+ bitmap's
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    buffer.memoryDc = CreateCompatibleDC(nullptr);
    if (!buffer.memoryDc) return;
    buffer.dibSection = CreateDIBSection(buffer.memoryDc, &info, DIB_RGB_COLORS, &buffer.pixels, nullptr, 0);
    if (!buffer.dibSection || !buffer.pixels) {
        releaseBackBuffer(app);
        return;
    }
    buffer.previousBitmap = SelectObject(buffer.memoryDc, buffer.dibSection);
    // GDI+ paints straight into the section's bits, so BitBlt shows exactly what was drawn.
    if (GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppPARGB,
                                  static_cast<BYTE*>(buffer.pixels), &buffer.bitmap) != Gdiplus::Ok) {
        buffer.bitmap = nullptr;
        releaseBackBuffer(app);
        return;
    }
    buffer.width = width;
    buffer.height = height;

    GpBitmap* background = scaledCopy(app.images[0], width, height);
    if (background) {
        if (!copyPixels(background, width, height, app.backgroundPixels)) app.backgroundPixels.clear();
        GdipDisposeImage(background);
    }

    const float s = app.uiScale;
    const int buttonWidth = static_cast<int>(std::floor(270 * s + 0.5f));
    const int buttonHeight = static_cast<int>(std::floor(104 * s + 0.5f));
    for (int i = 0; i < 4; ++i)
        app.scaledButtons[i] = scaledCopy(app.images[1 + i], buttonWidth, buttonHeight);
}

void releaseBackBuffer(LauncherApp& app) {
    BackBuffer& buffer = app.backBuffer;
    if (buffer.bitmap) GdipDisposeImage(buffer.bitmap);
    buffer.bitmap = nullptr;
    if (buffer.memoryDc) {
        if (buffer.previousBitmap) SelectObject(buffer.memoryDc, buffer.previousBitmap);
        DeleteDC(buffer.memoryDc);
    }
    buffer.memoryDc = nullptr;
    buffer.previousBitmap = nullptr;
    if (buffer.dibSection) DeleteObject(buffer.dibSection);
    buffer.dibSection = nullptr;
    buffer.pixels = nullptr;
    buffer.width = 0;
    buffer.height = 0;
    // The pre-scaled background belongs to the old size; copying it into a buffer of another size
    // would overrun it.
    app.backgroundPixels.clear();
    for (GpBitmap*& button : app.scaledButtons) {
        if (button) GdipDisposeImage(button);
        button = nullptr;
    }
}
