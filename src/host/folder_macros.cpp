// Folder macros and their expansion.
#include "host/folder_macros.h"

#include <windows.h>

#include <shlobj.h>

#include "host/host.h"
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

std::string ExpandFolderMacrosWith(const std::string& text, const std::string& install_dir,
                                   bool default_allowed) {
    std::string result = ReplaceSpecialFolder(text, "($startmenu)", CSIDL_PROGRAMS);
    result = ReplaceSpecialFolder(result, "($desktop)", CSIDL_DESKTOP);
    result = ReplaceSpecialFolder(result, "($startup)", CSIDL_STARTUP);

    // Also only when named: without the host's registry key the default folder is the shell's.
    if (FindText(kHostDirMacro, result) != 0) {
        std::string host = GetHostFolder(default_allowed);
        if (!host.empty()) host = StripTrailingDelimiter(host);
        result = ReplaceFirst(result, kHostDirMacro, host);
    }
    result = ReplaceFirst(result, kInstallDirMacro, StripTrailingDelimiter(install_dir));

    if (!IsDelimiterAt(result, static_cast<int>(result.size()))) result += '\\';
    return result;
}
