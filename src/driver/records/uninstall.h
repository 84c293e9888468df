// What a character installation leaves for its uninstaller: uinstall.ini, chruinst.exe and the
// start-menu shortcuts; and the recognition of an earlier installation.
#pragma once

#include <string>
#include <vector>

#include "package/install_record.h"

// True when the setting file names both uninstall folders; otherwise shows the message of each
// missing one, as the uninstall step would after the extraction, and returns false.
bool CheckUninstallSettings();
// The entries that the uinstall.ini this installation is about to replace lists and that are
// still there, when it is the record of an installation into the same folder (an
// upgrade, or the same package again); nothing otherwise.
std::vector<RecordedEntry> EarlierInstalledEntries();
// Moves the run's setting file to UninstallInfoDir\uinstall.ini and installs the uninstaller.
bool WriteUninstallInfo();
// Installs the packaged "chruinst.ex_" as UninstallExeDir\chruinst.exe.
bool InstallUninstaller(const std::string& uninstall_info);
// The package's shortcuts and the uninstall shortcut; false when the latter can't be created.
bool CreateShortcuts();
// Enters the installation in Windows' list of installed programs for this user: its name,
// publisher (Vendor), folder, and the uninstaller's command lines naming its uinstall.ini.
// False when the entry could not be written.
bool RegisterInstallation();
// True when the installer's folder holds Vendor\Type\ with the character file and uinstall.ini.
bool IsAlreadyInstalled();
