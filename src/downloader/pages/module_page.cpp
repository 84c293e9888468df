// The module-selection page.
#include "downloader/pages/module_page.h"

#include "downloader/download_list.h"
#include "downloader/pages/stages.h"
#include "resource.h"
#include "ui/check_tree.h"
#include "ui/dialogs.h"
#include "ui/tree_view.h"
#include "utils/message_box.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kPageTitle[] = "インストールプログラムの選択";
const char kChooseDownloads[] = " ダウンロードするプログラムを選択してください。";
const char kChooseInstalls[] = " インストールするプログラムを選択してください。";
const char kKiloBytes[] = " KB";

UniqueImageList g_check_images;

HWND Tree(HWND page) {
    return GetDlgItem(page, IDC_MODULE_TREE);
}

void OnInitDialog(HWND page) {
    TModulePage& state = ModulePage();
    state.Window = page;
    SetMessageOwner(page);
    SetItemText(page, IDC_MODULE_PROMPT, kChooseDownloads);
    SetCaption(page, kPageTitle);
    CenterWindow(page);

    g_check_images.reset(BuildCheckImages());
    AttachCheckTree(Tree(page), g_check_images.get());
    state.TreeItems.Reset();
    FillCheckTree(Tree(page));
    if (!HasDownloadItems()) EndDialog(page, IDYES);  // nothing to fetch: the page is not seen

    if (UpdateSelectedSize(page) == 0) {
        // Everything chosen is at hand already: only installing is left.
        SetItemText(page, IDC_MODULE_PROMPT, kChooseInstalls);
        ShowWindow(GetDlgItem(page, IDC_MODULE_SIZE), SW_HIDE);
        ShowWindow(GetDlgItem(page, IDC_MODULE_SIZE_LABEL), SW_HIDE);
    }
}

void OnNext(HWND page) {
    TModulePage& state = ModulePage();
    if (state.ModuleStage <= kStageDownloading) {
        PostMessageA(page, WM_RUNSTAGE, state.ModuleStage, 0);
    } else {
        EndDialog(page, IDYES);
    }
    ++state.ModuleStage;
}

void OnCancel(HWND page) {
    TModulePage& state = ModulePage();
    if (state.ModuleStage == kStageChoosing || state.ModuleStage == kStageInstalling) {
        EndDialog(page, IDCANCEL);
    } else if (state.ModuleStage == kStageDownloading) {
        state.CancelRequested = true;
    }
}

void OnRunStage(HWND page, WPARAM stage) {
    if (stage > kStageDownloading) return;
    const bool done = stage == kStageChoosing ? DownloadStage(page) : InstallStage(page);
    if (done) {
        SendMessageA(page, WM_COMMAND, IDC_MODULE_NEXT, 0);
    } else {
        EndDialog(page, IDCANCEL);
    }
}

// The check list asks before a line changes and tells after: the choice is frozen from the first
// press of the next button, and the size shown follows the choice.
INT_PTR OnNotify(HWND page, const NMHDR& header) {
    if (header.idFrom != IDC_MODULE_TREE) return FALSE;
    if (header.code == kCheckTreeChanging) {
        const bool refused = ModulePage().ModuleStage != kStageChoosing;
        SetWindowLongPtrA(page, DWLP_MSGRESULT, refused ? TRUE : FALSE);
        return TRUE;
    }
    if (header.code == kCheckTreeChanged) {
        UpdateSelectedSize(page);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

bool ModulePageInit(const std::string& temp_folder) {
    ReadDownloadList(temp_folder);
    ResetModulePage();
    return false;
}

uint64_t UpdateSelectedSize(HWND page) {
    const std::vector<TDownloadListProp>& list = DownloadList();
    uint64_t selected = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        if (IsChosenAt(Tree(page), static_cast<int>(i))) selected += list[i].Size;
    }
    SetItemText(page, IDC_MODULE_SIZE, UInt64ToText(selected / 1024) + kKiloBytes);
    InvalidateRect(GetDlgItem(page, IDC_MODULE_SIZE_LABEL), nullptr, TRUE);
    return selected;
}

INT_PTR CALLBACK SelInstallModuleDlgProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(page);
        return FALSE;  // no default focus
    case WM_ACTIVATE:
        if (LOWORD(wparam) == WA_ACTIVE) {
            SetForegroundWindow(page);
            SetFocus(Tree(page));
        }
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wparam) != 0) return TRUE;
        if (LOWORD(wparam) == IDC_MODULE_NEXT) {
            OnNext(page);
            return TRUE;
        }
        if (LOWORD(wparam) == IDC_MODULE_CANCEL) {
            OnCancel(page);
            return TRUE;
        }
        return FALSE;
    case WM_SYSCOMMAND:
        // While the programs are fetched the close box stops the download as the cancel button
        // does; while their installers run it does nothing.
        if (wparam != SC_CLOSE || ModulePage().ModuleStage > kStageDownloading) return FALSE;
        OnCancel(page);
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, *reinterpret_cast<const NMHDR*>(lparam));
    case WM_RUNSTAGE:
        OnRunStage(page, wparam);
        return TRUE;
    case WM_DESTROY:
        ReleaseHeldFiles();
        g_check_images.reset();
        ModulePage().TreeItems.Reset();
        return FALSE;
    default:
        return FALSE;
    }
}
