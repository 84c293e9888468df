// State shared by the whole run: the install options, the install status, the shortcut group,
// the hidden main window and the command line.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "package/setting_keys.h"
#include "utils/run_log.h"

struct TStartMenuIcon {
    std::string MenuPath;      // link file name relative to the group folder
    std::string MenuFileName;  // target relative to the install directory
    std::string MenuArgs;
    std::string MenuIconFile;  // icon file relative to the install directory
};

struct TInstallOptions {
    std::string InstallDir;
    std::string AppName;
    std::string TempDir;       // always ends with a backslash
    std::string LastViewFile;
    bool ConfirmOverwrite = false;
    bool KeepFolders = false;
    bool Silent = false;
    bool SilentStart = false;
    int32_t PreExtractedCount = 0;
    std::string ArchivePath;
    uint32_t InstallMode = 0;
    bool ArchiveMode = false;
    std::string Vendor;
    std::string Type;
    std::array<TStartMenuIcon, kMenuEntries> MenuIcons;
    std::string PlatformName;
    std::string Distributor;
    std::string Attr;
    bool WriteRCFile = false;
    std::string RawInstallDir;
    std::string InitialInstallDir;
};

struct TInstallStatus {
    std::string UninstallerPath;
    std::string UninstallInfoPath;
};

extern TInstallOptions InstallOptions;
extern TInstallStatus InstallStatus;
extern std::string ShortcutGroup;
extern HWND MainWindow;

// The program's arguments (without the program name), set once at start-up. The log switches
// (/log, -log, /log=PATH) and /nowait (no box waits: utils/message_box.h SetUnattended; a log is
// written) are taken out wherever they stand: the rest means what it means without them.
void SetCommandLineArguments(std::vector<std::string> arguments);
// What the log switches asked for.
const LogRequest& RequestedLog();
bool HasArgument();
// The first argument, or an empty text when there is none.
std::string FirstArgument();
// True for exactly "-s" or "-s2", the silent switches; any other argument names an archive (a
// path such as C:\dl\my-skin.zip holds "-s" but is no switch).
bool IsSilentSwitch(const std::string& argument);

// The question box (utils/message_box.h) of the package's name in quotes followed by text: the
// id of the pressed button.
int AskAboutPackage(const char* text, UINT flags);
