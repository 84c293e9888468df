// Loading the install options: temporary folder, pre-extraction, options section, pages.
#include "driver/flow/options.h"

#include <windows.h>

#include <cstdint>

#include "archive/seal.h"
#include "driver/flow/globals.h"
#include "driver/flow/install_log.h"
#include "driver/flow/macros.h"
#include "driver/pages/page_sequence.h"
#include "driver/run/run_files.h"
#include "package/setting_keys.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/process.h"
#include "utils/profile.h"
#include "utils/run_log.h"
#include "utils/text.h"

namespace {

const char kTempFolderFailed[] = "テンポラリフォルダの作成に失敗しました。";
// The damaged file's path goes on a line of its own, between the two halves.
const char kBrokenSeal[] = "ファイルが壊れているか、改変されています。\r\n";
const char kBrokenSealEnd[] = "\r\nインストールを中止します。\r\nもう一度ダウンロードしてください。";
const char kNoAppName[] = "*(character not set)*";

void ReadMenuIcons() {
    for (int n = 0; n < kMenuEntries; ++n) {
        const std::string index = IntToText(n);
        TStartMenuIcon& icon = InstallOptions.MenuIcons[n];
        std::string* const fields[] = {&icon.MenuPath, &icon.MenuFileName, &icon.MenuArgs,
                                       &icon.MenuIconFile};
        const char* const keys[] = {kMenuPathKey, kMenuFileNameKey, kMenuArgsKey, kMenuIconFileKey};
        for (int field = 0; field < 4; ++field) {
            *fields[field] = ReadProfileString(keys[field] + index, "");
        }
        if (icon.MenuPath.empty()) break;
    }
}

}  // namespace

bool LoadInstallOptions() {
    TInstallOptions& o = InstallOptions;
    o.ArchiveMode = false;
    o.PreExtractedCount = 1;
    o.AppName.clear();
    o.InstallDir.clear();
    o.TempDir.clear();

    const std::string argument = FirstArgument();
    if (!argument.empty() && !IsSilentSwitch(argument)) {
        o.ArchivePath = argument;
        o.ArchiveMode = true;
    } else {
        o.ArchivePath = OwnProgramPath();
    }
    StartInstallLog(o.ArchivePath);
    // The archive's file is held from here to the end of the run, and read through that
    // handle: the file whose seal is checked is the file that is extracted.
    if (!HoldRunArchive(o.ArchivePath)) return false;
    // A sealed package is checked whole before anything is shown or written: a damaged or
    // altered download must not get as far as the pages, let alone the disk.
    const SealState seal = CheckArchiveSeal(HeldArchiveFile());
    LogLine(std::string("封印 ") + (seal == SealState::kIntact   ? "一致"
                                    : seal == SealState::kBroken ? "不一致"
                                                                 : "なし"));
    if (seal == SealState::kBroken) {
        ShowError(kBrokenSeal, o.ArchivePath, kBrokenSealEnd);
        return false;
    }

    char temp_path[MAX_PATH + 1] = {};
    const DWORD temp_length = GetTempPathA(sizeof temp_path, temp_path);
    if (temp_length != 0 && temp_length < sizeof temp_path) RemoveStaleTemporaryFolders(temp_path);
    const std::string temp = CreateLiveRunFolder();
    if (temp.empty()) {
        ShowError(kTempFolderFailed);
        return false;
    }
    o.TempDir = temp;

    if (!PreExtract(o.TempDir)) return false;

    const std::string setting_file = o.TempDir + kSettingFileName;
    SelectProfile(setting_file, kOptionsSection);
    o.RawInstallDir = o.ArchiveMode ? OwnProgramFolder() : ReadProfileString(kDefaultInstallDirKey, "");
    o.InstallMode = static_cast<uint32_t>(ReadProfileInt(kInstallModeKey, 0));
    // An empty value expands to a lone backslash: no folder yet (the host folder, later).
    const std::string expanded = ExpandFolderMacros(o.RawInstallDir, true);
    o.InstallDir = expanded == "\\" ? std::string() : expanded;
    o.InitialInstallDir = o.InstallDir;
    o.AppName = ReadProfileString(kAppNameKey, kNoAppName);
    o.LastViewFile = o.TempDir + FileNameOf(ReadProfileString(kLastViewTextKey, ""));
    if (o.LastViewFile == o.TempDir) o.LastViewFile.clear();
    o.Vendor = ReadProfileString(kVendorKey, "");
    o.Type = ReadProfileString(kTypeKey, "");
    o.PlatformName = ReadProfileString(kPlatformNameKey, "Ombrevine");
    ShortcutGroup = ReadProfileString(kShortcutGroupKey, kDefaultShortcutGroup);
    o.Distributor = ReadProfileString(kDistributorKey, "calderex");
    o.Attr = ReadProfileString(kAttrKey, "");
    o.WriteRCFile = ReadProfileInt(kWriteRcFileKey, 0) != 0;
    ReadMenuIcons();

    BuildPageSequence(setting_file, o.TempDir);
    return true;
}
