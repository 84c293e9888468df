// The message-box gateway: captions, flags, owner and the test seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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

// A setting's value may be 32 KB: the box shows its start and the message's end, the question.
TEST(MessageBoxes, LongTextsAreShortenedWithTheQuestionKept) {
    const std::string question = "をインストールします。\r\nよろしいですか？";
    ScopedBoxAnswers answers{IDNO, IDOK};
    EXPECT_EQ(IDNO, ShowConfirm(std::string(32768, 'a') + question, MB_YESNO));
    ShowError(std::string(1024, 'e'));
    ASSERT_EQ(2u, answers.asked().size());
    // About a kilobyte in lines of at most 128 bytes, the question at the end.
    const std::string& shown = answers.asked()[0].shown;
    EXPECT_GE(1024u + 2 * 1024 / 128, shown.size());
    EXPECT_EQ(0u, shown.rfind("aaaa", 0));
    EXPECT_EQ(shown.size() - question.size(), shown.rfind(question));
    for (size_t start = 0, end = 0; start < shown.size(); start = end + 2) {
        end = std::min(shown.find("\r\n", start), shown.size());
        EXPECT_GE(128u, end - start);
    }
    // Short enough as it is, but in one line too long for a box.
    EXPECT_EQ(std::string(1024, 'e').size() + 2 * 7, answers.asked()[1].shown.size());
    EXPECT_EQ(std::string(1024, 'e'), answers.asked()[1].text);  // as it was asked
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
