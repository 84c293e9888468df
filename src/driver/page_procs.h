// Dialog and preparation procedures of the wizard pages named in the page table.
#pragma once

#include <windows.h>

#include <string>

INT_PTR CALLBACK LicenseDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
bool LicenseInit(const std::string& temp_folder);
INT_PTR CALLBACK FolderDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
bool FolderInit(const std::string& temp_folder);
INT_PTR CALLBACK FirstDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
bool FirstInit(const std::string& temp_folder);
INT_PTR CALLBACK SelInstallModuleDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
bool ReadDownloadList(const std::string& temp_folder);
