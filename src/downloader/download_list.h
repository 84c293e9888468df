// The download list: the prerequisite programs the setting file names and that are not installed
// yet. The module-selection page fills it; the install-folder page only asks whether it is empty.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TDownloadListProp {
    std::string ViewName;      // the program's line in the tree
    std::string DownloadFile;  // URL of its installer
    std::string Parameter;     // arguments for running the downloaded file
    std::string InstallCheck;  // condition under which the program counts as installed
    int32_t Size = 0;          // bytes, for the size display only
    int32_t Style = 0;         // initial check state of its line
    bool Downloaded = false;   // already in the "downloaded" folder beside the installer
};

// The list for the rest of the run, in reading order.
std::vector<TDownloadListProp>& DownloadList();
// True when the list holds at least one program.
bool HasDownloadItems();
