// Copies a window's rectangle off the screen from inside Windows (or Wine).
// An X-level capture shows an owned Wine dialog as a black box; reading the
// screen through GDI shows what the window really painted.
#ifndef GROOBLE_SCREEN_CAPTURE_H
#define GROOBLE_SCREEN_CAPTURE_H

#include <windows.h>

#include <string>
#include <vector>

struct ScreenImage {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;  // row-major, top row first

    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The window's whole rectangle, frame included, as it is on the screen now.
// Under Wine the screen lags a little behind what was painted.
ScreenImage CaptureWindow(HWND window);

// The client area alone, read back from the window's own device context:
// exactly what was painted, with no delay.
ScreenImage CaptureClient(HWND window);

// Writes a 24-bit BMP; false when the file cannot be written.
bool SaveBitmap(const ScreenImage& image, const std::string& path);

#endif
