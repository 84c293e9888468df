// Folder macros with the run's install folder.
#include "driver/flow/macros.h"

#include "driver/flow/globals.h"

std::string ExpandFolderMacros(const std::string& text, bool default_allowed) {
    return ExpandFolderMacrosWith(text, InstallOptions.InstallDir, default_allowed);
}
