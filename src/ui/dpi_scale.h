// Pixel sizes chosen for the standard 96 dots per inch, scaled to another
// resolution. No Windows header: the list's column tables use it too.
#pragma once

constexpr int kStandardDpi = 96;

// pixels at 96 DPI as many pixels at dpi, rounded to the nearest (as MulDiv).
constexpr int scaleForDpi(int pixels, int dpi) {
    long long product = static_cast<long long>(pixels) * dpi;
    long long half = kStandardDpi / 2;
    return static_cast<int>(product >= 0 ? (product + half) / kStandardDpi : -((-product + half) / kStandardDpi));
}
