// The download list: the prerequisite programs the setting file names that are not installed
// yet, read when the page sequence is prepared and kept for the rest of the run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "package/download_name.h"

struct TDownloadListProp {
    std::string ViewName;      // the program's line in the tree
    std::string DownloadFile;  // URL of its installer
    std::string Parameter;     // arguments for running the downloaded file
    std::string InstallCheck;  // condition under which the program counts as installed
    uint64_t Size = 0;         // bytes, for the size display only (an author's figure)
    int32_t Style = 0;         // initial check state of its line
    bool Downloaded = false;   // already in the "downloaded" folder beside the installer
    std::string Sha256;        // expected SHA-256 of the file (lower-case hex), or empty
};

// The list for the rest of the run, in reading order.
std::vector<TDownloadListProp>& DownloadList();

// Reads the list from the current profile section (DLViewName_0, ... up to the first empty
// name), leaving out the programs that are installed already. The temporary folder is not used.
// Always false (the module page's init passes it on).
bool ReadDownloadList(const std::string& temp_folder);
void FreeDownloadList();
// True when the list holds at least one program.
bool HasDownloadItems();
// Sum of the sizes of all listed programs.
uint64_t TotalDownloadSize();

// Where a file of the URL is looked for before it is fetched: the "downloaded" folder beside
// the installer.
std::string DownloadedPath(const std::string& url);
// True when that file exists.
bool IsDownloaded(const std::string& url);
