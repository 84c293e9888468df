// "mkpackage --list": what a built package holds, for its author to check before shipping it.
#pragma once

#include <string>

// Prints the members of the package (an installer or an archive) in archive order, each with its
// size, then their count and total size, and the settings an author checks: AppName, InstallMode
// and Dialogs, as the installer will read them. False (with a message) when path holds no
// archive or its member list cannot be read.
bool ListPackage(const std::string& path);
