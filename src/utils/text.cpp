// Shift-JIS aware text and path helpers.
#include "utils/text.h"

#include <windows.h>

#include <algorithm>

namespace {

// Byte length of the character that starts at offset i.
size_t CharLength(const std::string& text, size_t i) {
    return IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
}

std::string ReplaceSeparators(std::string path, char from, char to) {
    for (size_t i = 0; i < path.size(); i += CharLength(path, i)) {
        if (path[i] == from) path[i] = to;
    }
    return path;
}

}  // namespace

bool IsLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

int LastCharPos(char c, const std::string& text) {
    int found = 0;
    for (size_t i = 0; i < text.size(); i += CharLength(text, i)) {
        if (!IsLeadByte(static_cast<unsigned char>(text[i])) && text[i] == c) {
            found = static_cast<int>(i) + 1;
        }
    }
    return found;
}

bool IsDelimiterAt(const std::string& text, int n) {
    if (text.empty() || n < 1 || static_cast<size_t>(n) > text.size()) return false;
    const char b = text[n - 1];
    if (b != '\\' && b != '/') return false;
    size_t i = 0;
    while (i + 1 < static_cast<size_t>(n)) i += CharLength(text, i);
    return i + 1 == static_cast<size_t>(n);
}

int FindNth(const std::string& needle, const std::string& text, int n) {
    const size_t length = needle.size();
    if (length == 0 || length > text.size()) return 0;
    int count = 0;
    for (size_t o = 0; o + length <= text.size(); o += CharLength(text, o)) {
        if (CompareStringA(LOCALE_USER_DEFAULT, 0, text.data() + o, static_cast<int>(length),
                           needle.data(), static_cast<int>(length)) == CSTR_EQUAL) {
            if (count == n) return static_cast<int>(o) + 1;
            ++count;
        }
    }
    return 0;
}

int FindText(const std::string& needle, const std::string& text) {
    return FindNth(needle, text, 0);
}

int FindFrom(const std::string& text, const std::string& needle, int start) {
    if (needle.empty() || start < 1) return 0;
    for (size_t i = static_cast<size_t>(start) - 1; i < text.size(); i += CharLength(text, i)) {
        if (text.compare(i, needle.size(), needle) == 0) return static_cast<int>(i) + 1;
    }
    return 0;
}

bool GetField(const std::string& text, const std::string& separator, int index, std::string& field) {
    if (text.empty() || separator.empty() || index < 0) return false;
    size_t begin = 0;
    if (index > 0) {
        const int at = FindNth(separator, text, index - 1);
        if (at == 0) return false;
        begin = static_cast<size_t>(at) - 1 + separator.size();
    }
    const int next = FindNth(separator, text, index);
    const size_t end = next == 0 ? text.size() : static_cast<size_t>(next) - 1;
    field = end > begin ? text.substr(begin, end - begin) : std::string();
    return true;
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, LastCharPos('\\', path));
}

std::string FolderOfNoSlash(const std::string& path) {
    const int at = LastCharPos('\\', path);
    return at == 0 ? std::string() : path.substr(0, at - 1);
}

std::string FileNameOf(const std::string& path) {
    return path.substr(LastCharPos('\\', path));
}

std::string ExtensionOf(const std::string& path) {
    const int at = LastCharPos('.', path);
    return at == 0 ? path : path.substr(at - 1);
}

std::string DriveOf(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        const int at = FindNth("\\", path.substr(2), 0);
        return at == 0 ? path : path.substr(0, 2 + at - 1);
    }
    return std::string();
}

std::string StripTrailingDelimiter(const std::string& path) {
    const int length = static_cast<int>(path.size());
    return IsDelimiterAt(path, length) ? path.substr(0, path.size() - 1) : path;
}

std::string AddBackslash(const std::string& path) {
    // A path ending in 表 (0x95 0x5C) ends in a character, not in a backslash.
    const int length = static_cast<int>(path.size());
    return IsDelimiterAt(path, length) && path.back() == '\\' ? path : path + '\\';
}

std::string ToSlashes(const std::string& path) {
    return ReplaceSeparators(path, '\\', '/');
}

std::string ToBackslashes(const std::string& path) {
    return ReplaceSeparators(path, '/', '\\');
}

std::string FileNameKey(const std::string& name) {
    std::string key = name;
    for (size_t i = 0; i < key.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(key[i]);
        if (IsLeadByte(c)) {
            ++i;  // the second byte stays as it is
        } else if (c >= 'A' && c <= 'Z') {
            key[i] = static_cast<char>(c + ('a' - 'A'));
        }
    }
    return key;
}

std::wstring WideText(const std::string& text, unsigned code_page) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), length);
    return wide;
}

bool SameFileName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::string NarrowText(const std::wstring& text, unsigned code_page) {
    if (text.empty()) return std::string();
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(code_page, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(code_page, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    }
    return narrow;
}

std::string LowerCaseText(const std::string& text) {
    // At most the first 780 bytes, as the platform's installers have always lowered texts (in a
    // buffer of 781 bytes): callers lower names, paths, hashes and header values, all shorter.
    std::string lowered = text.substr(0, 780);
    if (!lowered.empty()) CharLowerBuffA(lowered.data(), static_cast<DWORD>(lowered.size()));
    return lowered;
}

std::string IntToText(int32_t value) {
    char buffer[260];
    wsprintfA(buffer, "%d", value);
    return buffer;
}

std::string UInt64ToText(uint64_t value) {
    // Each digit by subtracting its power of ten: a 64-bit division would bring the compiler's
    // division routines into the stub for this one function.
    static constexpr uint64_t kPowers[] = {
        10000000000000000000ULL, 1000000000000000000ULL, 100000000000000000ULL,
        10000000000000000ULL, 1000000000000000ULL, 100000000000000ULL, 10000000000000ULL,
        1000000000000ULL, 100000000000ULL, 10000000000ULL, 1000000000ULL, 100000000ULL,
        10000000ULL, 1000000ULL, 100000ULL, 10000ULL, 1000ULL, 100ULL, 10ULL, 1ULL};
    std::string digits;
    for (uint64_t power : kPowers) {
        char digit = '0';
        for (; value >= power; value -= power) ++digit;
        if (digit != '0' || !digits.empty() || power == 1) digits += digit;
    }
    return digits;
}

std::string IntToHexText(uint32_t value, int width) {
    char format[32];
    wsprintfA(format, "%%0%dx", std::clamp(width, 0, 200));
    char buffer[257];
    wsprintfA(buffer, format, value);
    return buffer;
}

std::string TrimText(const std::string& text) {
    const auto is_blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    const auto first = std::find_if_not(text.begin(), text.end(), is_blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), is_blank).base();
    return first < last ? std::string(first, last) : std::string();
}

std::string JoinText(std::initializer_list<std::string_view> parts) {
    size_t size = 0;
    for (const std::string_view part : parts) size += part.size();
    std::string text;
    text.reserve(size);
    for (const std::string_view part : parts) text.append(part.data(), part.size());
    return text;
}

std::string Quoted(const std::string& text) {
    return JoinText({"\"", text, "\""});
}

std::string ShortenedText(const std::string& text, size_t max_bytes) {
    static constexpr std::string_view kEllipsis = "…";
    if (text.size() <= max_bytes || max_bytes < 2 * kEllipsis.size()) return text;
    const size_t room = max_bytes - kEllipsis.size();
    const size_t head_room = room / 2;
    // The longest run of whole characters from the start that fits its half, and the shortest
    // tail that starts on a character and fits the other half.
    size_t head = 0;
    size_t tail = text.size();
    for (size_t i = 0; i < text.size(); i += CharLength(text, i)) {
        if (i + CharLength(text, i) <= head_room) head = i + CharLength(text, i);
        if (text.size() - i <= room - head_room) {
            tail = i;
            break;
        }
    }
    return JoinText({std::string_view(text).substr(0, head), kEllipsis,
                     std::string_view(text).substr(tail)});
}

std::string BrokenLines(const std::string& text, size_t max_line_bytes) {
    std::string broken;
    size_t line = 0;  // bytes of the current line so far
    for (size_t i = 0; i < text.size(); i += CharLength(text, i)) {
        const size_t length = std::min(CharLength(text, i), text.size() - i);
        if (text[i] == '\n') {
            line = 0;
        } else if (text[i] != '\r') {
            if (line + length > max_line_bytes && line > 0) {
                broken += "\r\n";
                line = 0;
            }
            line += length;
        }
        broken.append(text, i, length);
    }
    return broken;
}

uint64_t DigitsToSize(const std::string& text) {
    if (text.empty() || text.size() > 19) return 0;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

int DigitsToInt(const std::string& text) {
    return static_cast<int>(DigitsToSize(text));
}

void SortNumbers(std::vector<uint64_t>& numbers) {
    if (!std::is_sorted(numbers.begin(), numbers.end())) std::sort(numbers.begin(), numbers.end());
}
