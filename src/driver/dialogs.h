// Window plumbing shared by the pages and the installer's long steps: centring, control texts,
// the folder browser, the hidden main window's procedure and the message pump.
#pragma once

#include <windows.h>

#include <string>

// Centres the window on the primary screen (its full size, not the work area) and shows it.
void CenterWindow(HWND window);
void SetItemText(HWND dialog, int control_id, const std::string& text);
// Lets the user choose a folder, starting at initial_folder; on true, folder holds the choice.
bool BrowseForFolder(const std::string& initial_folder, std::string& folder);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Handles every pending message of the thread (dialog keys through dialog first). Stops at a
// quit message, which is then removed. record holds the last message taken. True when at least
// one message was taken.
bool PumpMessages(HWND dialog, MSG& record);
// Pumps until the queue is empty; a quit message met on the way is dropped.
void ProcessMessages(HWND dialog);
