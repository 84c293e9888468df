// The progress dialog, from the installer's resources.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "driver/pages/progress.h"

namespace {

TEST(ProgressDialog, TitleAndARangeBeyondSixteenBits) {
    // A name of 32 KB is shortened to what a title bar shows, the end kept.
    const std::string long_name(32768, 'n');
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS),
                                     nullptr, ProgressDlgProc,
                                     reinterpret_cast<LPARAM>(long_name.c_str()));
    ASSERT_NE(nullptr, dialog);
    char title[1024] = {};
    EXPECT_GE(256, GetWindowTextA(dialog, title, sizeof title));
    EXPECT_EQ("\" インストール中", std::string(title).substr(std::string(title).size() - 16));
    DestroyWindow(dialog);

    dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS), nullptr,
                                ProgressDlgProc, reinterpret_cast<LPARAM>("大きな荷物"));
    ASSERT_NE(nullptr, dialog);
    GetWindowTextA(dialog, title, sizeof title);
    EXPECT_STREQ("\"大きな荷物\" インストール中", title);
    SetProgressRange(dialog, 70000);
    SetProgressPosition(dialog, 70000);
    HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    EXPECT_EQ(70000, SendMessageA(bar, PBM_GETRANGE, FALSE, 0));
    EXPECT_EQ(0, SendMessageA(bar, PBM_GETRANGE, TRUE, 0));
    EXPECT_EQ(70000, SendMessageA(bar, PBM_GETPOS, 0, 0));
    DestroyWindow(dialog);
    EXPECT_FALSE(IsWindow(dialog));
}

}  // namespace
