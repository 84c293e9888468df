// Dialog and preparation procedures of the wizard pages named in the page table.
#pragma once

#include <windows.h>

#include <string>

#include "downloader/download_list.h"

// Agreement page. LicenseInit loads the file named by the current profile's Text key (its
// file-name part) from the temporary folder: true when a text was loaded.
INT_PTR CALLBACK LicenseDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
bool LicenseInit(const std::string& temp_folder);
// Enables the page's agree button once the edit control's last line is in view.
void EnableAgreeAtEnd(HWND edit, HWND page);

// Install-folder page; its init has nothing to prepare.
INT_PTR CALLBACK FolderDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
bool FolderInit(const std::string& temp_folder);

// Introductory page; its init has nothing to prepare.
INT_PTR CALLBACK FirstDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
bool FirstInit(const std::string& temp_folder);

// Module-selection page; its init is ReadDownloadList.
INT_PTR CALLBACK SelInstallModuleDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
