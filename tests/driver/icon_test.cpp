// The installer's icon as compiled into its resources.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "resource.h"
#include "support/test_support.h"

namespace {

// The icon's images load as icons at each size, each from its PNG: the picture is
// opaque in the middle and transparent in the corner, and its heart is red.
TEST(Icon, EverySizeLoadsWithItsPicture) {
    for (int size : {16, 32, 48}) {
        SCOPED_TRACE(size);
        const UniqueIcon icon(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr),
                                                            MAKEINTRESOURCEA(IDI_INSTALLER),
                                                            IMAGE_ICON, size, size, 0)));
        ASSERT_TRUE(icon);
        IconBitmaps bitmaps;
        ASSERT_TRUE(ReadIconBitmaps(icon.get(), bitmaps));
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = size;
        format.bmiHeader.biHeight = -size;  // top row first
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        std::vector<RGBQUAD> pixels(size * size);
        HDC screen = GetDC(nullptr);
        const int rows = GetDIBits(screen, bitmaps.color_bitmap(), 0, size, pixels.data(),
                                   &format, DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
        ASSERT_EQ(size, rows);
        EXPECT_EQ(0, pixels[0].rgbReserved);
        const bool heart = std::any_of(pixels.begin(), pixels.end(), [](const RGBQUAD& p) {
            return p.rgbRed > 180 && p.rgbGreen < 130 && p.rgbReserved == 255;
        });
        EXPECT_TRUE(heart || size == 16);  // at 16 pixels the heart blends with the box
        EXPECT_EQ(255, pixels[size * size / 2 + size / 2].rgbReserved);
    }
}

}  // namespace
