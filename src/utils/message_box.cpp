// The message-box gateway: every box of the installer is shown (or, in tests, answered) here.
#include "utils/message_box.h"

#include "utils/shown_text.h"
#include "utils/text.h"

const char kErrorCaption[] = "エラー";
const char kConfirmCaption[] = "確認";

namespace {

HWND g_owner = nullptr;
bool g_unattended = false;
ScopedBoxAnswers* g_answers = nullptr;
BoxObserver g_observer = nullptr;

// The most a box shows of a text, and the longest line: a setting's value may be 32 KB, and a
// box that long or that wide would not fit on the screen with its buttons. The text's end (the
// question) is kept.
constexpr size_t kMaxBoxText = 1024;
constexpr size_t kMaxBoxLine = 128;

// The button Enter presses: the first (the programs ask with MB_OK and MB_YESNO only).
int DefaultButton(UINT flags) {
    return (flags & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
}

// marked_text: MarkedText (utils/shown_text.h), a path in it shown in the system's code page.
// caption: "エラー" or "確認", also as written in UTF-16 (shown_caption) for the box.
int ShowBox(const std::string& marked_text, const char* caption, const wchar_t* shown_caption,
            UINT flags) {
    // The failure a box reports keeps its error code for the log line that follows it.
    const DWORD error = GetLastError();
    const std::string shown = BrokenLines(ShortenedText(marked_text, kMaxBoxText), kMaxBoxLine);
    const std::string text = StoredText(marked_text);
    // The owner may be a page that has closed since it made itself the owner; a box with a
    // destroyed owner would not show, so it then goes without one.
    HWND owner = (g_owner != nullptr && IsWindow(g_owner)) ? g_owner : nullptr;
    if (g_observer != nullptr) g_observer(caption, text, 0);
    int answer = DefaultButton(flags);
    if (g_answers != nullptr) {
        answer = g_answers->Answer(text, caption, flags, owner, shown);
    } else if (!g_unattended) {
        answer = MessageBoxW(owner, ShownMarkedText(shown).c_str(), shown_caption, flags);
    }
    if (g_observer != nullptr) g_observer(caption, text, answer);
    SetLastError(error);
    return answer;
}

}  // namespace

void SetMessageOwner(HWND owner) {
    g_owner = owner;
}

void SetUnattended(bool unattended) {
    g_unattended = unattended;
}

void SetBoxObserver(BoxObserver observer) {
    g_observer = observer;
}

HWND GetMessageOwner() {
    return g_owner;
}

void ShowError(const std::string& text) {
    ShowError(text, std::string());
}

void ShowError(const char* text) {
    ShowError(text, std::string());
}

void ShowError(std::string_view text, const std::string& path, const char* end) {
    ShowBox(MarkedText(text, path, end), kErrorCaption, L"エラー", MB_OK | MB_ICONERROR);
}

int ShowConfirm(const std::string& text, UINT flags) {
    return ShowBox(MarkedText(text), kConfirmCaption, L"確認", flags | MB_ICONINFORMATION);
}

ScopedBoxAnswers::ScopedBoxAnswers(std::initializer_list<int> answers)
    : answers_(answers), previous_(g_answers) {
    g_answers = this;
}

ScopedBoxAnswers::~ScopedBoxAnswers() {
    g_answers = previous_;
}

int ScopedBoxAnswers::Answer(const std::string& text, const char* caption, UINT flags,
                             HWND owner, const std::string& shown) {
    asked_.push_back({text, caption, flags, owner, StoredText(shown)});
    return next_ < answers_.size() ? answers_[next_++] : IDOK;
}

void ShowWriteFailed(const std::string& path) {
    ShowError("ファイルの書き込みに失敗しました。: ", path);
}
