// Folder macros and host folder resolution.
#include "driver/macros.h"

#include <windows.h>

#include <shlobj.h>

#include "driver/globals.h"
#include "driver/host.h"
#include "utils/registry.h"
#include "utils/shell.h"
#include "utils/text.h"

std::string ReplaceFirst(const std::string& text, const std::string& pattern,
                         const std::string& replacement) {
    const int at = FindText(pattern, text);
    if (at == 0) return text;
    const size_t start = static_cast<size_t>(at) - 1;
    return text.substr(0, start) + replacement + text.substr(start + pattern.size(), 65535);
}

namespace {

// ReplaceFirst with a special folder's path, looked up only when the text names the macro: the
// look-up loads the shell and COM, which most runs never need.
std::string ReplaceSpecialFolder(const std::string& text, const std::string& macro, int csidl) {
    if (FindText(macro, text) == 0) return text;
    return ReplaceFirst(text, macro, GetSpecialFolder(csidl));
}

}  // namespace

std::string ExpandFolderMacros(const std::string& text, bool default_allowed) {
    std::string result = ReplaceSpecialFolder(text, "($startmenu)", CSIDL_PROGRAMS);
    result = ReplaceSpecialFolder(result, "($desktop)", CSIDL_DESKTOP);
    result = ReplaceSpecialFolder(result, "($startup)", CSIDL_STARTUP);

    // Also only when named: without the host's registry key the default folder is the shell's.
    if (FindText("($MARLETHDIR)", result) != 0) {
        std::string host = GetHostFolder(default_allowed);
        if (!host.empty()) host = StripTrailingDelimiter(host);
        result = ReplaceFirst(result, "($MARLETHDIR)", host);
    }
    result = ReplaceFirst(result, "($INSTALLDIR)", StripTrailingDelimiter(InstallOptions.InstallDir));

    if (!IsDelimiterAt(result, static_cast<int>(result.size()))) result += '\\';
    return result;
}

std::string GetHostFolder(bool default_allowed) {
    std::string folder;
    if (UniqueHKey key = OpenRegKey(HKEY_CURRENT_USER, kHostRegistryKey, KEY_READ)) {
        folder = ReadRegString(key.get(), "InstallPath", "");
    }
    if (folder.empty() && default_allowed) return GetDefaultHostFolder();
    return folder;
}

std::string GetDefaultHostFolder() {
    return GetProgramFilesFolder() + "\\calderex\\Ombrevine";
}

std::string GetProgramFilesFolder() {
    const std::string folder = GetSpecialFolder(CSIDL_PROGRAM_FILES);
    if (!folder.empty()) return folder;
    char windows[MAX_PATH + 1] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return DriveOf(windows) + "\\program files";
}
