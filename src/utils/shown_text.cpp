// The one conversion of what a person reads, from its stored bytes to UTF-16.
#include "utils/shown_text.h"

#include "utils/text.h"

namespace {

// The marks around the path, and the escape of a byte that is one of the three.
constexpr char kPathStart = '\x01';
constexpr char kPathEnd = '\x02';
constexpr char kEscape = '\x03';

bool IsMarkByte(char c) {
    return c == kPathStart || c == kPathEnd || c == kEscape;
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        if (IsMarkByte(c)) out += kEscape;
        out += c;
    }
}

}  // namespace

std::wstring ShownText(const std::string& text) {
    return WideText(text, kJapaneseCodePage);
}

std::wstring ShownPath(const std::string& path) {
    return WideText(path);
}

void SetShownText(HWND window, const std::string& text) {
    SetWindowTextW(window, ShownText(text).c_str());
}

void SetShownPath(HWND window, const std::string& path) {
    SetWindowTextW(window, ShownPath(path).c_str());
}

bool TypedSystemText(HWND window, std::string& path) {
    // Longer than any folder the page takes, so that a longer text is refused as no folder.
    wchar_t typed[1024] = {};
    GetWindowTextW(window, typed, 1024);
    char narrow[sizeof typed * 2] = {};
    BOOL lossy = FALSE;
    // Held in the code page only when no character became the default one or a look-alike.
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, typed, -1, narrow, sizeof narrow, nullptr,
                        &lossy);
    if (lossy) return false;
    path = narrow;
    return true;
}

std::string MarkedText(std::string_view text, std::string_view path, std::string_view end) {
    std::string marked;
    marked.reserve(text.size() + path.size() + end.size() + 2);
    AppendEscaped(marked, text);
    if (!path.empty()) {
        marked += kPathStart;
        AppendEscaped(marked, path);
        marked += kPathEnd;
    }
    AppendEscaped(marked, end);
    return marked;
}

std::wstring ShownMarkedText(const std::string& marked, unsigned system_code_page) {
    std::wstring shown;
    size_t start = 0;
    bool in_path = false;
    for (size_t i = 0; i <= marked.size(); ++i) {
        const char c = i < marked.size() ? marked[i] : kPathStart;  // the end closes the last part
        if (c == kEscape && i + 1 < marked.size()) {
            ++i;
        } else if (c == kPathStart || c == kPathEnd) {
            shown += WideText(StoredText(marked.substr(start, i - start)),
                              in_path ? system_code_page : kJapaneseCodePage);
            in_path = c == kPathStart;
            start = i + 1;
        }
    }
    return shown;
}

std::string StoredText(const std::string& marked) {
    std::string stored;
    stored.reserve(marked.size());
    for (size_t i = 0; i < marked.size(); ++i) {
        const char c = marked[i];
        if (c == kEscape && i + 1 < marked.size()) {
            stored += marked[++i];
        } else if (c != kPathStart && c != kPathEnd) {
            stored += c;
        }
    }
    return stored;
}
