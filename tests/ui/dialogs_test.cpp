// Window plumbing shared by the pages.
#include <gtest/gtest.h>

#include <windows.h>

#include "ui/dialogs.h"

namespace {

TEST(CenterWindowTest, LargerThanTheScreenGetsNegativeCoordinates) {
    const int screen_w = GetSystemMetrics(SM_CXSCREEN);
    const int screen_h = GetSystemMetrics(SM_CYSCREEN);
    HWND window = CreateWindowExA(0, "STATIC", "big", WS_POPUP, 0, 0, screen_w + 101, screen_h + 40,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    CenterWindow(window);
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(-101 / 2, rect.left);  // truncated toward zero: -50
    EXPECT_EQ(-20, rect.top);
    EXPECT_EQ(screen_w + 101, rect.right - rect.left);
    EXPECT_TRUE(IsWindowVisible(window));
    DestroyWindow(window);
}

}  // namespace
