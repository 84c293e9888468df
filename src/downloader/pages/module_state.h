// The module-selection page's state, shared by the page and its two stages: the stage it is in,
// a cancel request, and the check list's line of each record of the download list.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "ui/kv_list.h"
#include "utils/message_pump.h"
#include "utils/unique_any.h"

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
    // While a download runs: the pump its progress drives (a press of the cancel button is seen
    // at once; a quit message stops the download like the button), and the bytes it has
    // received, for the run's log.
    ThrottledPump* DownloadPump = nullptr;
    uint64_t Received = 0;
    // What the counter shows, so that it is written only when it changes.
    uint64_t ShownDone = ~0ull;
    uint64_t ShownTotal = ~0ull;
    // Each chosen program's file, from its check until its program has run: held for reading
    // with read sharing only, so that nobody can change, replace or delete what was checked.
    std::vector<UniqueFile> HeldDownloads;
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
