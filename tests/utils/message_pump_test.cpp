// The message pump that runs between archive members and downloads.
#include <gtest/gtest.h>

#include <windows.h>

#include "utils/message_pump.h"

namespace {

TEST(MessagePump, QuitEndsOneCallAndLeavesTheRestQueued) {
    PostThreadMessageA(GetCurrentThreadId(), WM_USER + 1, 0, 0);
    PostQuitMessage(0);
    MSG record{};
    EXPECT_TRUE(PumpMessages(nullptr, record));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), record.message);
    PostThreadMessageA(GetCurrentThreadId(), WM_USER + 2, 0, 0);
    MSG left{};
    ASSERT_TRUE(PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 2), left.message);
    // An empty queue: nothing taken, the record unchanged.
    record.message = WM_USER + 9;
    EXPECT_FALSE(PumpMessages(nullptr, record));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 9), record.message);
    ProcessMessages(nullptr);
}

}  // namespace
