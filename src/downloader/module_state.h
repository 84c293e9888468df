// The module-selection page's state, shared by the page and its two stages: the stage it is in,
// a cancel request, and the check list's line of each record of the download list.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "ui/kv_list.h"

// The page's stages, in order: the user chooses, the chosen programs are fetched, their
// installers run, and the page is done.
constexpr int kStageChoosing = 0;
constexpr int kStageDownloading = 1;
constexpr int kStageInstalling = 2;
constexpr int kStageDone = 3;

// The page's module-wide state.
struct TModulePage {
    HWND Window = nullptr;
    int ModuleStage = kStageChoosing;
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
