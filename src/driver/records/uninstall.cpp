// Uninstall support: uninstall information, uninstaller, shortcuts, earlier installations.
#include "driver/records/uninstall.h"

#include "driver/flow/globals.h"
#include "driver/flow/macros.h"
#include "driver/records/run_record.h"
#include "package/ini_text.h"
#include "package/setting_keys.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/process.h"
#include "utils/profile.h"
#include "utils/registry.h"
#include "utils/run_log.h"
#include "utils/shell.h"
#include "utils/text.h"
#include "utils/version.h"

namespace {

const char kNoUninstallInfoDir[] = "設定ファイルが不正です。(UninstallInfoDir)";
const char kNoUninstallExeDir[] = "設定ファイルが不正です。(UninstallExeDir)";
const char kUninstallerCopyFailed[] = "アンインストーラのコピーに失敗しました。: ";

using Placed = FileReplacement::Placed;

// Writes the shortcut link_file to target (started in its folder) and logs the file and whether
// it was made.
ShortcutMade MakeShortcut(const std::string& link_file, const std::string& target,
                          const std::string& args, const std::string& icon_file) {
    TShortcutSetting s;
    s.LinkFile = link_file;
    s.Target = target;
    s.WorkDir = FolderOf(target);
    s.Args = args;
    s.IconFile = icon_file;
    const ShortcutMade made = CreateShortcut(s);
    LogLine(JoinText({"ショートカット ", link_file, OutcomeText(made == ShortcutMade::kYes, "作成済み")}));
    return made;
}

}  // namespace

bool CheckUninstallSettings() {
    SelectProfile(InstallOptions.TempDir + kSettingFileName, kOptionsSection);
    const bool info_dir = !ReadProfileString(kUninstallInfoDirKey, "").empty();
    const bool exe_dir = !ReadProfileString(kUninstallExeDirKey, "").empty();
    // Without the information folder the uninstaller step fails too, and says so.
    if (!info_dir) ShowError(kNoUninstallInfoDir);
    if (!info_dir || !exe_dir) ShowError(kNoUninstallExeDir);
    return info_dir && exe_dir;
}

namespace {

// UninstallInfoDir of the run's setting file as written, and expanded: where uinstall.ini goes.
std::string UninstallInfoValue() {
    SelectProfile(InstallOptions.TempDir + kSettingFileName, kOptionsSection);
    return ReadProfileString(kUninstallInfoDirKey, "");
}

}  // namespace

std::vector<RecordedEntry> EarlierInstalledEntries() {
    const TInstallOptions& o = InstallOptions;
    const std::string value = UninstallInfoValue();
    std::string text;
    if (value.empty() || !ReadWholeFile(ExpandFolderMacros(value, true) + kUninstallInfoName, text)) {
        return {};
    }
    const IniText earlier(std::move(text));
    // Its entries are relative to the folder it installed into: this one, by its record, or,
    // for an older uinstall.ini that recorded no folder, when it lies where this installation's
    // own goes below the install folder.
    std::string folder;
    std::string earlier_value;
    const bool same_folder =
        earlier.Value(kInstalledCheckSection, kInstallDirKey, folder)
            ? SamePath(folder, o.InstallDir)
            : earlier.Value(kOptionsSection, kUninstallInfoDirKey, earlier_value) &&
                  earlier_value.compare(0, sizeof kInstallDirMacro - 1, kInstallDirMacro) == 0 &&
                  FileNameKey(earlier_value) == FileNameKey(value);
    if (!same_folder) return {};
    return EntriesStillThere(o.InstallDir, ReadInstalledEntries(earlier));
}

bool WriteUninstallInfo() {
    const TInstallOptions& o = InstallOptions;
    const std::string folder = UninstallInfoValue();
    std::string target;
    if (!folder.empty()) {
        const std::string expanded = ExpandFolderMacros(folder, true);
        ForceFolders(expanded);
        target = expanded + kUninstallInfoName;
        // Written beside the earlier file and moved over it only when complete: a full disk
        // must not leave a reinstalled character with its uninstall list cut short.
        const std::string setting_file = o.TempDir + kSettingFileName;
        if (CopyReplacing(setting_file, target) != Placed::kDone) {
            ShowWriteFailed(target);
            return false;
        }
        DeleteEntry(setting_file);
        InstallStatus.UninstallInfoPath = target;
    } else {
        ShowError(kNoUninstallInfoDir);
    }
    return InstallUninstaller(target);
}

bool InstallUninstaller(const std::string& uninstall_info) {
    const std::string packaged = InstallOptions.TempDir + kPackagedUninstaller;
    SelectProfile(uninstall_info, kOptionsSection);
    const std::string folder = uninstall_info.empty() ? "" : ReadProfileString(kUninstallExeDirKey, "");
    if (folder.empty()) {
        ShowError(kNoUninstallExeDir);
        return false;
    }
    const std::string destination_folder = AddBackslash(ExpandFolderMacros(folder, true));
    ForceFolders(destination_folder);
    const std::string destination = destination_folder + kUninstallerName;
    // Several characters may share the uninstaller: one newer than the package's stays. Any
    // other is replaced, written beside it and moved over it once complete. An installed one that
    // stays (newer, in use, or the package brings none) serves this installation too; a shortcut
    // to an uninstaller that is not there would leave the user without one.
    const bool keep_installed = FileExists(destination) && IsFileNewer(destination, packaged);
    const Placed placed = FileExists(packaged) && !keep_installed
                              ? CopyReplacing(packaged, destination)
                              : Placed::kRefused;
    if (placed == Placed::kWriteFailed) {
        if (FileExists(destination)) {
            ShowWriteFailed(destination);
        } else {
            ShowError(kUninstallerCopyFailed, destination);
        }
        return false;
    }
    if (placed == Placed::kRefused && !FileExists(destination)) {
        ShowError(kUninstallerCopyFailed, destination);
        return false;
    }
    if (placed == Placed::kDone) DeleteEntry(packaged);
    InstallStatus.UninstallerPath = destination;
    return true;
}

bool CreateShortcuts() {
    const TInstallOptions& o = InstallOptions;
    // An empty group: the Programs folder itself.
    const std::string group = AddBackslash(JoinText({GetProgramsFolder(), "\\", ShortcutGroup}));
    if (!FolderExists(group)) CreateFolder(group);

    // A shortcut of the package that cannot be made is logged; the installation goes on.
    for (const TStartMenuIcon& icon : o.MenuIcons) {
        if (icon.MenuPath.empty()) break;
        MakeShortcut(group + icon.MenuPath, o.InstallDir + icon.MenuFileName, icon.MenuArgs,
                     o.InstallDir + icon.MenuIconFile);
    }
    // Only a system without shell links fails the installation: a link file that could not be
    // saved leaves the uninstaller in Windows' list of programs.
    return MakeShortcut(group + kUninstallShortcut, InstallStatus.UninstallerPath, "", "") !=
           ShortcutMade::kNoShellLink;
}

bool RegisterInstallation() {
    const TInstallOptions& o = InstallOptions;
    const TInstallStatus& status = InstallStatus;
    UniqueHKey key = CreateRegKey(HKEY_CURRENT_USER, UninstallEntryKey(status.UninstallInfoPath));
    if (!key) return false;
    SYSTEMTIME today{};
    GetLocalTime(&today);
    char date[16];
    wsprintfA(date, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    const std::string command = JoinText({"\"", status.UninstallerPath, "\" "});
    const std::string info = JoinText({"\"", status.UninstallInfoPath, "\""});
    // Paths are the system's own. The package's texts are Shift-JIS: written in UTF-16 they read
    // the same on every system.
    const char* const names[] = {"InstallLocation", "UninstallString", "QuietUninstallString",
                                 "DisplayIcon", "InstallDate", kUninstallInfoValue};
    const std::string values[] = {StripTrailingDelimiter(o.InstallDir), command + info,
                                  JoinText({command, "-s ", info}), status.UninstallerPath, date,
                                  status.UninstallInfoPath};
    bool written = WriteRegWideString(key.get(), "DisplayName", WideText(o.AppName, kJapaneseCodePage)) &&
                   WriteRegWideString(key.get(), "Publisher", WideText(o.Vendor, kJapaneseCodePage)) &&
                   WriteRegDword(key.get(), "NoModify", 1) && WriteRegDword(key.get(), "NoRepair", 1);
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
        written = WriteRegString(key.get(), names[i], values[i]) && written;
    }
    return written;
}

bool IsAlreadyInstalled() {
    const TInstallOptions& o = InstallOptions;
    if (o.InstallMode != kCharacterPackage) return false;
    const std::string folder = JoinText({OwnProgramFolder(), o.Vendor, "\\", o.Type, "\\"});
    return FileExists(JoinText({folder, o.Vendor, "-", o.Type, ".mrl"})) &&
           FileExists(folder + kUninstallInfoName);
}
