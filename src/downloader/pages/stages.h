// The module-selection page's two stages: fetching the chosen programs, then running their
// installers one after the other.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "downloader/download_list.h"
#include "downloader/net/http_download.h"

// True when every chosen program is at hand (downloaded now or found in the "downloaded"
// folder, and matching its SHA-256 where the list gives one).
bool DownloadStage(HWND page);
// True when every chosen program counts as installed after its installer ran.
bool InstallStage(HWND page);
// The progress callback of the downloads: bar, byte counter, messages, cancel.
void DownloadProgress(bool& cancel, uint64_t done, uint64_t total, int32_t reserved);
// The error box of a failed download, with the offer of help that fits the failure.
void ShowDownloadError(const TDownloadListProp& record, const TDownloadResult& result);
// The message of that box.
std::string DownloadErrorMessage(const TDownloadListProp& record, const TDownloadResult& result);
// The URL as a message shows it: in lines that fit a box, the middle of a very long one left out.
std::string UrlForMessage(const std::string& url);
// Lets go of the programs' files held from their check until they have run.
void ReleaseHeldFiles();
// How long a download may go without a byte: 30 s, or less where the environment variable
// MARLETH_DOWNLOAD_STALL_MS asks for less (tests, which need not wait that long).
DWORD DownloadStallBound();
