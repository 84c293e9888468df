// The files a run holds: its temporary folder, marked live while the run goes on, and the
// archive's file, held open from the seal's check to the end of the run.
#pragma once

#include <windows.h>

#include <string>

// A new folder under the temporary path, marked live for the whole run; empty when none can be
// created.
std::string CreateLiveRunFolder();
// Deletes the temporary folders that runs killed more than a day ago left in temp_path: only
// folders named as the loader names them ("$$TMP$$" and digits), last changed more than a day
// ago and not marked live by a run that still goes on. Nothing for an empty temp_path.
void RemoveStaleTemporaryFolders(const std::string& temp_path);
// Opens the archive's file at path and holds it (sharing reading only) for the rest of the run.
// False after a message.
bool HoldRunArchive(const std::string& path);
// The archive's file, held open (sharing reading only) from the seal's check until
// ReleaseRunFiles; INVALID_HANDLE_VALUE before it is opened.
HANDLE HeldArchiveFile();
// Closes the held archive and the run folder's live mark (Teardown, before it deletes the
// folder).
void ReleaseRunFiles();
