// The module-selection page: the prerequisite programs in a check list, then the download and
// install stages run in the page's own window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "downloader/pages/module_state.h"

// Private to the page: runs the download stage (wParam kStageChoosing, the stage being left) or
// the install stage (wParam kStageDownloading).
constexpr UINT WM_RUNSTAGE = WM_USER + 1;

// The page's dialog procedure.
INT_PTR CALLBACK SelInstallModuleDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
// The page's init: reads the download list from the current profile section (ReadDownloadList)
// and puts the page back to the choosing stage. Always false, as the page has nothing else to
// prepare; the temporary folder is not used.
bool ModulePageInit(const std::string& temp_folder);

// Shows the size of the chosen programs ("N KB") and returns it in bytes.
uint64_t UpdateSelectedSize(HWND page);
