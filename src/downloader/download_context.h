// What the download pages take of the installer's run. The installer fills it before it shows
// them; the pages read it and know nothing else of the run.
#pragma once

#include <windows.h>

#include <string>

struct TDownloadContext {
    std::string TempDir;       // the run's temporary folder (trailing backslash): fetched files
    std::string AppName;       // the package's name, for the introductory page
    std::string PlatformName;  // the program that must be installed first, likewise
    HWND Owner = nullptr;      // the window that owns the programs the install stage runs
};

// The run's context, for the whole run.
TDownloadContext& DownloadContext();
