// The project's own uninstaller (chruinst.exe) for character packages that bring none: packed as
// "$preextractdir$/chruinst.ex_", with the [preextractlist] item added to the setting file as
// packed (a copy; the author's file stays as it is). An author's own uninstaller (an item named
// chruinst.ex_) always wins.
#pragma once

#include <string>

#include "package_settings.h"

// Where mkpackage finds its uninstaller unless --uninstaller names one: chruinst.exe in the
// folder of mkpackage.exe itself, where the build puts both.
std::string DefaultUninstaller();

// True for a character package (InstallMode 0, as far as the settings can tell) that names no
// chruinst.ex_ among its items.
bool BringsNoUninstaller(const PackageSettings& settings);

// The setting file's text with key=value as the last line of its first [preextractlist] section
// (a line of that key removed first), or with that section appended when there is none.
std::string WithPreExtractItem(const std::string& text, const std::string& key,
                               const std::string& value);

// Adds the item for the uninstaller file to settings (its data taken from that file) and to
// setting_text, the text of the setting file as packed.
void AddOurUninstaller(const std::string& uninstaller, std::string& setting_text,
                       PackageSettings& settings);
