// Window plumbing shared by the pages: centring, control texts and the folder browser. The
// message pump is in utils/message_pump.h.
#pragma once

#include <windows.h>

#include <string>

// Centres the window on the primary screen (its full size, not the work area) and shows it.
void CenterWindow(HWND window);
// Sets a control's text (Shift-JIS: utils/shown_text.h).
void SetItemText(HWND dialog, int control_id, const std::string& text);
// Sets a window's title, shortened in the middle to what a title bar can show (a setting's value
// may be 32 KB).
void SetCaption(HWND window, const std::string& text);
// Lets the user choose a folder in a browser owned by owner, starting at initial_folder (a path in
// the system's code page); on true, folder holds the choice as the system names it.
bool BrowseForFolder(HWND owner, const std::string& initial_folder, std::wstring& folder);
