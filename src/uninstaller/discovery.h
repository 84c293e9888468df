// Finding, without being told, the installations this uninstaller serves: the uinstall.ini files
// whose UninstallExeDir is its own folder, at the depths where the packages' UninstallInfoDir puts
// them (commonly "($INSTALLDIR)\Vendor\Type" or "($MARLETHDIR)\Vendor\Type") below its own folder
// and the host folder, and the run records that killed installations left in those folders and
// in the install folders found. No registry key of its own is read or written.
#pragma once

#include <string>
#include <vector>

#include "uninstaller/installation.h"

// The folders searched: the uninstaller's folder and the host folder (the host's InstallPath, or
// its default folder).
std::vector<std::string> SearchRoots(const std::string& own_folder);
// uinstall.ini files at depth 0 to 2 below each root and run records in the roots and in the
// install folders found. Each installation once; run records that an installer still holds
// (its run goes on) are left out.
std::vector<Installation> FindInstallations(const std::vector<std::string>& roots);
// Those of FindInstallations(SearchRoots(own_folder)) that this uninstaller serves: complete
// installations whose uninstaller folder is own_folder, and every interrupted one; by AppName.
std::vector<Installation> FindServedInstallations(const std::string& own_folder);
// True when the installation's uninstaller is the one in own_folder.
bool IsServedBy(const Installation& installation, const std::string& own_folder);
