// The modeless progress dialog shown while the package is extracted.
#pragma once

#include <windows.h>

#include <cstdint>

#include "resource.h"

// The bar runs from 0 to count. A 32-bit range: the 16-bit one would wrap beyond 65,535 files.
void SetProgressRange(HWND dialog, int count);
void SetProgressPosition(HWND dialog, int position);

// Moves the bar as files finish, but repaints only when the filled width has grown by a pixel
// and at most every kRepaintInterval ms (always for the last file): a repaint per file would
// cost more than extracting a small file.
class ProgressBarMover {
public:
    static constexpr DWORD kRepaintInterval = 40;

    ProgressBarMover(HWND dialog, int count);
    void Done(int files);

private:
    HWND dialog_;
    int count_;
    int width_;
    int shown_pixels_ = 0;
    DWORD shown_at_;
};

// The dialog's creation parameter is the package's name (a zero-terminated text), for its title.
INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
