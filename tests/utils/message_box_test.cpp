// The message-box gateway: captions, flags, owner and the test seam.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "utils/message_box.h"

namespace {

HWND CreatePlainWindow() {
    return CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

TEST(MessageBoxes, ErrorAndConfirmCaptionsAndFlags) {
    ScopedBoxAnswers answers{IDOK, IDNO, IDOK};
    ShowError("失敗しました。");
    EXPECT_EQ(IDNO, ShowConfirm("よろしいですか？", MB_YESNO));
    EXPECT_EQ(IDOK, ShowConfirm("お知らせ", MB_OK));

    ASSERT_EQ(3u, answers.asked().size());
    EXPECT_EQ("失敗しました。", answers.asked()[0].text);
    EXPECT_EQ("エラー", answers.asked()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), answers.asked()[0].flags);
    EXPECT_EQ("確認", answers.asked()[1].caption);
    // A yes/no question shows the information icon, not a question mark.
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION), answers.asked()[1].flags);
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), answers.asked()[2].flags);
}

TEST(MessageBoxes, OwnerIsUsedWhileItLives) {
    HWND owner = CreatePlainWindow();
    ASSERT_NE(nullptr, owner);
    SetMessageOwner(owner);
    {
        ScopedBoxAnswers answers;
        ShowError("x");
        ASSERT_EQ(1u, answers.asked().size());
        EXPECT_EQ(owner, answers.asked()[0].owner);
    }
    // A closed page may still be the owner: the box must then appear without one.
    DestroyWindow(owner);
    ScopedBoxAnswers answers;
    ShowError("y");
    ASSERT_EQ(1u, answers.asked().size());
    EXPECT_EQ(nullptr, answers.asked()[0].owner);
    EXPECT_EQ(owner, GetMessageOwner());
    SetMessageOwner(nullptr);
}

TEST(MessageBoxes, NestedScopesRestoreTheOuterOne) {
    ScopedBoxAnswers outer{IDYES};
    {
        ScopedBoxAnswers inner{IDNO};
        EXPECT_EQ(IDNO, ShowConfirm("inner", MB_YESNO));
        EXPECT_EQ(IDOK, ShowConfirm("unanswered", MB_YESNO));
    }
    EXPECT_EQ(IDYES, ShowConfirm("outer", MB_YESNO));
    EXPECT_EQ(1u, outer.asked().size());
}

}  // namespace

namespace {

// The product path: a real box, shown even though its owner has been destroyed.
TEST(MessageBoxes, RealBoxAppearsAfterOwnerIsGone) {
    HWND owner = CreatePlainWindow();
    SetMessageOwner(owner);
    DestroyWindow(owner);
    BoxPresser presser("確認", IDNO);
    EXPECT_EQ(IDNO, ShowConfirm("本物の質問です。", MB_YESNO));
    ASSERT_TRUE(presser.Wait());
    EXPECT_EQ("本物の質問です。", presser.text());
    SetMessageOwner(nullptr);
}

}  // namespace
