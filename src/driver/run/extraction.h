// The extraction run: the package into the install directory, with the progress dialog.
#pragma once

#include <string>

class RunRecord;

// InstallDir as the extraction takes it: the host folder when empty, with a trailing backslash.
void ResolveInstallDir();
// Asks whether to go on when a killed run of this package left its record in InstallDir; true to
// go on: no record, a silent run (it never waits for a person), or the answer Yes.
bool ConfirmUnfinishedRun();
// Extracts every package member (all but the pre-extracted ones) into InstallDir (resolved by
// ResolveInstallDir), each listed in
// the run's record before it is written, and lists them in the setting file's INSTALLEDFILE
// section (with what was written to each in INSTALLEDFILECHECK), after them those an earlier
// stopped run left listed and, for a character, those its earlier installation there listed and
// this package no longer brings. False on failure or cancellation, after a message; the record
// then stays listing what was written.
bool ExtractPackage(RunRecord& record);
