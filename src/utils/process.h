// Starting another program and waiting for it without freezing this program's windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Runs the command line and waits for the program to end while pumping the thread's messages
// (dialog keys through pump_window): its exit code, or -1 when it cannot be started.
int32_t RunAndWait(const std::string& command_line, HWND pump_window);

// The command line that runs program with arguments: the program's path in double quotes, so
// that a path with blanks is never taken for a shorter program ("C:\My Files\x.exe" would
// otherwise start "C:\My.exe" where one exists), then a blank and the arguments.
std::string CommandLineFor(const std::string& program, const std::string& arguments);
