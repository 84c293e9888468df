// The module-selection page's two stages: fetching the chosen programs, then running their
// installers one after the other.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "downloader/download_list.h"

// True when every chosen program is at hand (downloaded now or found in the "downloaded"
// folder, and matching its SHA-256 where the list gives one).
bool DownloadStage(HWND page);
// True when every chosen program counts as installed after its installer ran.
bool InstallStage(HWND page);
// The progress callback of the downloads: bar, byte counter, messages, cancel.
void DownloadProgress(bool& cancel, int32_t done, int32_t total, int32_t reserved);
// The error box of a failed download, with the offer of help that fits the failure.
void ShowDownloadError(const TDownloadListProp& record, int32_t code);
// The message of that box.
std::string DownloadErrorMessage(const TDownloadListProp& record, int32_t code);
