// The installer's main flow, run once by the program body.
#pragma once

#include <cstdint>
#include <string>

// Runs the whole installation and returns the process exit code: 0 after a completed
// installation, 1 otherwise. arguments are the program's arguments without its name.
int RunInstaller(int argc, char** argv);
bool InitInstaller();
void CreateMainWindow();
// Destroys the main window and deletes the temporary folder.
void Teardown();
// Runs the command line and waits for it while pumping messages: its exit code, or -1 when it
// cannot be started.
int32_t RunAndWait(const std::string& command_line);
