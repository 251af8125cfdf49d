// The tray icon's picture read back pixel by pixel: made at the size asked
// for, the count drawn in its corner, "99+" for every count above 99.
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "resources/resource.h"
#include "ui/count_icon.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct IconPixels {
    int width = 0;
    std::vector<uint32_t> bgra; // top-down rows
};

IconPixels readIcon(HICON icon) {
    IconPixels result;
    ICONINFO parts = {};
    if (icon == nullptr || !GetIconInfo(icon, &parts)) {
        return result;
    }
    GdiObject<HBITMAP> colour(parts.hbmColor), mask(parts.hbmMask);
    BITMAP bitmap = {};
    GetObjectA(colour.get(), sizeof bitmap, &bitmap);
    result.width = bitmap.bmWidth;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = bitmap.bmWidth;
    info.bmiHeader.biHeight = -bitmap.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    result.bgra.assign(static_cast<size_t>(bitmap.bmWidth) * bitmap.bmHeight, 0);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, colour.get(), 0, bitmap.bmHeight, result.bgra.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return result;
}

IconPixels mailIcon(int count, int size) {
    IconOwner icon(makeCountIcon(GetModuleHandleA(nullptr), IDI_MAIL, count, size));
    return readIcon(icon.get());
}

bool reddish(uint32_t p) {
    int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return (p >> 24) == 0xFF && r > 150 && g < 100 && b < 100;
}

bool whitish(uint32_t p) {
    return (p >> 24) == 0xFF && ((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) > 200 && (p & 0xFF) > 200;
}

} // namespace

TEST(CountIcon, TheCountIsDrawnInTheCornerAtEverySize) {
    for (int size : {16, 20, 24, 32}) {
        SCOPED_TRACE(size);
        IconPixels plain = mailIcon(0, size);
        IconPixels counted = mailIcon(7, size);
        ASSERT_EQ(size, plain.width);
        ASSERT_EQ(size, counted.width);
        // The upper left third is the picture's; red and white figures lie in
        // the lower right quarter.
        int red = 0, white = 0;
        for (int y = 0; y < size; y++) {
            for (int x = 0; x < size; x++) {
                size_t i = static_cast<size_t>(y) * size + x;
                if (x < size / 3 && y < size / 3) {
                    EXPECT_EQ(plain.bgra[i], counted.bgra[i]) << x << "," << y;
                } else if (x >= size / 2 && y >= size / 2) {
                    red += reddish(counted.bgra[i]) ? 1 : 0;
                    white += whitish(counted.bgra[i]) ? 1 : 0;
                }
            }
        }
        EXPECT_GT(red, 0);
        EXPECT_GT(white, 0);
    }
}

TEST(CountIcon, CountsAbove99ShowTheSameCappedFigures) {
    char text[8];
    formatIconCount(99, text, sizeof text);
    EXPECT_STREQ("99", text);
    formatIconCount(100, text, sizeof text);
    EXPECT_STREQ("99+", text);
    IconPixels hundred = mailIcon(100, 16);
    EXPECT_EQ(hundred.bgra, mailIcon(12345, 16).bgra);
    EXPECT_NE(hundred.bgra, mailIcon(99, 16).bgra);
    EXPECT_NE(mailIcon(3, 16).bgra, mailIcon(8, 16).bgra);
}

TEST(CountIcon, TheSizeFollowsTheSystemsSmallIcon) {
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), smallIconSize(nullptr));
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    // The test program, as the agent, is aware of the system's DPI only.
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), smallIconSize(window));
    DestroyWindow(window);
}
