// Download and install stages of the module-selection page.
#include "downloader/stages.h"

#include <commctrl.h>
#include <shellapi.h>

#include "downloader/check_tree.h"
#include "downloader/http_download.h"
#include "downloader/install_check.h"
#include "downloader/module_page.h"
#include "downloader/support_contact.h"
#include "driver/dialogs.h"
#include "driver/globals.h"
#include "resource.h"
#include "ui/tree_view.h"
#include "utils/file_hash.h"
#include "utils/message_box.h"
#include "utils/message_pump.h"
#include "utils/process.h"
#include "utils/text.h"

namespace {

const char kDownloading[] = "必要なプログラムをダウンロード中です。";
const char kDownloadStopped[] = "ダウンロードを中止しました。";
const char kInstalling[] =
    "各プログラムのインストール中です。\r\n画面の指示に従ってインストールを進めてください。";
const char kInstallInterrupted[] = "インストールを中断しました。";
const char kDownloadFailed[] = "ダウンロード中にエラーが発生しました。";
const char kOfferHelp[] = " エラー解決の為の情報を表示しますか？";
const char kOfferContact[] =
    "サーバで問題が発生している可能性があります。サポート係への問い合わせを行いますか？";
const char kErrorCode[] = "(エラーコード=";
const char kNotGenuine[] =
    "のファイルが正しくありません。\r\n配布元のファイルと一致しないため、実行を中止しました。";
const char kSupportPage[] = "/vbk/error.phtml?code=";
const char kCrLf[] = "\r\n";

constexpr int32_t kBarUnit = 10000;  // the bar counts in units of 10,000 bytes

// The pump of the running download. Every block is followed by a pump (a block is large enough
// to pay for it), so that a press of the cancel button is seen at the next block; a quit message
// (the main window was destroyed) stops the download like the cancel button.
ThrottledPump* g_download_pump = nullptr;

HWND Tree(HWND page) {
    return GetDlgItem(page, IDC_MODULE_TREE);
}

// Makes the program's line current, so that the user sees which one is being worked on.
void ShowLine(HWND page, int position) {
    HWND tree = Tree(page);
    TreeSelectCaret(tree, TreeItemAt(position));
    InvalidateRect(tree, nullptr, TRUE);
    SetFocus(tree);
}

// Where the program's file is: the "downloaded" folder, or the temporary folder it is fetched to.
std::string LocalPath(const TDownloadListProp& record) {
    return record.Downloaded ? DownloadedPath(record.DownloadFile)
                             : InstallOptions.TempDir + DownloadFileName(record.DownloadFile);
}

// A file that does not match its published SHA-256 was damaged or altered on the way: it is
// never run.
bool IsGenuine(const TDownloadListProp& record) {
    if (record.Sha256.empty() || FileSha256(LocalPath(record)) == record.Sha256) return true;
    ShowError(record.ViewName + kNotGenuine);
    return false;
}

// Fetches every chosen program that is not at hand, in list order; stops at the first failure.
bool FetchChosen(HWND page) {
    const std::vector<TDownloadListProp>& list = DownloadList();
    for (size_t i = 0; i < list.size(); ++i) {
        const TDownloadListProp& record = list[i];
        if (!IsChosenAt(Tree(page), static_cast<int>(i))) continue;
        if (!record.Downloaded) {
            ShowLine(page, static_cast<int>(i));
            const int32_t code = DownloadToFile(LocalPath(record), record.DownloadFile, DownloadProgress);
            if (ModulePage().CancelRequested) {
                ShowError(kDownloadStopped);
                return false;
            }
            if (code != 0) {
                ShowDownloadError(record, code);
                return false;
            }
        }
        if (!IsGenuine(record)) return false;
    }
    return true;
}

}  // namespace

bool DownloadStage(HWND page) {
    ModulePage().CancelRequested = false;
    ShowWindow(GetDlgItem(page, IDC_MODULE_PROGRESS), SW_SHOW);
    ShowWindow(GetDlgItem(page, IDC_MODULE_SIZE_LABEL), SW_HIDE);
    SetItemText(page, IDC_MODULE_PROMPT, kDownloading);
    SetItemText(page, IDC_MODULE_SIZE, "");
    EnableWindow(GetDlgItem(page, IDC_MODULE_NEXT), FALSE);
    InvalidateRect(page, nullptr, TRUE);

    ThrottledPump pump(page, 0);
    g_download_pump = &pump;
    const bool fetched = FetchChosen(page);
    g_download_pump = nullptr;
    return fetched;
}

void DownloadProgress(bool& cancel, int32_t done, int32_t total, int32_t) {
    TModulePage& state = ModulePage();
    if (state.CancelRequested) cancel = true;
    HWND page = state.Window;
    SendDlgItemMessageA(page, IDC_MODULE_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, total / kBarUnit));
    SendDlgItemMessageA(page, IDC_MODULE_PROGRESS, PBM_SETPOS, done / kBarUnit, 0);
    SetItemText(page, IDC_MODULE_SIZE,
                IntToText(done / 1024) + " K/" + IntToText(total / 1024) + " K");
    if (g_download_pump != nullptr && g_download_pump->Pump()) state.CancelRequested = true;
}

std::string DownloadErrorMessage(const TDownloadListProp& record, int32_t code) {
    std::string text;
    const TDownloadErrorKind kind = DownloadErrorText(code, text);
    std::string message = record.DownloadFile + kDownloadFailed + kCrLf + text + kCrLf;
    if (kind == dekHelpPage) message += std::string(kOfferHelp) + kCrLf;
    if (kind == dekContact) message += std::string(kOfferContact) + kCrLf;
    return message + kErrorCode + IntToText(code) + ")";
}

void ShowDownloadError(const TDownloadListProp& record, int32_t code) {
    std::string text;
    const TDownloadErrorKind kind = DownloadErrorText(code, text);
    const std::string message = DownloadErrorMessage(record, code);
    if (kind == dekNotice) {
        ShowError(message);
        return;
    }
    if (ShowConfirm(message, MB_YESNO) != IDYES) return;
    const std::string target = kind == dekHelpPage
                                   ? std::string("http://") + kSupportHost + kSupportPage + IntToText(code)
                                   : std::string("mailto:") + kSupportMail;
    ShellExecuteA(ModulePage().Window, "open", target.c_str(), nullptr, nullptr, SW_SHOW);
}

bool InstallStage(HWND page) {
    ModulePage().CancelRequested = false;
    EnableWindow(GetDlgItem(page, IDC_MODULE_CANCEL), FALSE);
    ShowWindow(GetDlgItem(page, IDC_MODULE_PROGRESS), SW_HIDE);
    SetItemText(page, IDC_MODULE_PROMPT, kInstalling);
    SetItemText(page, IDC_MODULE_SIZE, "");
    InvalidateRect(page, nullptr, TRUE);

    const std::vector<TDownloadListProp>& list = DownloadList();
    for (size_t i = 0; i < list.size(); ++i) {
        const TDownloadListProp& record = list[i];
        if (!IsChosenAt(Tree(page), static_cast<int>(i))) continue;
        ShowLine(page, static_cast<int>(i));
        EnableWindow(GetDlgItem(page, IDC_MODULE_NEXT), FALSE);
        RunAndWait(CommandLineFor(LocalPath(record), record.Parameter), MainWindow);
        if (!IsProgramInstalled(record.InstallCheck)) {
            ShowConfirm(kInstallInterrupted, MB_OK);
            return false;
        }
    }
    return true;
}
