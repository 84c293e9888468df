// The modeless progress dialog shown while the package is extracted.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int kProgressTemplateId = 6;
constexpr int kProgressBarId = 150;

// The bar runs from 0 to count. A 32-bit range: the 16-bit one would wrap beyond 65,535 files.
void SetProgressRange(HWND dialog, int count);
void SetProgressPosition(HWND dialog, int position);

// Moves the bar for each finished file, but repaints only when the bar's filled width grows by
// a pixel: a repaint per file would cost more than extracting a small file.
class ProgressBarMover {
public:
    ProgressBarMover(HWND dialog, int count);
    void Done(int files);

private:
    HWND dialog_;
    int count_;
    int64_t width_;
    int64_t shown_pixels_ = 0;
};

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
