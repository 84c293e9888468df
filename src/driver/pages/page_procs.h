// Dialog and preparation procedures of the installer's own wizard pages (the download pages
// declare theirs in downloader/).
#pragma once

#include <windows.h>

#include <string>

// What the installer's own pages take of the run and give back: filled by the page sequence
// before each page opens (the package's name, the install folder, the window that owns the
// pages), read back when it closes (the install folder the folder page chose). The pages reach no
// further into the run.
struct TPageContext {
    std::string AppName;
    std::string InstallDir;
    HWND Owner = nullptr;
};
TPageContext& PageContext();

// Agreement page. LicenseInit loads the file named by the current profile's Text key (its
// file-name part) from the temporary folder: true when a text was loaded.
INT_PTR CALLBACK LicenseDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
bool LicenseInit(const std::string& temp_folder);
// Enables the page's agree button once the edit control's last line is in view.
void EnableAgreeAtEnd(HWND edit, HWND page);

// Install-folder page; its init has nothing to prepare.
INT_PTR CALLBACK FolderDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
bool FolderInit(const std::string& temp_folder);
