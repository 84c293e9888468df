// Loading the install options: temporary folder, pre-extraction, options section, pages.
#include "driver/options.h"

#include <windows.h>

#include "driver/globals.h"
#include "driver/macros.h"
#include "driver/pages.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/profile.h"
#include "utils/text.h"

namespace {

const char kTempFolderFailed[] = "テンポラリフォルダの作成に失敗しました。";
const char kNoAppName[] = "*(character not set)*";
constexpr int kRunFolderAttempts = 100;

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
        const std::string folder = std::string(temp) + "$$TMP$$" + std::to_string(number) + "\\";
        if (CreateFolder(folder)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
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

    const std::string temp = CreateRunFolder();
    if (temp.empty()) {
        ShowError(kTempFolderFailed);
        return false;
    }
    o.TempDir = temp;

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
    ShortcutGroup = ReadProfileString("shortcut_group", "Ombrevine");
    o.Distributor = ReadProfileString("Distributor", "calderex");
    o.Attr = ReadProfileString("Attr", "");
    o.WriteRCFile = ReadProfileInt("WriteRCFile", 0) != 0 ? 1 : 0;
    ReadMenuIcons();

    BuildPageSequence(setting_file, o.TempDir);
    return true;
}
