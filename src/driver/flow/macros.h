// Folder macros of the setting file, expanded with the run's install folder, and the host
// platform's folder.
#pragma once

#include <string>

#include "host/folder_macros.h"
#include "host/host.h"

// ExpandFolderMacrosWith the run's InstallDir.
std::string ExpandFolderMacros(const std::string& text, bool default_allowed);
