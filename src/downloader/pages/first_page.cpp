// The introductory page: tells the user that the platform must be installed first and will be
// fetched from the Internet. Skips itself when there is nothing to fetch.
#include "downloader/pages/first_page.h"

#include "downloader/download_context.h"
#include "downloader/download_list.h"
#include "resource.h"
#include "ui/dialogs.h"
#include "utils/text.h"

namespace {

const char kTitleSuffix[] = "のインストール開始";
const char kToRun[] = "を動作させる為には";
const char kMustInstall[] = "のインストールを行う必要があります。";
const char kPressNext[] = "インストールを開始するにはインターネットに接続した状態で[次へ]ボタンを押してください。";
const char kPressCancel[] = "インストールの中断を行う場合は[中止]ボタンを押してください。";

void OnInitDialog(HWND page) {
    const TDownloadContext& o = DownloadContext();
    if (!HasDownloadItems() || TotalDownloadSize() == 0) {
        EndDialog(page, IDYES);  // nothing to fetch: the page is not seen
        return;
    }
    CenterWindow(page);
    SetForegroundWindow(page);
    SetCaption(page, o.PlatformName + kTitleSuffix);
    SetItemText(page, IDC_FIRST_TEXT,
                JoinText({o.AppName, kToRun, o.PlatformName, kMustInstall, "\r\n\r\n", kPressNext,
                          "\r\n", kPressCancel}));
}

}  // namespace

bool FirstInit(const std::string&) {
    return false;
}

INT_PTR CALLBACK FirstDlgProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(page);
        return FALSE;  // no default focus
    case WM_ACTIVATE:
        SetFocus(GetDlgItem(page, IDC_FIRST_NEXT));
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wparam) != 0) return TRUE;
        if (LOWORD(wparam) == IDC_FIRST_NEXT) {
            EndDialog(page, IDYES);
            return TRUE;
        }
        if (LOWORD(wparam) == IDC_FIRST_CANCEL) {
            EndDialog(page, IDCANCEL);
            return TRUE;
        }
        return FALSE;  // Escape's IDCANCEL among them: Escape does nothing
    case WM_SYSCOMMAND:
        if (wparam != SC_CLOSE) return FALSE;
        EndDialog(page, IDCANCEL);
        return TRUE;
    case WM_DESTROY:
        EndDialog(page, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
