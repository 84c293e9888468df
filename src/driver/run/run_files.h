// The files a run holds, their one owner: its temporary folder, marked live while the run goes
// on, the archive's file, held open from the seal's check to the end of the run, and the
// pre-extracted files, held from their check to the end of the run. All are let go at once, in
// Teardown. (The download pages hold each fetched program only until it has run: theirs.)
#pragma once

#include <windows.h>

#include <string>

#include "utils/unique_any.h"

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
// Holds a pre-extracted file of the temporary folder (opened sharing reading only) for the rest
// of the run, under name; lets go of a file held under that name before.
void HoldRunFile(const std::string& name, UniqueFile file);
// Lets go of the file held under name, if any (a member listed twice replaces the earlier).
void ReleaseRunFile(const std::string& name);
// Closes everything held: the archive, the pre-extracted files and the run folder's live mark
// (Teardown, before it deletes the folder).
void ReleaseRunFiles();
