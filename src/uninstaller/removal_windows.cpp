// The progress dialog and the list window.
#include "uninstaller/removal_windows.h"

#include <commctrl.h>

#include <algorithm>

#include "uninstaller/uninstaller_resource.h"
#include "utils/message_box.h"
#include "utils/shown_text.h"
#include "utils/system_libraries.h"
#include "utils/text.h"

namespace {

const char kInterruptedMark[] = "（中断されたインストール）";
const char kRemovingTitle[] = " 削除中";
const char kNameColumn[] = "名前";
const char kFolderColumn[] = "フォルダ";
// The bar moves (and the windows are kept alive) at most this often, in ms: a step of a small
// file is far shorter than a message to another window.
constexpr DWORD kMoveInterval = 20;
constexpr DWORD kFullBarPause = 500;  // ms

// How a control of the list window follows its size: moved with the right or bottom edge, or
// stretched with it.
enum Anchor : unsigned { kMoveX = 1, kMoveY = 2, kGrowX = 4, kGrowY = 8 };
struct AnchoredControl {
    int id;
    unsigned anchor;
};
constexpr AnchoredControl kListLayout[] = {
    {IDC_UNINSTALL_LIST, kGrowX | kGrowY},
    {IDC_LIST_RULE_DARK, kMoveY | kGrowX},
    {IDC_LIST_RULE_LIGHT, kMoveY | kGrowX},
    {IDOK, kMoveX | kMoveY},
    {IDCANCEL, kMoveX | kMoveY},
};
constexpr size_t kLaidOut = sizeof kListLayout / sizeof kListLayout[0];

// The state of the list window, passed through its creation parameter.
struct ListState {
    ListActions* actions;
    std::vector<Installation> installations;
    RECT first_client{};            // the client area as the template made it
    RECT first_window{};            // the window as the template made it: its smallest size
    RECT first_controls[kLaidOut]{};  // each laid-out control, in client coordinates
};

void AddColumn(HWND list, int index, const char* title) {
    std::wstring shown = ShownText(title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_SUBITEM;
    column.pszText = shown.data();
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

// The names as wide as they are, but never more than half the list, so that the folders start in
// sight; the folders as wide as theirs, at least the rest of the list (longer ones scroll).
void SizeColumns(HWND list) {
    RECT area{};
    GetClientRect(list, &area);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
    if (SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0) > area.right / 2) {
        SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, area.right / 2);
    }
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE);
    const int rest = area.right - static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0));
    if (SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0) < rest) {
        SendMessageA(list, LVM_SETCOLUMNWIDTH, 1, rest);
    }
}

void RememberLayout(HWND dialog, ListState& state) {
    GetClientRect(dialog, &state.first_client);
    GetWindowRect(dialog, &state.first_window);
    for (size_t i = 0; i < kLaidOut; ++i) {
        RECT& rect = state.first_controls[i];
        GetWindowRect(GetDlgItem(dialog, kListLayout[i].id), &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    }
}

// Moves and stretches the controls by what the client area gained over the template's.
void Relayout(HWND dialog, const ListState& state) {
    RECT client{};
    GetClientRect(dialog, &client);
    const int dx = std::max(0L, client.right - state.first_client.right);
    const int dy = std::max(0L, client.bottom - state.first_client.bottom);
    for (size_t i = 0; i < kLaidOut; ++i) {
        const RECT& first = state.first_controls[i];
        const unsigned anchor = kListLayout[i].anchor;
        const int x = first.left + ((anchor & kMoveX) != 0 ? dx : 0);
        const int y = first.top + ((anchor & kMoveY) != 0 ? dy : 0);
        const int width = first.right - first.left + ((anchor & kGrowX) != 0 ? dx : 0);
        const int height = first.bottom - first.top + ((anchor & kGrowY) != 0 ? dy : 0);
        MoveWindow(GetDlgItem(dialog, kListLayout[i].id), x, y, width, height, TRUE);
    }
    SizeColumns(GetDlgItem(dialog, IDC_UNINSTALL_LIST));
}

void FillList(HWND dialog, const ListState& state) {
    const HWND list = GetDlgItem(dialog, IDC_UNINSTALL_LIST);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < state.installations.size(); ++i) {
        const Installation& installation = state.installations[i];
        std::wstring name = ShownText(ListedName(installation));
        std::wstring folder = ShownPath(installation.ShownFolder());
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = name.data();
        const int row = static_cast<int>(
            SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        item.iItem = row;
        item.iSubItem = 1;
        item.pszText = folder.data();
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
    }
    SizeColumns(list);
    LVITEMA chosen{};
    chosen.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    chosen.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&chosen));
}

void InitList(HWND dialog, ListState& state) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
    RememberLayout(dialog, state);
    const HWND list = GetDlgItem(dialog, IDC_UNINSTALL_LIST);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddColumn(list, 0, kNameColumn);
    AddColumn(list, 1, kFolderColumn);
    FillList(dialog, state);
}

// The chosen row: asks the flow to remove it, then lists what is left (and closes when nothing is).
void RemoveChosen(HWND dialog, ListState& state) {
    const HWND list = GetDlgItem(dialog, IDC_UNINSTALL_LIST);
    const int row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                  LVNI_SELECTED));
    if (row < 0 || static_cast<size_t>(row) >= state.installations.size()) return;
    state.actions->Remove(state.installations[static_cast<size_t>(row)], dialog);
    state.installations = state.actions->Current();
    if (state.installations.empty()) {
        EndDialog(dialog, IDOK);
        return;
    }
    FillList(dialog, state);
}

void EnableRemove(HWND dialog) {
    const HWND list = GetDlgItem(dialog, IDC_UNINSTALL_LIST);
    const bool chosen = SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
    EnableWindow(GetDlgItem(dialog, IDOK), chosen ? TRUE : FALSE);
}

INT_PTR CALLBACK ListDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* state = reinterpret_cast<ListState*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            InitList(dialog, *reinterpret_cast<ListState*>(lparam));
            SetMessageOwner(dialog);
            return TRUE;
        case WM_SIZE:
            if (state != nullptr) Relayout(dialog, *state);
            return TRUE;
        case WM_GETMINMAXINFO:
            if (state != nullptr) {
                auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
                limits->ptMinTrackSize.x = state->first_window.right - state->first_window.left;
                limits->ptMinTrackSize.y = state->first_window.bottom - state->first_window.top;
            }
            return TRUE;
        case WM_NOTIFY:
            if (reinterpret_cast<const NMHDR*>(lparam)->code == LVN_ITEMCHANGED) EnableRemove(dialog);
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK && state != nullptr) {
                RemoveChosen(dialog, *state);
            } else if (LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK ProgressDlgProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

}  // namespace

std::string ListedName(const Installation& installation) {
    return installation.kind == InstallationKind::kInterrupted
               ? installation.app_name + kInterruptedMark
               : installation.app_name;
}

ProgressWindow::ProgressWindow(HWND owner, const std::string& title) : owner_(owner) {
    EnsureCommonControls();
    dialog_.reset(CreateDialogParamW(GetModuleHandleW(nullptr),
                                     MAKEINTRESOURCEW(IDD_REMOVAL_PROGRESS), owner,
                                     ProgressDlgProc, 0));
    if (!dialog_) return;
    SetShownText(dialog_.get(), Quoted(title) + kRemovingTitle);
    if (owner_ != nullptr) EnableWindow(owner_, FALSE);
    ProcessMessages(dialog_.get());
}

ProgressWindow::~ProgressWindow() {
    if (dialog_) {
        // The full bar stays on screen for a moment, as the installer's does.
        RedrawWindow(dialog_.get(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        Sleep(kFullBarPause);
    }
    if (owner_ != nullptr) EnableWindow(owner_, TRUE);
    dialog_.reset();
}

void ProgressWindow::Start(size_t steps) {
    steps_ = steps;
    if (!dialog_) return;
    SendDlgItemMessageA(dialog_.get(), IDC_REMOVAL_BAR, PBM_SETRANGE32, 0,
                        static_cast<LPARAM>(steps > 0 ? steps : 1));
    moved_at_ = GetTickCount();
    ProcessMessages(dialog_.get());
}

void ProgressWindow::Step(size_t done) {
    if (!dialog_) return;
    const DWORD now = GetTickCount();
    if (done != steps_ && now - moved_at_ < kMoveInterval) return;
    moved_at_ = now;
    SendDlgItemMessageA(dialog_.get(), IDC_REMOVAL_BAR, PBM_SETPOS, static_cast<WPARAM>(done), 0);
    ProcessMessages(dialog_.get());
}

void ShowInstallationList(ListActions& actions) {
    EnsureCommonControls();
    ListState state{&actions, actions.Current()};
    if (state.installations.empty()) return;
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_UNINSTALL_LIST), nullptr,
                    ListDlgProc, reinterpret_cast<LPARAM>(&state));
    SetMessageOwner(nullptr);
}
