// The installer's two message boxes (error and question) and their common owner window.
// Every box goes through one gateway, which tests can answer for a scope with ScopedBoxAnswers.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

extern const char kErrorCaption[];    // "エラー"
extern const char kConfirmCaption[];  // "確認"

void SetMessageOwner(HWND owner);

// Told of every box: with answer 0 before it shows, then with the id of the pressed button.
using BoxObserver = void (*)(const char* caption, const std::string& text, int answer);
void SetBoxObserver(BoxObserver observer);
HWND GetMessageOwner();

// The thread's last error is as it was before the box (the failure it reports keeps its code).
// Texts longer than a box can show are shortened in the middle (ShortenedText, 1024 bytes), and
// lines longer than 128 bytes are broken (BrokenLines).
// MessageBoxA(owner, text, "エラー", MB_OK | MB_ICONERROR).
void ShowError(const std::string& text);
// The same for a message that is a constant: its callers make no string of their own.
void ShowError(const char* text);
// The error box of a file that could not be written: "ファイルの書き込みに失敗しました。: " and
// its path.
void ShowWriteFailed(const std::string& path);
// MessageBoxA(owner, text, "確認", flags | MB_ICONINFORMATION); the id of the pressed button.
int ShowConfirm(const std::string& text, UINT flags);

// A box as it was asked for, and the text it shows.
struct AskedBox {
    std::string text;
    std::string caption;
    UINT flags;
    HWND owner;
    std::string shown;
};

// While alive, boxes are not shown: each is recorded and answered with the next of the given
// button ids (IDOK once they run out). The real box returns when the scope ends.
class ScopedBoxAnswers {
public:
    ScopedBoxAnswers(std::initializer_list<int> answers = {});
    ~ScopedBoxAnswers();
    ScopedBoxAnswers(const ScopedBoxAnswers&) = delete;
    ScopedBoxAnswers& operator=(const ScopedBoxAnswers&) = delete;

    const std::vector<AskedBox>& asked() const { return asked_; }
    int Answer(const AskedBox& box);

private:
    std::vector<int> answers_;
    size_t next_ = 0;
    std::vector<AskedBox> asked_;
    ScopedBoxAnswers* previous_;
};
