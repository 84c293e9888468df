// Loading the install options from the setting file.
#pragma once

#include <windows.h>

#include <string>

// Creates the temporary folder, pre-extracts the setting file and the listed members, fills
// InstallOptions and builds the page sequence. False after a message: the run ends.
bool LoadInstallOptions();
// Deletes the temporary folders that runs killed more than a day ago left in temp_path: only
// folders named as the loader names them ("$$TMP$$" and digits), last changed more than a day
// ago and not marked live by a run that still goes on. Nothing for an empty temp_path.
void RemoveStaleTemporaryFolders(const std::string& temp_path);
// The archive's file, held open (sharing reading only) from the seal's check until
// ReleaseRunFiles; INVALID_HANDLE_VALUE before it is opened.
HANDLE HeldArchiveFile();
// Closes the held archive and the run folder's live mark (Teardown, before it deletes the
// folder).
void ReleaseRunFiles();
