// The extraction run: the package into the install directory, with the progress dialog.
#pragma once

#include <string>

struct TInstallOptions;

// Extracts every package member (all but the pre-extracted ones) into InstallDir and lists
// them in the setting file's INSTALLEDFILE section. False on failure or cancellation.
bool ExtractPackage();

// Where a run of the package keeps its installed-file list while it extracts, in the install
// directory: appended in batches, removed when the run ends; a killed run leaves it behind.
std::string RunRecordPath(const TInstallOptions& o);
