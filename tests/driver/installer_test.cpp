// The hidden main window of the installer's flow.
#include <gtest/gtest.h>

#include <windows.h>

#include "driver/flow/installer.h"
#include "utils/message_pump.h"

namespace {

TEST(MainWindowProcedure, DestroyPostsQuit) {
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = MainWndProc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "MainWndProcTest";
    RegisterClassA(&window_class);
    HWND window = CreateWindowExA(0, "MainWndProcTest", "x", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    ProcessMessages(nullptr);
    DestroyWindow(window);
    MSG record{};
    PumpMessages(nullptr, record);
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), record.message);
}

}  // namespace
