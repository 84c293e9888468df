// Finding, without being told, the installations this uninstaller serves: those that Windows'
// list of installed programs names (every character installation since the installer made those
// entries), the uinstall.ini files whose UninstallExeDir is its own folder at the depths where
// the packages' UninstallInfoDir puts them (commonly "($INSTALLDIR)\Vendor\Type" or
// "($MARLETHDIR)\Vendor\Type") below its own folder and the host folder (for installations made
// before), and the run records that runs which did not complete left in those folders and in the
// install folders found.
#pragma once

#include <string>
#include <vector>

#include "uninstaller/installation.h"

// The folders searched: the uninstaller's folder and the host folder (the host's InstallPath, or
// its default folder).
std::vector<std::string> SearchRoots(const std::string& own_folder);
// The uinstall.ini files that Windows' list names and those at depth 0 to 2 below each root, and
// run records in the roots and in the install folders found. Each installation once; run records
// that an installer still holds (its run goes on) are left out, and so are those that a complete
// installation of the same package took in (Installation::run_records).
std::vector<Installation> FindInstallations(const std::vector<std::string>& roots);
// Those of FindInstallations(SearchRoots(own_folder)) that this uninstaller serves: complete
// installations whose uninstaller folder is own_folder, and every interrupted one; by AppName.
std::vector<Installation> FindServedInstallations(const std::string& own_folder);
// True when an entry of Windows' list names the program at own_path as its uninstaller, whatever
// became of the entry's uinstall.ini: the program stays for it.
bool ListEntryNamesProgram(const std::string& own_path);
// The uinstall.ini files that Windows' list of installed programs names.
std::vector<std::string> ListedUninstallInfos();
// Removes the entry of Windows' list that names info_path, when info_path is gone: the
// installation was removed by hand. True when there was such an entry.
bool RemoveStaleListEntry(const std::string& info_path);
// True when the installation's uninstaller is the one in own_folder.
bool IsServedBy(const Installation& installation, const std::string& own_folder);
