// The introductory page of the prerequisite downloads.
#pragma once

#include <windows.h>

#include <string>

// Its dialog procedure; its init has nothing to prepare.
INT_PTR CALLBACK FirstDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
bool FirstInit(const std::string& temp_folder);
