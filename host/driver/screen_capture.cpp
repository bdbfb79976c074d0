#include "screen_capture.h"

#include <cstdio>

// Copies width x height pixels at (x, y) of a device context.
static ScreenImage CaptureDC(HDC source, int x, int y, int width, int height)
{
    ScreenImage image;
    image.width = width;
    image.height = height;
    if (image.width <= 0 || image.height <= 0)
        return image;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;

    HDC memory = CreateCompatibleDC(source);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, section);
    BitBlt(memory, 0, 0, image.width, image.height, source, x, y, SRCCOPY);
    GdiFlush();

    const DWORD* copied = static_cast<const DWORD*>(bits);
    image.pixels.resize(static_cast<size_t>(image.width) * image.height);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const DWORD p = copied[i];  // 0x00RRGGBB
        image.pixels[i] = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }

    SelectObject(memory, old);
    DeleteObject(section);
    DeleteDC(memory);
    return image;
}

ScreenImage CaptureWindow(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    HDC screen = GetDC(NULL);
    ScreenImage image =
        CaptureDC(screen, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    ReleaseDC(NULL, screen);
    return image;
}

ScreenImage CaptureClient(HWND window)
{
    RECT rect;
    GetClientRect(window, &rect);
    HDC client = GetDC(window);
    ScreenImage image = CaptureDC(client, 0, 0, rect.right, rect.bottom);
    ReleaseDC(window, client);
    return image;
}

bool SaveBitmap(const ScreenImage& image, const std::string& path)
{
    const int stride = (image.width * 3 + 3) & ~3;
    const DWORD pixelBytes = static_cast<DWORD>(stride) * image.height;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + pixelBytes;
    header.biSize = sizeof header;
    header.biWidth = image.width;
    header.biHeight = image.height;  // bottom-up rows
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = pixelBytes;

    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&header, sizeof header, 1, out);
    std::vector<unsigned char> row(static_cast<size_t>(stride), 0);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const COLORREF c = image.At(x, y);
            row[x * 3 + 0] = GetBValue(c);
            row[x * 3 + 1] = GetGValue(c);
            row[x * 3 + 2] = GetRValue(c);
        }
        std::fwrite(row.data(), 1, row.size(), out);
    }
    return std::fclose(out) == 0;
}
