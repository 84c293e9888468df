// The installer's two message boxes (error and question) and their common owner window.
// Every box goes through one gateway, which tests can answer for a scope with ScopedBoxAnswers.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

extern const char kErrorCaption[];    // "エラー"
extern const char kConfirmCaption[];  // "確認"

void SetMessageOwner(HWND owner);
// While set, no box is shown: each is told to the observer (the log) and answered with its default
// button, as Enter would (the first). For runs that nobody watches.
void SetUnattended(bool unattended);

// Told of every box: with answer 0 before it shows, then with the id of the pressed button.
using BoxObserver = void (*)(const char* caption, const std::string& text, int answer);
void SetBoxObserver(BoxObserver observer);
HWND GetMessageOwner();

// The thread's last error is as it was before the box (the failure it reports keeps its code).
// Texts longer than a box can show are shortened in the middle (ShortenedText, 1024 bytes), and
// lines longer than 128 bytes are broken (BrokenLines).
// A box of Shift-JIS text, shown through MessageBoxW whatever the system's code page:
// MessageBox(owner, text, "エラー", MB_OK | MB_ICONERROR). A path the system named follows the
// text (read in the system's code page), and end follows the path.
void ShowError(const std::string& text);
// The same for a message that is a constant: its callers make no string of their own.
void ShowError(const char* text);
void ShowError(std::string_view text, const std::string& path, const char* end = "");
// The error box of a file that could not be written: "ファイルの書き込みに失敗しました。: " and
// its path.
void ShowWriteFailed(const std::string& path);
// MessageBox(owner, text, "確認", flags | MB_ICONINFORMATION); the id of the pressed button.
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
    // Records the box (shown: its text as the box would show it, with a path marked as
    // utils/shown_text.h marks it) and answers it. Virtual: the gateway reaches it only through
    // the scope a test made, so a program that makes none (the shipped ones) carries none of the
    // recording's code.
    virtual int Answer(const std::string& text, const char* caption, UINT flags, HWND owner,
                       const std::string& shown);

private:
    std::vector<int> answers_;
    size_t next_ = 0;
    std::vector<AskedBox> asked_;
    ScopedBoxAnswers* previous_;
};
