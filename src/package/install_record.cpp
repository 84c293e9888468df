// The install record's writer and reader.
#include "package/install_record.h"

#include <algorithm>

#include "zlib.h"

#include "package/package_format.h"
#include "utils/files.h"
#include "utils/text.h"

namespace {

constexpr char kCheckSeparator = '|';

std::string KeyLine(const char* prefix, size_t index, std::string_view value) {
    return JoinText({prefix, UInt64ToText(index), "=", value, "\r\n"});
}

// One "SIZE,CRC"; false when the text is not that.
bool ParseCheck(std::string_view text, FileCheck& check) {
    const size_t comma = text.find(',');
    if (comma == 0 || comma > 20 || text.size() != comma + 9) return false;
    check = {};
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9'                 ? c - '0'
                          : i > comma && c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : i > comma && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                              : -1;
        if (i == comma) continue;
        if (digit < 0) return false;
        if (i < comma) check.size = check.size * 10 + static_cast<uint64_t>(digit);
        else check.crc = (check.crc << 4) | static_cast<uint32_t>(digit);
    }
    return true;
}

// The value of index in entries sorted by index, or an empty text.
std::string_view ValueAt(const std::vector<std::pair<size_t, std::string_view>>& entries,
                         size_t index) {
    const auto found = std::lower_bound(
        entries.begin(), entries.end(), index,
        [](const std::pair<size_t, std::string_view>& entry, size_t i) { return entry.first < i; });
    return found != entries.end() && found->first == index ? found->second : std::string_view();
}

std::vector<RecordedEntry> EntriesWithChecks(
    const std::vector<std::pair<size_t, std::string_view>>& items,
    const std::vector<std::pair<size_t, std::string_view>>& checks) {
    std::vector<RecordedEntry> entries;
    entries.reserve(items.size());
    for (const auto& [index, name] : items) {
        if (name.empty()) continue;
        entries.push_back({std::string(name), std::string(ValueAt(checks, index)), index});
    }
    return entries;
}

}  // namespace

bool RecordedEntry::IsFolder() const {
    return IsDelimiterAt(name, static_cast<int>(name.size()));
}

std::string FileChecksText(const std::vector<FileCheck>& checks) {
    std::string text;
    for (const FileCheck& check : checks) {
        if (!text.empty()) text += kCheckSeparator;
        text += JoinText({UInt64ToText(check.size), ",", IntToHexText(check.crc, 8)});
    }
    return text;
}

bool ParseFileChecks(std::string_view text, std::vector<FileCheck>& checks) {
    const size_t known = checks.size();
    for (size_t start = 0;;) {
        const size_t end = text.find(kCheckSeparator, start);
        FileCheck check;
        if (!ParseCheck(text.substr(start, end == std::string_view::npos ? end : end - start), check)) {
            checks.resize(known);
            return false;
        }
        checks.push_back(check);
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

InstalledListWriter::InstalledListWriter(const std::string& install_dir)
    : checks_(JoinText({kInstallDirKey, "=", install_dir, "\r\n"})) {}

void InstalledListWriter::Add(std::string_view name, std::string_view checks) {
    items_ += KeyLine(kItemKeyPrefix, count_, name);
    if (!checks.empty()) checks_ += KeyLine(kItemKeyPrefix, count_, checks);
    ++count_;
}

std::string WithAddedChecks(const std::string& text,
                            const std::vector<std::pair<size_t, std::string>>& additions) {
    std::vector<bool> done(additions.size(), false);
    std::string result;
    bool in_checks = false;
    // The lines still to add, at the end of the check section.
    const auto add_rest = [&] {
        for (size_t i = 0; i < additions.size(); ++i) {
            if (!done[i]) result += KeyLine(kItemKeyPrefix, additions[i].first, additions[i].second);
            done[i] = true;
        }
    };
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, end - start);
        start = end;
        const std::string trimmed = TrimText(line);
        if (!trimmed.empty() && trimmed.front() == '[') {
            if (in_checks) add_rest();
            in_checks = FileNameKey(trimmed) == FileNameKey(JoinText({"[", kInstalledCheckSection, "]"}));
        } else if (in_checks) {
            for (size_t i = 0; i < additions.size(); ++i) {
                const std::string key = JoinText({kItemKeyPrefix, UInt64ToText(additions[i].first), "="});
                if (done[i] || FileNameKey(trimmed.substr(0, key.size())) != key) continue;
                // Appended to the value, before the line's end.
                const size_t value_end = line.find_last_not_of("\r\n") + 1;
                line.insert(value_end, JoinText({"|", additions[i].second}));
                done[i] = true;
            }
        }
        result += line;
    }
    if (in_checks) {
        if (!result.empty() && result.back() != '\n') result += "\r\n";
        add_rest();
    }
    return result;
}

std::vector<RecordedEntry> ReadInstalledEntries(const IniText& ini) {
    return EntriesWithChecks(ini.Indexed(kInstalledFileSection, kItemKeyPrefix),
                             ini.Indexed(kInstalledCheckSection, kItemKeyPrefix));
}

std::string UninstallEntryKey(const std::string& info_path) {
    const std::string key = FileNameKey(ToBackslashes(FullPath(info_path)));
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(key.data()), static_cast<uInt>(key.size()));
    return JoinText({kUninstallListKey, "\\", kUninstallEntryPrefix,
                     IntToHexText(static_cast<uint32_t>(crc), 8)});
}

std::string RunRecordName(const std::string& app_name, const std::string& vendor,
                          const std::string& type) {
    const std::string identity = JoinText({app_name, "\n", vendor, "\n", type});
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(identity.data()),
                            static_cast<uInt>(identity.size()));
    return kRunRecordPrefix + IntToHexText(static_cast<uint32_t>(crc), 8) + ".ini";
}

std::string RunRecordHeader(const std::string& app_name, const std::string& vendor,
                            const std::string& type) {
    return JoinText({"[", kRunRecordSection, "]\r\n", kRunAppNameKey, "=", app_name, "\r\n",
                     kRunVendorKey, "=", vendor, "\r\n", kRunTypeKey, "=", type, "\r\n[",
                     kInstalledFileSection, "]\r\n"});
}

std::string RunRecordEntry(size_t index, std::string_view name, std::string_view checks) {
    std::string text = KeyLine(kItemKeyPrefix, index, name);
    if (!checks.empty()) text += KeyLine(kRunCheckKeyPrefix, index, checks);
    return text;
}

std::string_view RunRecordWholeLines(std::string_view text) {
    const size_t end = text.rfind('\n');
    return text.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

std::vector<RecordedEntry> ReadRunRecordEntries(const IniText& ini) {
    return EntriesWithChecks(ini.Indexed(kInstalledFileSection, kItemKeyPrefix),
                             ini.Indexed(kInstalledFileSection, kRunCheckKeyPrefix));
}
