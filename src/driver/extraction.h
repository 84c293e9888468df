// The extraction run: the package into the install directory, with the progress dialog.
#pragma once

#include <string>

struct TInstallOptions;

// InstallDir as the extraction takes it: the host folder when empty, with a trailing backslash.
void ResolveInstallDir();
// Asks whether to go on when a killed run of this package left its record in InstallDir; true to
// go on: no record, a silent run (it never waits for a person), or the answer Yes.
bool ConfirmUnfinishedRun();
// Extracts every package member (all but the pre-extracted ones) into InstallDir and lists
// them in the setting file's INSTALLEDFILE section, after those a killed run left listed.
// False on failure or cancellation, after a message.
bool ExtractPackage();

// Where a run of the package keeps its installed-file list while it extracts, in the install
// directory: appended in batches, removed when the run ends; a killed run leaves it behind.
std::string RunRecordPath(const TInstallOptions& o);
