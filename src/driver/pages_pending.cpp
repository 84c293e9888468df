// The introductory and module-selection pages, whose dialog templates are not in the resources
// yet. Showing one fails in DialogBoxParamA (no template), which the page sequence reports; the
// procedures below only give the table its entries and prepare nothing.
#include "driver/dialogs.h"
#include "driver/page_procs.h"

namespace {

INT_PTR PendingPageProc(HWND dialog, UINT message, WPARAM wparam) {
    switch (message) {
    case WM_INITDIALOG:
        CenterWindow(dialog);
        return TRUE;
    case WM_SYSCOMMAND:
        if (wparam == SC_CLOSE) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK FirstDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    return PendingPageProc(dialog, message, wparam);
}
bool FirstInit(const std::string&) {
    return false;
}
INT_PTR CALLBACK SelInstallModuleDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    return PendingPageProc(dialog, message, wparam);
}
bool ReadDownloadList(const std::string&) {
    return false;
}
