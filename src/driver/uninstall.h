// What a character installation leaves for its uninstaller: uinstall.ini, chruinst.exe and the
// start-menu shortcuts; and the recognition of an earlier installation.
#pragma once

#include <string>

// True when the setting file names both uninstall folders; otherwise shows the message of each
// missing one, as the uninstall step would after the extraction, and returns false.
bool CheckUninstallSettings();
// Moves the run's setting file to UninstallInfoDir\uinstall.ini and installs the uninstaller.
bool WriteUninstallInfo();
// Installs the packaged "chruinst.ex_" as UninstallExeDir\chruinst.exe.
bool InstallUninstaller(const std::string& uninstall_info);
// The package's shortcuts and the uninstall shortcut; false when the latter can't be created.
bool CreateShortcuts();
// True when the installer's folder holds Vendor\Type\ with the character file and uinstall.ini.
bool IsAlreadyInstalled();
