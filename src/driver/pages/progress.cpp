// The progress dialog's procedure: it only displays; the extraction run moves the bar.
#include "driver/pages/progress.h"

#include <commctrl.h>

#include "ui/dialogs.h"
#include "utils/text.h"

namespace {
const char kInstallingSuffix[] = " インストール中";
}

void SetProgressRange(HWND dialog, int count) {
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, count);
}

void SetProgressPosition(HWND dialog, int position) {
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, position, 0);
}

ProgressBarMover::ProgressBarMover(HWND dialog, int count)
    : dialog_(dialog), count_(count), shown_at_(GetTickCount() - kRepaintInterval) {
    RECT rect{};
    GetClientRect(GetDlgItem(dialog, IDC_PROGRESS_BAR), &rect);
    width_ = rect.right - rect.left;
}

void ProgressBarMover::Done(int files) {
    // MulDiv: the product of a file count and the width can pass 32 bits.
    const int pixels = count_ > 0 ? MulDiv(files, width_, count_) : 0;
    const DWORD now = GetTickCount();
    if (files != count_ && (pixels == shown_pixels_ || now - shown_at_ < kRepaintInterval)) return;
    shown_pixels_ = pixels;
    shown_at_ = now;
    SetProgressPosition(dialog_, files);
}

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG: {
        CenterWindow(dialog);
        SetForegroundWindow(dialog);
        const char* app_name = reinterpret_cast<const char*>(lparam);
        SetCaption(dialog, JoinText({"\"", app_name != nullptr ? app_name : "", "\"", kInstallingSuffix}));
        return TRUE;
    }
    case WM_SYSCOMMAND:
        // No close box, but the command can still come from the keyboard: the dialog hides and
        // the extraction goes on.
        if (wparam == SC_CLOSE) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
