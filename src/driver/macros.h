// Folder macros of the setting file and the host platform's folder.
#pragma once

#include <string>

// Replaces the first "($startmenu)", "($desktop)", "($startup)", "($MARLETHDIR)" and
// "($INSTALLDIR)" (exact letters) and ends the result with a path delimiter.
std::string ExpandFolderMacros(const std::string& text, bool default_allowed);
// The host's InstallPath registry value; with default_allowed, the default folder when empty.
std::string GetHostFolder(bool default_allowed);
std::string GetDefaultHostFolder();
std::string GetProgramFilesFolder();
// text with its first occurrence of pattern replaced (double-byte aware, case-sensitive).
std::string ReplaceFirst(const std::string& text, const std::string& pattern,
                         const std::string& replacement);
