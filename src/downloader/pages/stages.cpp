// Download and install stages of the module-selection page.
#include "downloader/pages/stages.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "downloader/download_context.h"
#include "downloader/net/http_download.h"
#include "downloader/install_check.h"
#include "downloader/pages/module_state.h"
#include "downloader/support_contact.h"
#include "resource.h"
#include "ui/check_tree.h"
#include "ui/dialogs.h"
#include "ui/tree_view.h"
#include "utils/file_hash.h"
#include "utils/message_box.h"
#include "utils/message_pump.h"
#include "utils/process.h"
#include "utils/run_log.h"
#include "utils/text.h"
#include "utils/unique_any.h"

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
const char kCannotOpen[] = "のファイルを開けないため、実行を中止しました。";
const char kUnsafeFileName[] =
    "のダウンロード先のアドレスが示すファイル名は使えないため、インストールを中止しました。";
const char kEllipsis[] = "…";
const char kSupportPage[] = "/vbk/error.phtml?code=";
const char kCrLf[] = "\r\n";

// The bar counts in the counter's unit, kilobytes of 1024 bytes: a 32-bit range then holds
// sizes far beyond 4 GB.
constexpr uint64_t kKilo = 1024;
// A URL in a message: lines of at most this many bytes (a box, Wine's at least, is about 45
// characters wide and would break a longer line again, at a hyphen), at most this many lines.
constexpr size_t kUrlLineBytes = 40;
constexpr size_t kUrlLines = 6;
constexpr DWORD kStallBoundMs = 30000;
const char kStallVariable[] = "MARLETH_DOWNLOAD_STALL_MS";

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
                             : DownloadContext().TempDir + DownloadFileName(record.DownloadFile);
}

// Holds the program's file and checks it through that handle: a file that does not match its
// published SHA-256 was damaged or altered on the way and is never run.
bool HoldGenuine(const TDownloadListProp& record, UniqueFile& held) {
    held.reset(CreateFileA(LocalPath(record).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!held) {
        ShowError(record.ViewName + kCannotOpen);
        return false;
    }
    if (record.Sha256.empty()) {
        LogLine({"SHA-256 指定なし ", LocalPath(record)});
        return true;
    }
    const bool genuine = HandleSha256(held.get()) == record.Sha256;
    LogLine({"SHA-256 ", genuine ? "一致 " : "不一致 ", LocalPath(record)});
    if (genuine) return true;
    held.reset();
    ShowError(record.ViewName + kNotGenuine);
    return false;
}

// Every chosen program's file name must stay a plain file in the folder it is fetched to (or
// looked for in); checked for all of them before anything is fetched.
bool FileNamesAreSafe(HWND page) {
    const std::vector<TDownloadListProp>& list = DownloadList();
    for (size_t i = 0; i < list.size(); ++i) {
        const TDownloadListProp& record = list[i];
        if (!IsChosenAt(Tree(page), static_cast<int>(i))) continue;
        if (CheckDownloadFileName(DownloadFileName(record.DownloadFile)) ==
            TDownloadNameProblem::kSafe) {
            continue;
        }
        ShowError(JoinText({record.ViewName, kUnsafeFileName, kCrLf,
                            UrlForMessage(record.DownloadFile)}));
        return false;
    }
    return true;
}

// Fetches every chosen program that is not at hand, in list order; stops at the first failure.
bool FetchChosen(HWND page) {
    const std::vector<TDownloadListProp>& list = DownloadList();
    ModulePage().HeldDownloads.clear();
    ModulePage().HeldDownloads.resize(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        const TDownloadListProp& record = list[i];
        if (!IsChosenAt(Tree(page), static_cast<int>(i))) continue;
        if (!record.Downloaded) {
            ShowLine(page, static_cast<int>(i));
            TDownloadOptions options;
            options.expected_size = record.Size;
            options.digest_checked = !record.Sha256.empty();
            options.stall_ms = DownloadStallBound();
            ModulePage().ShownDone = ModulePage().ShownTotal = ~0ull;
            LogLine({"ダウンロード ", record.DownloadFile});
            ModulePage().Received = 0;
            const TDownloadResult result =
                DownloadToFile(LocalPath(record), record.DownloadFile, DownloadProgress, options);
            LogLine({"ダウンロード 結果 ", IntToText(result.code), " ", UInt64ToText(ModulePage().Received),
                     " バイト", result.code != 0 ? " " : "",
                     result.code != 0 ? DownloadFailureText(result) : std::string()});
            if (ModulePage().CancelRequested) {
                ShowError(kDownloadStopped);
                return false;
            }
            if (result.code != 0) {
                ShowDownloadError(record, result);
                return false;
            }
        } else {
            LogLine({"ダウンロード済み ", LocalPath(record)});
        }
        if (!HoldGenuine(record, ModulePage().HeldDownloads[i])) return false;
    }
    return true;
}

// The end of the last whole character that fits in limit bytes from from.
size_t CharactersUpTo(const std::string& text, size_t from, size_t limit) {
    size_t end = from;
    while (end < text.size()) {
        const size_t next = end + (IsLeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1);
        if (next - from > limit || next > text.size()) break;
        end = next;
    }
    return end;
}

// The first character that starts at or after at.
size_t CharacterFrom(const std::string& text, size_t at) {
    size_t start = 0;
    while (start < at && start < text.size()) {
        start += IsLeadByte(static_cast<unsigned char>(text[start])) ? 2 : 1;
    }
    return std::min(start, text.size());
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

    if (!FileNamesAreSafe(page)) return false;
    ThrottledPump pump(page, 0);
    ModulePage().DownloadPump = &pump;
    const bool fetched = FetchChosen(page);
    ModulePage().DownloadPump = nullptr;
    return fetched;
}

void DownloadProgress(bool& cancel, uint64_t done, uint64_t total, int32_t) {
    TModulePage& state = ModulePage();
    state.Received = done;
    if (state.DownloadPump != nullptr && state.DownloadPump->Pump()) state.CancelRequested = true;
    if (state.CancelRequested) {
        cancel = true;
        return;
    }
    if (done == state.ShownDone && total == state.ShownTotal) return;
    HWND page = state.Window;
    const uint64_t total_k = total / kKilo;
    const uint64_t done_k = done / kKilo;
    if (total != state.ShownTotal) {
        SendDlgItemMessageA(page, IDC_MODULE_PROGRESS, PBM_SETRANGE32, 0,
                            static_cast<LPARAM>(std::min<uint64_t>(total_k, INT32_MAX)));
    }
    SendDlgItemMessageA(page, IDC_MODULE_PROGRESS, PBM_SETPOS,
                        static_cast<WPARAM>(std::min<uint64_t>(done_k, INT32_MAX)), 0);
    SetItemText(page, IDC_MODULE_SIZE, JoinText({UInt64ToText(done_k), " K/", UInt64ToText(total_k), " K"}));
    state.ShownDone = done;
    state.ShownTotal = total;
}

std::string UrlForMessage(const std::string& url) {
    std::string shown = url;
    if (url.size() > kUrlLineBytes * kUrlLines) {
        // The start (server and path) and the end (the file's name) tell the user the most.
        const size_t head = CharactersUpTo(url, 0, kUrlLineBytes * (kUrlLines - 2) - 2);
        const size_t tail = CharacterFrom(url, url.size() - (2 * kUrlLineBytes - 2));
        shown = url.substr(0, head) + kEllipsis + url.substr(tail);
    }
    std::string lines;
    for (size_t start = 0; start < shown.size();) {
        const size_t end = CharactersUpTo(shown, start, kUrlLineBytes);
        if (!lines.empty()) lines += kCrLf;
        lines += shown.substr(start, end - start);
        start = end > start ? end : shown.size();
    }
    return lines;
}

std::string DownloadErrorMessage(const TDownloadListProp& record, const TDownloadResult& result) {
    std::string text;
    const TDownloadErrorKind kind = DownloadErrorText(result.code, text);
    const char* offer = kind == dekHelpPage ? kOfferHelp : kind == dekContact ? kOfferContact : "";
    return JoinText({UrlForMessage(record.DownloadFile), kDownloadFailed, kCrLf,
                     DownloadFailureText(result), kCrLf, offer, *offer != '\0' ? kCrLf : "",
                     kErrorCode, IntToText(result.code), ")"});
}

void ReleaseHeldFiles() {
    ModulePage().HeldDownloads.clear();
}

DWORD DownloadStallBound() {
    char text[16] = {};
    const DWORD length = GetEnvironmentVariableA(kStallVariable, text, sizeof text);
    if (length == 0 || length >= sizeof text) return kStallBoundMs;
    const int bound = DigitsToInt(text);
    return bound > 0 && static_cast<DWORD>(bound) < kStallBoundMs ? static_cast<DWORD>(bound)
                                                                   : kStallBoundMs;
}

void ShowDownloadError(const TDownloadListProp& record, const TDownloadResult& result) {
    std::string text;
    const TDownloadErrorKind kind = DownloadErrorText(result.code, text);
    const int32_t code = result.code;
    const std::string message = DownloadErrorMessage(record, result);
    if (kind == dekNotice) {
        ShowError(message);
        return;
    }
    if (ShowConfirm(message, MB_YESNO) != IDYES) return;
    const std::string target =
        kind == dekHelpPage ? JoinText({"http://", kSupportHost, kSupportPage, IntToText(code)})
                            : JoinText({"mailto:", kSupportMail});
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
        const std::string command_line = CommandLineFor(LocalPath(record), record.Parameter);
        const int32_t exit_code = RunAndWait(command_line, DownloadContext().Owner);
        if (i < ModulePage().HeldDownloads.size()) ModulePage().HeldDownloads[i].reset();
        const bool installed = IsProgramInstalled(record.InstallCheck);
        LogLine({"実行 ", command_line, " 終了コード ", IntToText(exit_code),
                 installed ? " インストール済み" : " 未インストール"});
        if (!installed) {
            ShowConfirm(kInstallInterrupted, MB_OK);
            ReleaseHeldFiles();
            return false;
        }
    }
    ReleaseHeldFiles();
    return true;
}
