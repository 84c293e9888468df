// The install-folder page: shows the install directory and lets the user keep it, type another
// existing folder or pick one with the shell's folder browser.
#include "downloader/download_list.h"
#include "driver/pages/page_procs.h"
#include "resource.h"
#include "ui/dialogs.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/shown_text.h"
#include "utils/text.h"

namespace {

const char kNotAFolder[] = "正しいフォルダを指定してください";
const char kNotInCodePage[] =
    "フォルダ名に、このシステムで使えない文字が含まれています。別のフォルダを指定してください";

constexpr size_t kMaxFieldBytes = 259;  // what the field ever held: a path within MAX_PATH

void OnInitDialog(HWND page) {
    CenterWindow(page);
    SetShownPath(GetDlgItem(page, IDC_FOLDER_PATH), FolderOfNoSlash(PageContext().InstallDir));
    SetMessageOwner(page);
    // Prerequisites are installed first: the folder is asked for when the package is run again.
    if (HasDownloadItems()) EndDialog(page, IDYES);
}

// Only an existing folder is accepted, stored as typed (with or without a final backslash) in
// the system's code page; a name that code page cannot hold is refused, never turned into "?".
void OnOk(HWND page) {
    std::string folder;
    if (!TypedSystemText(GetDlgItem(page, IDC_FOLDER_PATH), folder)) {
        ShowError(kNotInCodePage);
        SetForegroundWindow(page);
        return;
    }
    if (!folder.empty() && folder.size() <= kMaxFieldBytes && FolderExists(folder)) {
        PageContext().InstallDir = folder;
        EndDialog(page, IDYES);
        return;
    }
    ShowError(kNotAFolder);
    SetForegroundWindow(page);
}

void OnBrowse(HWND page) {
    HWND field = GetDlgItem(page, IDC_FOLDER_PATH);
    std::string folder;
    TypedSystemText(field, folder);  // a field the code page cannot hold starts nowhere
    std::wstring chosen;
    if (BrowseForFolder(PageContext().Owner, folder, chosen)) {
        SetWindowTextW(field, chosen.c_str());
        SetFocus(field);
        const LRESULT length = SendMessageA(field, EM_LINELENGTH, 0, 0);
        SendMessageA(field, EM_SETSEL, length, length);
    }
    SetForegroundWindow(page);
}

INT_PTR OnCommand(HWND page, WPARAM wparam) {
    if (HIWORD(wparam) != 0) return FALSE;  // only buttons and keys
    switch (LOWORD(wparam)) {
    case IDC_FOLDER_OK:
        OnOk(page);
        return TRUE;
    case IDC_FOLDER_CANCEL:
        EndDialog(page, IDCANCEL);
        return TRUE;
    case IDC_FOLDER_BROWSE:
        OnBrowse(page);
        return TRUE;
    default:  // Escape's IDCANCEL among them: Escape does nothing
        return FALSE;
    }
}

}  // namespace

bool FolderInit(const std::string&) {
    return true;
}

INT_PTR CALLBACK FolderDlgProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(page);
        return TRUE;  // the dialog manager focuses the field
    case WM_ACTIVATE:
        SetFocus(GetDlgItem(page, IDC_FOLDER_PATH));
        return FALSE;
    case WM_COMMAND:
        return OnCommand(page, wparam);
    case WM_SYSCOMMAND:
        if (wparam == SC_CLOSE) EndDialog(page, IDCANCEL);
        return FALSE;
    default:
        return FALSE;
    }
}
