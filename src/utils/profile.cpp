// The current profile: INI-file access by key within a selected file and section.
#include "utils/profile.h"

#include <windows.h>

#include <vector>

#include "utils/files.h"
#include "utils/run_log.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

struct CurrentProfile {
    std::string file;
    std::string section;
};

CurrentProfile& Current() {
    static CurrentProfile profile;
    return profile;
}

constexpr DWORD kReadBufferSize = kProfileValueBufferSize;

// Each setting read goes to the run's log (when there is one) with the value the run got; the
// file is named when reads move to another one.
void LogRead(const char* key, const std::string& value) {
    if (!RunLogStarted()) return;
    static std::string logged_file;
    const CurrentProfile& current = Current();
    if (current.file != logged_file) {
        logged_file = current.file;
        LogBatched("設定ファイル " + logged_file);
    }
    LogBatched(JoinText({"設定 [", current.section, "] ", key, "=", value}));
}

}  // namespace

void SelectProfile(const std::string& file, const char* section) {
    CurrentProfile& current = Current();
    current.file = file;
    current.section = section;
}

std::string ReadProfileString(const char* key, const char* default_value) {
    std::vector<char> buffer(kReadBufferSize, '\0');
    const DWORD length = GetPrivateProfileStringA(Current().section.c_str(), key,
                                                  default_value, buffer.data(),
                                                  kReadBufferSize, Current().file.c_str());
    std::string value(buffer.data(), std::min<DWORD>(length, kReadBufferSize - 1));
    LogRead(key, value);
    return value;
}

void WriteProfileString(const std::string& key, const std::string& value) {
    WritePrivateProfileStringA(Current().section.c_str(), key.c_str(),
                               value.empty() ? nullptr : value.c_str(), Current().file.c_str());
}

namespace {


// True when a line of the text is the header of the section (letter case and surrounding
// blanks ignored, as the profile API does).
bool HasSectionHeader(const std::string& text, const std::string& section) {
    const std::string wanted = LowerCaseText(section);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = TrimText(text.substr(start, end - start));
        if (line.size() >= 2 && line.front() == '[') {
            const size_t close = line.find(']');
            if (close != std::string::npos &&
                LowerCaseText(TrimText(line.substr(1, close - 1))) == wanted) {
                return true;
            }
        }
        start = end + 1;
    }
    return false;
}

// Appends the section (lines: each ending with "\r\n") to a plain-text file that does not have it
// yet; false when the file is not such a file (then the profile API does the work).
bool AppendNewSection(const std::string& path, const std::string& section,
                      const std::string& lines) {
    std::string text;
    const bool exists = ReadWholeFile(path, text);
    const bool unicode = text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') ||
                                              (text[0] == '\xFE' && text[1] == '\xFF'));
    const bool utf8_mark = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
    if (!exists || unicode || utf8_mark || HasSectionHeader(text, section)) return false;

    std::string header;
    if (!text.empty() && text.back() != '\n') header += "\r\n";
    header += "[" + section + "]\r\n";

    UniqueFile file(CreateFileA(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    // The header and the lines as they are: a copy of a long list would double its memory.
    const std::string* const parts[] = {&header, &lines};
    for (const std::string* part : parts) {
        DWORD written = 0;
        if (!WriteFile(file.get(), part->data(), static_cast<DWORD>(part->size()), &written,
                       nullptr) ||
            written != part->size()) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReplaceProfileSection(const std::string& section, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return ReplaceProfileSectionText(section, text);
}

bool ReplaceProfileSectionText(const std::string& section, const std::string& lines) {
    if (AppendNewSection(Current().file, section, lines)) return true;
    // The profile API wants the lines each ended by a zero, the list by another.
    std::string content;
    for (size_t start = 0; start < lines.size();) {
        size_t end = lines.find("\r\n", start);
        if (end == std::string::npos) end = lines.size();
        content.append(lines, start, end - start);
        content += '\0';
        start = end + 2;
    }
    content += '\0';
    return WritePrivateProfileSectionA(section.c_str(), content.c_str(), Current().file.c_str()) !=
           FALSE;
}

int ReadProfileInt(const char* key, int default_value) {
    const int value = static_cast<int>(GetPrivateProfileIntA(
        Current().section.c_str(), key, default_value, Current().file.c_str()));
    LogRead(key, IntToText(value));
    return value;
}

bool ReadProfileBool(const std::string& key, bool default_value) {
    return ReadProfileInt(key.c_str(), default_value ? 1 : 0) != 0;
}
