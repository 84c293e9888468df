// The setting file's slips, line by line.
#include "setting_lines.h"

#include <algorithm>
#include <map>

#include "package/setting_keys.h"
#include "package_settings.h"
#include "utils/text.h"

namespace {

// The full-width equals sign ＝ in Shift-JIS.
const char kFullWidthEquals[] = "\x81\x81";

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    return text.substr(begin, end - begin);
}

// Where the character c (ASCII) or the two-byte character pair first stands in text, stepping
// over whole characters (the second byte of a two-byte character may be any of "[]\"); npos when
// it does not.
size_t FindCharacter(const std::string& text, const std::string& character) {
    for (size_t i = 0; i < text.size(); i += IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1) {
        if (text.compare(i, character.size(), character) == 0) return i;
    }
    return std::string::npos;
}

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Close enough to be a slip: one edit in a short name, two in a longer one, three in a long one.
bool IsClose(const std::string& written, const std::string& known) {
    const size_t limit = known.size() <= 4 ? 1 : known.size() <= 8 ? 2 : 3;
    return EditDistance(written, known) <= limit;
}

bool IsDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
}

// The index of a list key's digits as the installer writes it: no leading zeros.
std::string PlainIndex(const std::string& digits) {
    const size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

// What a key is in its section: known, or unknown with what to say about it.
struct KeyVerdict {
    bool known = false;
    std::string note;  // after the message: "; did you mean ...?" or why an index is not read
};

KeyVerdict JudgeKey(const SettingSection& section, const std::string& key) {
    KeyVerdict verdict;
    // The key's trailing digits, for the lists' keys (MenuPath_0, item12).
    size_t stem_end = key.size();
    while (stem_end > 0 && key[stem_end - 1] >= '0' && key[stem_end - 1] <= '9') --stem_end;
    const std::string stem = key.substr(0, stem_end);
    const std::string digits = key.substr(stem_end);
    std::string suggestion;
    size_t best = std::string::npos;
    const auto consider = [&](const std::string& known, const std::string& compared,
                              const std::string& name) {
        const size_t distance = EditDistance(compared, known);
        if (distance < best && IsClose(compared, known)) {
            best = distance;
            suggestion = name;
        }
    };
    for (size_t i = 0; i < section.key_count; ++i) {
        const SettingKey& known = section.keys[i];
        const std::string name = known.name;
        if (known.indexes == 0) {
            if (EqualsIgnoringAsciiCase(key, name)) return {true, ""};
            consider(name, key, name);
            continue;
        }
        const std::string index = digits.empty() ? "0" : PlainIndex(digits);
        if (EqualsIgnoringAsciiCase(stem, name) && IsDigits(digits)) {
            const bool plain = digits == index;
            const bool in_range = index.size() <= 9 && (known.indexes == kAnyIndex ||
                                                         DigitsToInt(index) < known.indexes);
            if (plain && in_range) return {true, ""};
            if (!in_range) {
                verdict.note = known.indexes == kAnyIndex
                                   ? "; its index is beyond any list the installer reads"
                                   : "; the installer reads " + name + "0 to " + name +
                                         std::to_string(known.indexes - 1) + " only";
                return verdict;
            }
            verdict.note = "; did you mean \"" + name + index + "\"? (no leading zeros)";
            return verdict;
        }
        consider(name, stem, name + index);
    }
    if (!suggestion.empty()) verdict.note = "; did you mean \"" + suggestion + "\"?";
    return verdict;
}

const SettingSection* FindSection(const std::string& name) {
    for (const SettingSection& section : kSettingSections) {
        if (EqualsIgnoringAsciiCase(name, section.name)) return &section;
    }
    return nullptr;
}

std::string SectionSuggestion(const std::string& name) {
    std::string suggestion;
    size_t best = std::string::npos;
    for (const SettingSection& section : kSettingSections) {
        const size_t distance = EditDistance(name, section.name);
        if (distance < best && IsClose(name, section.name)) {
            best = distance;
            suggestion = section.name;
        }
    }
    return suggestion.empty() ? "" : "; did you mean [" + suggestion + "]?";
}

bool IsAllowed(const AllowedNames& allowed, const std::string& name) {
    return std::any_of(allowed.begin(), allowed.end(), [&name](const std::string& entry) {
        return EqualsIgnoringAsciiCase(entry, name);
    });
}

// Walks the lines as the installer's profile reads see them, remembering what came first.
class SettingLineChecker {
public:
    SettingLineChecker(const std::string& path, const AllowedNames& allowed)
        : path_(path), allowed_(allowed) {}

    void Line(size_t number, const std::string& raw) {
        number_ = number;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == ';') return;
        if (line[0] == '[') return Section(line);
        const size_t equals = line.find('=');  // '=' is never the second byte of a character
        const std::string key = Trim(line.substr(0, equals));
        if (FindCharacter(key, kFullWidthEquals) != std::string::npos) {
            return Report(Quoted(line) + " has a full-width ＝ where the installer needs "
                          "\"=\" (half-width): this line is never read");
        }
        if (equals == std::string::npos || key.empty()) {
            return Report(Quoted(line) +
                          " is no key=value line, [section] or ;comment: the installer never "
                          "reads it");
        }
        Key(key);
    }

    std::vector<std::string> TakeProblems() { return std::move(problems_); }

private:
    void Report(const std::string& message) {
        problems_.push_back(path_ + ":" + std::to_string(number_) + ": " + message);
    }

    void Section(const std::string& line) {
        const size_t close = FindCharacter(line, "]");
        const std::string name =
            Trim(close == std::string::npos ? line.substr(1) : line.substr(1, close - 1));
        const std::string key = LowerAscii(name);
        const auto [first, added] = section_lines_.emplace(key, number_);
        section_ = added ? FindSection(name) : nullptr;
        section_name_ = name;
        // Lines of a repeated or unknown section are not looked at one by one: the section's
        // message says why none of them is read.
        skipping_ = true;
        if (!added) {
            return Report("section [" + name + "] again (first on line " +
                          std::to_string(first->second) +
                          "): the installer reads only the first, and none of the keys below");
        }
        if (section_ == nullptr) {
            if (IsAllowed(allowed_, "[" + name + "]")) return;
            return Report("unknown section [" + name + "]" + SectionSuggestion(name) +
                          " (the installer never reads it)");
        }
        skipping_ = false;
        keys_.clear();
    }

    void Key(const std::string& key) {
        if (skipping_) return;
        if (section_ == nullptr) {
            return Report("key " + Quoted(key) + " before any [section]: the installer never reads it");
        }
        const auto [first, added] = keys_.emplace(LowerAscii(key), number_);
        if (!added) {
            return Report("key " + Quoted(key) + " again in [" + section_name_ +
                          "] (first on line " + std::to_string(first->second) +
                          "): the installer reads only the first");
        }
        const KeyVerdict verdict = JudgeKey(*section_, key);
        if (verdict.known || IsAllowed(allowed_, key)) return;
        Report("unknown key " + Quoted(key) + " in [" + section_name_ + "]" + verdict.note);
    }

    const std::string& path_;
    const AllowedNames& allowed_;
    size_t number_ = 0;
    const SettingSection* section_ = nullptr;
    std::string section_name_;
    bool skipping_ = false;
    std::map<std::string, size_t> section_lines_;  // lower-case name -> its first line
    std::map<std::string, size_t> keys_;           // of the current section
    std::vector<std::string> problems_;
};

}  // namespace

size_t EditDistance(const std::string& a, const std::string& b) {
    const std::string x = LowerAscii(a);
    const std::string y = LowerAscii(b);
    // Rows of the edit table: two back, one back and the current one.
    std::vector<size_t> before(y.size() + 1);
    std::vector<size_t> last(y.size() + 1);
    std::vector<size_t> row(y.size() + 1);
    for (size_t j = 0; j <= y.size(); ++j) last[j] = j;
    for (size_t i = 1; i <= x.size(); ++i) {
        row[0] = i;
        for (size_t j = 1; j <= y.size(); ++j) {
            const size_t cost = x[i - 1] == y[j - 1] ? 0 : 1;
            row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + cost});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1]) {
                row[j] = std::min(row[j], before[j - 2] + 1);
            }
        }
        before.swap(last);
        last.swap(row);
    }
    return last[y.size()];
}

std::vector<std::string> CheckSettingLines(const std::string& text, const std::string& path,
                                           const AllowedNames& allowed) {
    SettingLineChecker checker(path, allowed);
    ForEachTextLine(text, [&checker](size_t number, const std::string& line) {
        checker.Line(number, line);
    });
    return checker.TakeProblems();
}
