// An INI text read once, looked up as the profile API does.
#include "package/ini_text.h"

#include <cstdint>

#include "utils/text.h"

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

// The index of a key that is prefix followed by a plain decimal number; false otherwise.
bool KeyIndex(std::string_view key, std::string_view prefix, size_t& index) {
    if (key.size() <= prefix.size() || !EqualsAsciiCaseless(key.substr(0, prefix.size()), prefix)) {
        return false;
    }
    const std::string_view digits = key.substr(prefix.size());
    // "item01" is another key; nine digits are more than any list has.
    if ((digits.size() > 1 && digits[0] == '0') || digits.size() > 9) return false;
    size_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<size_t>(c - '0');
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

std::vector<std::pair<size_t, std::string_view>> IniText::Indexed(std::string_view section,
                                                                  std::string_view prefix) const {
    // Each key as its index (high half) and its place among the values (low half): ordered by
    // index, of two equal keys the one written first comes first, and only it is kept.
    std::vector<std::string_view> values;
    std::vector<uint64_t> order;
    ForEachEntry(section, [&](std::string_view key, std::string_view value) {
        size_t index = 0;
        if (!KeyIndex(key, prefix, index)) return;
        order.push_back(static_cast<uint64_t>(index) << 32 | values.size());
        values.push_back(value);
    });
    SortNumbers(order);
    std::vector<std::pair<size_t, std::string_view>> entries;
    entries.reserve(order.size());
    for (const uint64_t key : order) {
        const size_t index = static_cast<size_t>(key >> 32);
        if (entries.empty() || entries.back().first != index) {
            entries.emplace_back(index, values[static_cast<size_t>(key & 0xFFFFFFFF)]);
        }
    }
    return entries;
}
