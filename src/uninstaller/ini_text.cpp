// An INI text read once, looked up as the profile API does.
#include "uninstaller/ini_text.h"

#include <windows.h>

#include "package/package_format.h"
#include "utils/unique_any.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualsAsciiCaseless(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

// The value as the profile API gives it: trimmed, one pair of surrounding quotes removed.
std::string_view Unquote(std::string_view value) {
    value = Trim(value);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

// The index of an "itemN" key (N in plain decimal, as the installer writes it); false otherwise.
bool ItemIndex(std::string_view key, size_t limit, size_t& index) {
    const size_t prefix = sizeof kItemKeyPrefix - 1;
    if (key.size() <= prefix || !EqualsAsciiCaseless(key.substr(0, prefix), kItemKeyPrefix)) {
        return false;
    }
    const std::string_view digits = key.substr(prefix);
    if (digits.size() > 1 && digits[0] == '0') return false;  // "item01" is another key
    size_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<size_t>(c - '0');
        if (value >= limit) return false;  // no list has an item beyond its own length
    }
    index = value;
    return true;
}

}  // namespace

void IniText::FindSection(std::string_view section, size_t& begin, size_t& end) const {
    begin = end = std::string::npos;
    for (size_t start = 0; start < text_.size();) {
        size_t stop = text_.find('\n', start);
        if (stop == std::string::npos) stop = text_.size();
        const std::string_view line = Trim(std::string_view(text_).substr(start, stop - start));
        if (!line.empty() && line.front() == '[') {
            if (begin != std::string::npos) {
                end = start;
                return;
            }
            const size_t close = line.find(']');
            if (close != std::string_view::npos &&
                EqualsAsciiCaseless(Trim(line.substr(1, close - 1)), section)) {
                begin = stop + 1;
            }
        }
        start = stop + 1;
    }
    if (begin != std::string::npos) end = text_.size();
}

template <typename Visit>
void IniText::ForEachEntry(std::string_view section, Visit visit) const {
    size_t begin = 0;
    size_t end = 0;
    FindSection(section, begin, end);
    if (begin == std::string::npos) return;
    for (size_t start = begin; start < end;) {
        size_t stop = text_.find('\n', start);
        if (stop == std::string::npos || stop > end) stop = end;
        const std::string_view line = std::string_view(text_).substr(start, stop - start);
        const size_t equals = line.find('=');
        if (equals != std::string_view::npos) {
            const std::string_view key = Trim(line.substr(0, equals));
            if (!key.empty() && key.front() != ';') visit(key, Unquote(line.substr(equals + 1)));
        }
        start = stop + 1;
    }
}

bool IniText::Value(std::string_view section, std::string_view key, std::string& value) const {
    bool found = false;
    ForEachEntry(section, [&](std::string_view name, std::string_view text) {
        if (found || !EqualsAsciiCaseless(name, key)) return;
        value.assign(text.data(), text.size());
        found = true;
    });
    return found;
}

std::vector<std::string_view> IniText::ItemsByIndex(std::string_view section, size_t count) const {
    std::vector<std::string_view> items(count);
    std::vector<bool> seen(count, false);
    ForEachEntry(section, [&](std::string_view key, std::string_view value) {
        size_t index = 0;
        if (!ItemIndex(key, count, index) || seen[index]) return;
        seen[index] = true;  // the first of two equal keys counts, as for the profile API
        items[index] = value;
    });
    return items;
}

std::vector<std::string_view> IniText::Items(std::string_view section) const {
    size_t lines = 0;
    ForEachEntry(section, [&](std::string_view, std::string_view) { ++lines; });
    std::vector<std::string_view> items = ItemsByIndex(section, lines);
    size_t length = 0;
    while (length < items.size() && !items[length].empty()) ++length;
    items.resize(length);
    return items;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x10000000) return false;
    content.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return content.empty() ||
           (ReadFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &read,
                     nullptr) &&
            read == content.size());
}
