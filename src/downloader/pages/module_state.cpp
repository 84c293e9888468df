// The module-selection page's state and the check list's lines of the download list.
#include "downloader/pages/module_state.h"

#include "downloader/download_list.h"
#include "downloader/install_check.h"
#include "ui/check_tree.h"

TModulePage& ModulePage() {
    static TModulePage page;
    return page;
}

void ResetModulePage() {
    ModulePage().ModuleStage = kStageChoosing;
}

HTREEITEM TreeItemAt(int position) {
    return ModulePage().TreeItems.Get(position);
}

bool IsChosenAt(HWND tree, int position) {
    return IsChosen(GetCheckState(tree, TreeItemAt(position)));
}

void FillCheckTree(HWND tree) {
    TkvList<_TREEITEM>& items = ModulePage().TreeItems;
    for (const TDownloadListProp& record : DownloadList()) {
        // Installed since the list was read (by an earlier prerequisite, say): no line, but the
        // record keeps its position, so that every later record stays with its own line.
        if (IsProgramInstalled(record.InstallCheck)) {
            items.Add(nullptr);
            continue;
        }
        HTREEITEM line = TreeInsertLine(tree, record.ViewName);
        items.Add(line);
        if (record.Style >= kChecked && record.Style <= kFixed) {
            SetCheckState(tree, line, record.Style);
        }
    }
}
