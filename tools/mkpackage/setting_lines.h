// The setting file line by line, as its author wrote it: the slips that the installer passes over
// without a word (a misspelt or unknown key or section, a full-width ＝ for "=", a key or section
// given twice, of which only the first is read), each reported with the file and line.
#pragma once

#include <string>
#include <vector>

// Names an author keeps on purpose although the installer never reads them: a key name (in any
// section) or a section as "[name]"; compared without regard to ASCII case.
using AllowedNames = std::vector<std::string>;

// One message per slip in the setting text (Shift-JIS; lines end with CR LF, LF or a lone CR, so
// that the lines are the author's whether the file was converted or not), each beginning with
// "path:line: ". The sections and keys known are those of package/setting_keys.h; an unknown name
// close to a known one (letter case aside) gets it as a suggestion.
std::vector<std::string> CheckSettingLines(const std::string& text, const std::string& path,
                                           const AllowedNames& allowed);

// The number of single-character edits (insert, delete, replace, swap two neighbours) that turn
// a into b, letter case aside.
size_t EditDistance(const std::string& a, const std::string& b);

// Calls visit(line_number, line) for each line of text (1-based), the line without its end.
template <typename Visit>
void ForEachTextLine(const std::string& text, Visit visit) {
    size_t number = 1;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        visit(number, text.substr(start, end - start));
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
        start = end + 1;
        ++number;
    }
}
