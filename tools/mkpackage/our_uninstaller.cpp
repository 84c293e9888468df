// The project's own uninstaller, packed into character packages that bring none.
#include "our_uninstaller.h"

#include <windows.h>

#include "package/package_format.h"
#include "utils/text.h"

namespace {

// A line's text without its line end and surrounding blanks.
std::string Trimmed(const std::string& text, size_t start, size_t end) {
    return TrimText(text.substr(start, end - start));
}

bool IsSectionHeader(const std::string& line, const char* name) {
    if (line.size() < 2 || line.front() != '[') return false;
    const size_t close = line.find(']');
    return close != std::string::npos &&
           EqualsIgnoringAsciiCase(TrimText(line.substr(1, close - 1)), name);
}

bool HasKey(const std::string& line, const std::string& key) {
    const size_t equals = line.find('=');
    return equals != std::string::npos && EqualsIgnoringAsciiCase(TrimText(line.substr(0, equals)), key);
}

}  // namespace

std::string DefaultUninstaller() {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return FolderOf(path) + kUninstallerName;
}

bool BringsNoUninstaller(const PackageSettings& settings) {
    if (!settings.has_options || settings.install_mode != 0) return false;
    for (const PreExtractItem& item : settings.items) {
        if (EqualsIgnoringAsciiCase(FileNameOf(ToBackslashes(item.value)), kPackagedUninstaller)) {
            return false;
        }
    }
    return true;
}

std::string WithPreExtractItem(const std::string& text, const std::string& key,
                               const std::string& value) {
    const std::string line = key + "=" + value + "\r\n";
    std::string out;
    size_t insert_at = std::string::npos;  // in out: after the section's last entry
    bool in_section = false;
    bool section_seen = false;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string trimmed = Trimmed(text, start, end);
        if (!trimmed.empty() && trimmed.front() == '[') {
            in_section = !section_seen && IsSectionHeader(trimmed, kPreExtractListSection);
            section_seen = section_seen || in_section;
        }
        if (!(in_section && HasKey(trimmed, key))) {
            out.append(text, start, end - start);
            if (in_section) {
                if (out.back() != '\n') out += "\r\n";
                if (!trimmed.empty()) insert_at = out.size();
            }
        }
        start = end;
    }
    if (insert_at != std::string::npos) return out.insert(insert_at, line);
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    return out + "[" + kPreExtractListSection + "]\r\n" + line;
}

void AddOurUninstaller(const std::string& uninstaller, std::string& setting_text,
                       PackageSettings& settings) {
    PreExtractItem item;
    item.key = std::string(kItemKeyPrefix) + std::to_string(settings.items.size());
    item.value = ToBackslashes(kPackagedUninstallerMember);
    item.source = uninstaller;
    setting_text = WithPreExtractItem(setting_text, item.key, item.value);
    settings.items.push_back(std::move(item));
}
