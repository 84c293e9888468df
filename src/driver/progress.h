// The modeless progress dialog shown while the package is extracted.
#pragma once

#include <windows.h>

constexpr int kProgressTemplateId = 6;
constexpr int kProgressBarId = 150;

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
