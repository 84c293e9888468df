// The modeless progress dialog shown while the package is extracted.
#pragma once

#include <windows.h>

constexpr int kProgressTemplateId = 6;
constexpr int kProgressBarId = 150;

// The bar runs from 0 to count. A 32-bit range: the 16-bit one would wrap beyond 65,535 files.
void SetProgressRange(HWND dialog, int count);
void SetProgressPosition(HWND dialog, int position);

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
