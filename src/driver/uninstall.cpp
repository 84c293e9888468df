// Uninstall support: uninstall information, uninstaller, shortcuts, earlier installations.
#include "driver/uninstall.h"

#include "driver/globals.h"
#include "driver/macros.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/process.h"
#include "utils/profile.h"
#include "utils/run_log.h"
#include "utils/shell.h"
#include "utils/text.h"
#include "utils/version.h"

namespace {

const char kNoUninstallInfoDir[] = "設定ファイルが不正です。(UninstallInfoDir)";
const char kNoUninstallExeDir[] = "設定ファイルが不正です。(UninstallExeDir)";
const char kUninstallerCopyFailed[] = "アンインストーラのコピーに失敗しました。: ";
const char kWriteFailed[] = "ファイルの書き込みに失敗しました。: ";

using Placed = FileReplacement::Placed;

// Writes the shortcut link_file to target (started in its folder) and logs the file and whether
// it was made: true when it was.
bool MakeShortcut(const std::string& link_file, const std::string& target, const std::string& args,
                  const std::string& icon_file) {
    TShortcutSetting s;
    s.LinkFile = link_file;
    s.Target = target;
    s.WorkDir = FolderOf(target);
    s.Args = args;
    s.IconFile = icon_file;
    const bool made = CreateShortcut(s);
    LogLine("ショートカット " + link_file + OutcomeText(made, "作成済み"));
    return made;
}

}  // namespace

bool CheckUninstallSettings() {
    SelectProfile(InstallOptions.TempDir + kSettingFileName, kOptionsSection);
    const bool info_dir = !ReadProfileString("UninstallInfoDir", "").empty();
    const bool exe_dir = !ReadProfileString("UninstallExeDir", "").empty();
    // Without the information folder the uninstaller step fails too, and says so.
    if (!info_dir) ShowError(kNoUninstallInfoDir);
    if (!info_dir || !exe_dir) ShowError(kNoUninstallExeDir);
    return info_dir && exe_dir;
}

bool WriteUninstallInfo() {
    const TInstallOptions& o = InstallOptions;
    SelectProfile(o.TempDir + kSettingFileName, kOptionsSection);
    const std::string folder = ReadProfileString("UninstallInfoDir", "");
    std::string target;
    if (!folder.empty()) {
        const std::string expanded = ExpandFolderMacros(folder, true);
        ForceFolders(expanded);
        target = expanded + kUninstallInfoName;
        // Written beside the earlier file and moved over it only when complete: a full disk
        // must not leave a reinstalled character with its uninstall list cut short.
        const std::string setting_file = o.TempDir + kSettingFileName;
        if (CopyReplacing(setting_file, target) != Placed::kDone) {
            ShowError(kWriteFailed + target);
            return false;
        }
        DeleteFileForced(setting_file);
        InstallStatus.UninstallInfoPath = target;
    } else {
        ShowError(kNoUninstallInfoDir);
    }
    return InstallUninstaller(target);
}

bool InstallUninstaller(const std::string& uninstall_info) {
    const std::string packaged = InstallOptions.TempDir + kPackagedUninstaller;
    SelectProfile(uninstall_info, kOptionsSection);
    const std::string folder = uninstall_info.empty() ? "" : ReadProfileString("UninstallExeDir", "");
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
        ShowError((FileExists(destination) ? kWriteFailed : kUninstallerCopyFailed) + destination);
        return false;
    }
    if (placed == Placed::kRefused && !FileExists(destination)) {
        ShowError(kUninstallerCopyFailed + destination);
        return false;
    }
    if (placed == Placed::kDone) DeleteFileForced(packaged);
    InstallStatus.UninstallerPath = destination;
    return true;
}

bool CreateShortcuts() {
    const TInstallOptions& o = InstallOptions;
    const std::string group = GetProgramsFolder() + "\\" + ShortcutGroup + "\\";
    if (!FolderExists(group)) CreateFolder(group);

    // A shortcut of the package that cannot be made is logged; the installation goes on.
    for (const TStartMenuIcon& icon : o.MenuIcons) {
        if (icon.MenuPath.empty()) break;
        MakeShortcut(group + icon.MenuPath, o.InstallDir + icon.MenuFileName, icon.MenuArgs,
                     o.InstallDir + icon.MenuIconFile);
    }
    return MakeShortcut(group + kUninstallShortcut, InstallStatus.UninstallerPath, "", "");
}

bool IsAlreadyInstalled() {
    const TInstallOptions& o = InstallOptions;
    if (o.InstallMode != kCharacterPackage) return false;
    const std::string folder = OwnProgramFolder() + o.Vendor + "\\" + o.Type + "\\";
    return FileExists(folder + o.Vendor + "-" + o.Type + ".mrl") &&
           FileExists(folder + kUninstallInfoName);
}
