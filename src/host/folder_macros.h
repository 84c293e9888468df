// Folder macros of the setting file ("($startmenu)", "($desktop)", "($startup)",
// "($MARLETHDIR)", "($INSTALLDIR)"): expanded by the installer when it places files, and by the
// uninstaller when it finds out where an installation put them.
#pragma once

#include <string>

inline constexpr char kInstallDirMacro[] = "($INSTALLDIR)";
inline constexpr char kHostDirMacro[] = "($MARLETHDIR)";

// Replaces the first occurrence of each macro (exact letters): the special folders, the host
// folder and install_dir (without its trailing delimiter), and ends the result with a path
// delimiter.
std::string ExpandFolderMacrosWith(const std::string& text, const std::string& install_dir,
                                   bool default_allowed);
// text with its first occurrence of pattern replaced (double-byte aware, case-sensitive).
std::string ReplaceFirst(const std::string& text, const std::string& pattern,
                         const std::string& replacement);
