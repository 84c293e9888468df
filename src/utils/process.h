// Starting another program and waiting for it without freezing this program's windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "utils/text.h"
#include "utils/unique_any.h"

// Runs the command line and waits for the program to end while pumping the thread's messages
// (dialog keys through pump_window): its exit code, or -1 when it cannot be started. With
// as_signed_in_user, an elevated installer starts it as the signed-in user where it can
// (StartAsSignedInUser), else as it starts any program.
int32_t RunAndWait(const std::string& command_line, HWND pump_window,
                   bool as_signed_in_user = false);

// When this process runs elevated, starts the command line in folder (empty: this process's
// current folder) as the signed-in user, not elevated: with the token of the desktop's shell
// (Explorer), which runs unelevated in the user's session, through the system's secondary logon.
// A program the user merely looks at (the host, a read-me) gets no administrator rights from
// the installer. The new process's handle; empty when this process is not elevated, or the
// shell is elevated too, or there is no shell window (as under Wine), or the system refuses:
// the caller then starts the program the usual way.
UniqueHandle StartAsSignedInUser(const std::string& command_line, const std::string& folder,
                                 int show_command);

// True when this process runs elevated (with an administrator's full rights).
bool ThisProcessIsElevated();

// Full path of this process's program file (empty when the system cannot give it whole), and its
// folder with a trailing backslash. Inline:
// the uninstaller, which must stay small, then compiles them as its own.
inline std::string OwnProgramPath() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    // A path cut short would name another file.
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(path);
}
inline std::string OwnProgramFolder() {
    return FolderOf(OwnProgramPath());
}

// The command line that runs program with arguments: the program's path in double quotes, so
// that a path with blanks is never taken for a shorter program ("C:\My Files\x.exe" would
// otherwise start "C:\My.exe" where one exists), then a blank and the arguments.
std::string CommandLineFor(const std::string& program, const std::string& arguments);
