// Loading the install options: temporary folder, pre-extraction, options section, pages.
#include "driver/options.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "archive/seal.h"
#include "archive/zarchive.h"
#include "driver/globals.h"
#include "driver/install_log.h"
#include "driver/macros.h"
#include "driver/pages.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/profile.h"
#include "utils/run_log.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kTempFolderFailed[] = "テンポラリフォルダの作成に失敗しました。";
// The damaged file's path goes on a line of its own, between the two halves.
const char kBrokenSeal[] = "ファイルが壊れているか、改変されています。\r\n";
const char kBrokenSealEnd[] = "\r\nインストールを中止します。\r\nもう一度ダウンロードしてください。";
const char kNoAppName[] = "*(character not set)*";
constexpr int kRunFolderAttempts = 100;
const char kRunFolderPrefix[] = "$$TMP$$";
// A file in the run folder that the run holds open, without sharing deletion, until Teardown:
// the folder is live as long as nobody can delete it.
const char kLiveMarkerName[] = "_$$$running$$$_";

UniqueFile g_live_marker;
UniqueFile g_held_archive;

// A new folder under the temporary path, named "$$TMP$$" and the tick count, never one that
// exists already (whoever made it may control what is in it): a name that is taken is followed
// by the next number. Empty when the temporary path does not fit (the folder would otherwise
// land in the current folder) or nothing can be created.
std::string CreateRunFolder() {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return {};
    uint32_t number = GetTickCount();
    for (int attempt = 0; attempt < kRunFolderAttempts; ++attempt, ++number) {
        const std::string folder =
            std::string(temp) + kRunFolderPrefix + std::to_string(number) + "\\";
        if (CreateFolder(folder)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

// Marks the run's folder as live for the whole run (the stale-folder sweep of other runs leaves
// it alone). Without the mark the run goes on: a day later its folder may go.
void MarkRunFolderLive(const std::string& folder) {
    g_live_marker.reset(CreateFileA((folder + kLiveMarkerName).c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
}

// True while a run holds the folder's marker: it cannot be opened for deletion.
bool IsLiveRunFolder(const std::string& folder) {
    UniqueFile marker(CreateFileA((AddBackslash(folder) + kLiveMarkerName).c_str(), DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return !marker && GetLastError() == ERROR_SHARING_VIOLATION;
}

// Ours beyond doubt: "$$TMP$$" followed by a decimal number and nothing else.
bool IsRunFolderName(const std::string& name) {
    const size_t prefix = sizeof kRunFolderPrefix - 1;
    if (name.size() <= prefix || name.compare(0, prefix, kRunFolderPrefix) != 0) return false;
    return name.find_first_not_of("0123456789", prefix) == std::string::npos;
}

uint64_t AsNumber(const FILETIME& time) {
    return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

void ReadMenuIcons() {
    for (int n = 0; n < 10; ++n) {
        const std::string index = IntToText(n);
        TStartMenuIcon& icon = InstallOptions.MenuIcons[n];
        icon.MenuPath = ReadProfileString("MenuPath_" + index, "");
        icon.MenuFileName = ReadProfileString("MenuFileName_" + index, "");
        icon.MenuArgs = ReadProfileString("MenuArgs_" + index, "");
        icon.MenuIconFile = ReadProfileString("MenuIconFile_" + index, "");
        if (icon.MenuPath.empty()) break;
    }
}

}  // namespace

void RemoveStaleTemporaryFolders(const std::string& temp_path) {
    // Without a temporary path there is nothing to sweep: an empty one would make the search
    // below look at the root of the current drive.
    if (temp_path.empty()) return;
    // A run ends by deleting its folder; one still there a day after it was last touched, and
    // not marked live, belongs to a run that was killed.
    constexpr uint64_t kDay = 24ULL * 60 * 60 * 10000000;  // in 100-ns units
    FILETIME now_time{};
    GetSystemTimeAsFileTime(&now_time);
    const uint64_t now = AsNumber(now_time);
    const std::string base = AddBackslash(temp_path);
    std::vector<std::string> stale;
    WIN32_FIND_DATAA entry;
    {
        UniqueFindHandle search(FindFirstFileA((base + kRunFolderPrefix + "*").c_str(), &entry));
        if (!search) return;
        do {
            // A folder's last-write time moves whenever a file is added to it or removed.
            const uint64_t touched = AsNumber(entry.ftLastWriteTime);
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                IsRunFolderName(entry.cFileName) && touched + kDay < now) {
                stale.push_back(base + entry.cFileName);
            }
        } while (FindNextFileA(search.get(), &entry));
    }
    for (const std::string& folder : stale) {
        if (!IsLiveRunFolder(folder)) DeleteTree(folder);
    }
}

HANDLE HeldArchiveFile() {
    return g_held_archive ? g_held_archive.get() : INVALID_HANDLE_VALUE;
}

void ReleaseRunFiles() {
    g_live_marker.reset();
    g_held_archive.reset();
}

bool LoadInstallOptions() {
    TInstallOptions& o = InstallOptions;
    o.ArchiveMode = 0;
    o.PreExtractedCount = 1;
    o.AppName.clear();
    o.InstallDir.clear();
    o.TempDir.clear();

    const std::string argument = FirstArgument();
    if (!argument.empty() && !IsSilentSwitch(argument)) {
        o.ArchivePath = argument;
        o.ArchiveMode = 1;
    } else {
        o.ArchivePath = OwnProgramPath();
    }
    StartInstallLog(o.ArchivePath);
    // The archive's file is held from here to the end of the run, and read through that
    // handle: the file whose seal is checked is the file that is extracted.
    if (!TZlibArchiver::HoldArchiveFile(o.ArchivePath, g_held_archive)) return false;
    // A sealed package is checked whole before anything is shown or written: a damaged or
    // altered download must not get as far as the pages, let alone the disk.
    const SealState seal = CheckArchiveSeal(g_held_archive.get());
    LogLine(std::string("封印 ") + (seal == SealState::kIntact   ? "一致"
                                    : seal == SealState::kBroken ? "不一致"
                                                                 : "なし"));
    if (seal == SealState::kBroken) {
        ShowError(kBrokenSeal + o.ArchivePath + kBrokenSealEnd);
        return false;
    }

    char temp_path[MAX_PATH + 1] = {};
    const DWORD temp_length = GetTempPathA(sizeof temp_path, temp_path);
    if (temp_length != 0 && temp_length < sizeof temp_path) RemoveStaleTemporaryFolders(temp_path);
    const std::string temp = CreateRunFolder();
    if (temp.empty()) {
        ShowError(kTempFolderFailed);
        return false;
    }
    o.TempDir = temp;
    MarkRunFolderLive(temp);

    if (!PreExtract(o.TempDir)) return false;

    const std::string setting_file = o.TempDir + kSettingFileName;
    SelectProfile(setting_file, "options");
    o.RawInstallDir = o.ArchiveMode ? OwnProgramFolder() : ReadProfileString("DefaultInstallDir", "");
    o.InstallMode = static_cast<uint32_t>(ReadProfileInt("InstallMode", 0));
    o.InstallDir = ExpandFolderMacros(o.RawInstallDir, true);
    if (o.InstallDir == "\\") o.InstallDir.clear();
    o.InitialInstallDir = o.InstallDir;
    o.AppName = ReadProfileString("AppName", kNoAppName);
    o.LastViewFile = o.TempDir + FileNameOf(ReadProfileString("LastViewText", ""));
    if (o.LastViewFile == o.TempDir) o.LastViewFile.clear();
    o.Vendor = ReadProfileString("Vendor", "");
    o.Type = ReadProfileString("Type", "");
    o.PlatformName = ReadProfileString("Marlethware", "Ombrevine");
    ShortcutGroup = ReadProfileString("shortcut_group", kDefaultShortcutGroup);
    o.Distributor = ReadProfileString("Distributor", "calderex");
    o.Attr = ReadProfileString("Attr", "");
    o.WriteRCFile = ReadProfileInt("WriteRCFile", 0) != 0 ? 1 : 0;
    ReadMenuIcons();

    BuildPageSequence(setting_file, o.TempDir);
    return true;
}
