#include "ui/count_icon.h"

#include "base/text.h"
#include "base/win_handles.h"

#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kMaxCount = 99;
// The count's badge: white figures on red, as the system's own badges.
constexpr uint8_t kBadgeRed = 0xD9, kBadgeGreen = 0x3B, kBadgeBlue = 0x2B;
constexpr int kSmallestFigures = 6; // font height in pixels

using Pixels = std::vector<uint32_t>; // top-down BGRA rows, alpha not premultiplied

BITMAPINFO pixelFormat(int size) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// LoadIconMetric picks or scales down the best image for the system's small
// size; another size (a window on a monitor of another DPI) is loaded at
// that size from the images of the resource.
HICON loadPicture(HINSTANCE instance, int iconId, int size) {
    HICON icon = nullptr;
    if (size == GetSystemMetrics(SM_CXSMICON) &&
        SUCCEEDED(LoadIconMetric(instance, MAKEINTRESOURCEW(iconId), LIM_SMALL, &icon))) {
        return icon;
    }
    return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(iconId), IMAGE_ICON, size, size, 0));
}

bool readBitmap(HBITMAP bitmap, int size, Pixels& pixels) {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return false;
    }
    BITMAPINFO info = pixelFormat(size);
    pixels.assign(static_cast<size_t>(size) * size, 0);
    int rows = GetDIBits(screen, bitmap, 0, size, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return rows == size;
}

// The icon's colours with their alpha; an icon without alpha takes it from
// its mask (white there is transparent).
bool readIcon(HICON icon, int size, Pixels& pixels) {
    ICONINFO parts = {};
    if (!GetIconInfo(icon, &parts)) {
        return false;
    }
    GdiObject<HBITMAP> colour(parts.hbmColor), mask(parts.hbmMask);
    if (!colour || !readBitmap(colour.get(), size, pixels)) {
        return false;
    }
    for (uint32_t p : pixels) {
        if ((p >> 24) != 0) {
            return true;
        }
    }
    Pixels maskPixels;
    if (!readBitmap(mask.get(), size, maskPixels)) {
        return false;
    }
    for (size_t i = 0; i < pixels.size(); i++) {
        pixels[i] = (maskPixels[i] & 0xFFFFFF) != 0 ? 0 : (pixels[i] | 0xFF000000u);
    }
    return true;
}

// The bold font of the system's messages at the given pixel height.
HFONT figuresFont(int height) {
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    LOGFONTA font = {};
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font = metrics.lfMessageFont;
    }
    font.lfHeight = -height;
    font.lfWidth = 0;
    font.lfWeight = FW_BOLD;
    font.lfQuality = ANTIALIASED_QUALITY; // grey edges: the coverage below
    return CreateFontIndirectA(&font);
}

// Draws the figures white on black at the bottom right of a size x size
// picture; coverage is how much of each pixel they cover (0 to 255), badge
// the rectangle under them.
bool drawFigures(const char* figures, int size, std::vector<uint8_t>& coverage, RECT& badge) {
    MemoryDc dc(nullptr);
    BITMAPINFO info = pixelFormat(size);
    void* bits = nullptr;
    GdiObject<HBITMAP> canvas(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dc || !canvas) {
        return false;
    }
    SelectedObject picture(dc.get(), canvas.get());
    int length = static_cast<int>(strlen(figures));
    SIZE extent = {};
    // The largest font up to nine sixteenths of the icon whose figures fit:
    // the badge leaves most of the picture to be seen.
    for (int height = size * 9 / 16; height >= kSmallestFigures; height--) {
        GdiObject<HFONT> font(figuresFont(height));
        SelectedObject selected(dc.get(), font.get());
        if (!font || !GetTextExtentPoint32A(dc.get(), figures, length, &extent)) {
            return false;
        }
        int pad = size >= 20 ? 2 : 1;
        int width = extent.cx + 2 * pad;
        if (width <= size || height == kSmallestFigures) {
            // Figures are about three quarters of the font's height.
            int badgeHeight = height + pad < size ? height + pad : size;
            badge = RECT{size - (width < size ? width : size), size - badgeHeight, size, size};
            SetBkMode(dc.get(), TRANSPARENT);
            SetTextColor(dc.get(), RGB(255, 255, 255));
            RECT text = badge;
            DrawTextA(dc.get(), figures, length, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            break;
        }
    }
    GdiFlush();
    const uint32_t* drawn = static_cast<const uint32_t*>(bits);
    coverage.assign(static_cast<size_t>(size) * size, 0);
    for (size_t i = 0; i < coverage.size(); i++) {
        uint32_t p = drawn[i];
        uint8_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        coverage[i] = r > g ? (r > b ? r : b) : (g > b ? g : b);
    }
    return true;
}

uint8_t mix(uint8_t from, uint8_t to, uint8_t share) {
    return static_cast<uint8_t>((from * (255 - share) + to * share + 127) / 255);
}

// The badge over the picture: opaque red with the figures mixed in white by
// their coverage; its corner pixels stay the picture's, rounding it.
void paintBadge(Pixels& pixels, int size, const RECT& badge, const std::vector<uint8_t>& coverage) {
    for (int y = badge.top; y < badge.bottom; y++) {
        for (int x = badge.left; x < badge.right; x++) {
            bool corner = (x == badge.left || x == badge.right - 1) && (y == badge.top || y == badge.bottom - 1);
            if (corner && badge.right - badge.left > 8) {
                continue;
            }
            size_t i = static_cast<size_t>(y) * size + x;
            uint8_t share = coverage[i];
            pixels[i] = 0xFF000000u | (static_cast<uint32_t>(mix(kBadgeRed, 255, share)) << 16) |
                        (static_cast<uint32_t>(mix(kBadgeGreen, 255, share)) << 8) | mix(kBadgeBlue, 255, share);
        }
    }
}

HICON iconFromPixels(const Pixels& pixels, int size) {
    BITMAPINFO info = pixelFormat(size);
    void* bits = nullptr;
    GdiObject<HBITMAP> colour(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    // The alpha channel decides; the mask is all opaque.
    std::vector<uint8_t> maskBits(static_cast<size_t>((size + 15) / 16 * 2) * size, 0);
    GdiObject<HBITMAP> mask(CreateBitmap(size, size, 1, 1, maskBits.data()));
    if (!colour || !mask) {
        return nullptr;
    }
    memcpy(bits, pixels.data(), pixels.size() * sizeof pixels[0]);
    ICONINFO parts = {};
    parts.fIcon = TRUE;
    parts.hbmColor = colour.get();
    parts.hbmMask = mask.get();
    return CreateIconIndirect(&parts);
}

} // namespace

int smallIconSize(HWND window) {
    // Windows 10 1607 and later know each window's DPI.
    HMODULE user = GetModuleHandleA("user32.dll");
    auto dpiForWindow =
        reinterpret_cast<UINT(WINAPI*)(HWND)>(reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")));
    auto metricsForDpi = reinterpret_cast<int(WINAPI*)(int, UINT)>(
        reinterpret_cast<void*>(GetProcAddress(user, "GetSystemMetricsForDpi")));
    if (window != nullptr && dpiForWindow != nullptr && metricsForDpi != nullptr) {
        UINT dpi = dpiForWindow(window);
        int size = dpi != 0 ? metricsForDpi(SM_CXSMICON, dpi) : 0;
        if (size > 0) {
            return size;
        }
    }
    return GetSystemMetrics(SM_CXSMICON);
}

void formatIconCount(int count, char* text, size_t capacity) {
    if (count > kMaxCount) {
        formatText(text, capacity, "%d+", kMaxCount);
    } else {
        formatText(text, capacity, "%d", count);
    }
}

HICON makeCountIcon(HINSTANCE instance, int iconId, int count, int size) {
    IconOwner picture(loadPicture(instance, iconId, size));
    if (!picture) {
        return nullptr;
    }
    if (count <= 0) {
        return picture.release();
    }
    Pixels pixels;
    char figures[8];
    formatIconCount(count, figures, sizeof figures);
    std::vector<uint8_t> coverage;
    RECT badge = {};
    if (!readIcon(picture.get(), size, pixels) || !drawFigures(figures, size, coverage, badge)) {
        return picture.release(); // the plain icon rather than none
    }
    paintBadge(pixels, size, badge, coverage);
    HICON counted = iconFromPixels(pixels, size);
    return counted != nullptr ? counted : picture.release();
}
