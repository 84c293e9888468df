// Install conditions of prerequisite programs.
#include "downloader/install_check.h"

#include <windows.h>

#include "host/host.h"
#include "utils/files.h"
#include "utils/registry.h"
#include "utils/text.h"
#include "utils/version.h"

namespace {

const char kComponentServerKey[] = "CLSID\\{E486A1E0-C4F0-11d3-80C3-00E0294F87F5}\\InprocServer32";

std::string Field(const std::string& text, const char* separator, int index) {
    std::string field;
    GetField(text, separator, index, field);
    return field;
}

// "($check:spal)": the component's server file, as registered, exists. The closing character
// is dropped whatever it is.
bool SpecialConditionHolds(const std::string& condition) {
    const std::string inner = condition.substr(2, condition.size() - 3);
    std::string first;
    std::string second;
    if (!GetField(inner, ":", 0, first) || !GetField(inner, ":", 1, second)) return false;
    if (first != "check" || second != "spal") return false;
    UniqueHKey key = OpenRegKey(HKEY_CLASSES_ROOT, kComponentServerKey, KEY_READ);
    if (!key) return false;
    return FileExists(ReadRegString(key.get(), "", ""));
}

// "name" or "name@version": the file lies in the host folder, in at least that version.
bool FileConditionHolds(const std::string& condition) {
    const std::string folder = StripTrailingDelimiter(GetHostFolder(false)) + "\\";
    const std::string name = Field(condition, "@", 0);
    std::string required = Field(condition, "@", 1);
    if (!FileExists(folder + name)) return false;
    const std::string installed = GetFileVersionText(folder + name);
    // The host's versions are written major.minor in settings and major.0.minor in the file.
    if (name == kHostExeName) required = Field(required, ".", 0) + ".0." + Field(required, ".", 1);
    return !IsVersionNewer(required, installed);
}

}  // namespace

bool IsProgramInstalled(const std::string& conditions) {
    const std::string list = TrimText(conditions);
    if (list.empty()) return false;
    std::string field;
    for (int k = 0; GetField(list, "|", k, field); ++k) {
        const std::string condition = TrimText(field);
        const bool holds = condition.compare(0, 2, "($") == 0 ? SpecialConditionHolds(condition)
                                                               : FileConditionHolds(condition);
        if (!holds) return false;
    }
    return true;
}
