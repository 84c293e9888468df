// The uninstaller removing its own file once it serves no installation any more. A running
// program cannot delete its own file, so it hands the work to a copy of itself:
// 1. it copies itself to a new file in the temporary folder and opens that copy with
//    FILE_FLAG_DELETE_ON_CLOSE, as an inheritable handle, together with an inheritable handle to
//    its own process;
// 2. it starts the copy, which inherits both handles, and ends;
// 3. the copy waits on the process handle until the original has ended, then deletes the original
//    file through a checked handle, and only when it is byte for byte the copy itself;
// 4. when the copy ends, the system closes the last handle to the copy's file, opened with
//    FILE_FLAG_DELETE_ON_CLOSE, and deletes it.
// The copy restricts its DLL search like every run (the temporary folder holds other people's
// files) and imports only kernel32 and msvcrt at start.
#pragma once

#include <string>
#include <vector>

// Starts the copy; false when it could not be started (the program file then stays).
bool StartSelfRemoval();

// The copy's command line: the switch, the original process's handle and the original's path.
bool IsSelfRemovalCopy(const std::vector<std::string>& arguments);
// The copy's work; its exit code (0 when the original was deleted).
int RunSelfRemovalCopy(const std::vector<std::string>& arguments);
