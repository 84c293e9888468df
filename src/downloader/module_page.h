// The module-selection page: the prerequisite programs in a check list, then the download and
// install stages run in the page's own window.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>

#include "ui/kv_list.h"

// Private to the page: runs the download stage (wParam 0) or the install stage (wParam 1).
constexpr UINT WM_RUNSTAGE = WM_USER + 1;

// The page's module-wide state.
struct TModulePage {
    HWND Window = nullptr;
    int ModuleStage = 0;  // 0 choosing, 1 downloading, 2 installing, 3 done
    bool CancelRequested = false;
    // The tree line of each record of the download list, at the record's position; null for a
    // record that got no line.
    TkvList<_TREEITEM> TreeItems;
};

TModulePage& ModulePage();
// Back to the choosing stage, as when the download list is read.
void ResetModulePage();

// The tree line of the record at the position, or null.
HTREEITEM TreeItemAt(int position);
// True when the record at the position has a line in a chosen state.
bool IsChosenAt(HWND tree, int position);
// Lines for the records that are still not installed, checked as their Style says.
void FillCheckTree(HWND tree);
// Shows the size of the chosen programs ("N KB") and returns it in bytes.
int32_t UpdateSelectedSize(HWND page);
