// The installer's main flow, run once by the program body.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Runs the whole installation and returns the process exit code: 0 after a completed
// installation, 1 otherwise. arguments are the program's arguments without its name.
int RunInstaller(int argc, char** argv);
bool InitInstaller();
void CreateMainWindow();
// The hidden main window's procedure: its destruction posts the quit message that ends a running
// extraction.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Destroys the main window and deletes the temporary folder.
void Teardown();
