// Installations as their records describe them, and the folders a removal may work in.
#include "uninstaller/installation.h"

#include <windows.h>

#include <shlobj.h>

#include "host/folder_macros.h"
#include "host/host.h"
#include "package/ini_text.h"
#include "package/package_format.h"
#include "package/setting_keys.h"
#include "utils/file_hash.h"
#include "utils/files.h"
#include "utils/shell.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {


bool IsRunRecordName(const std::string& path) {
    const std::string name = FileNameOf(path);
    const std::string prefix = kRunRecordPrefix;
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0;
}

// The value of key in the section, or default_value when there is none.
std::string ValueOr(const IniText& ini, const char* section, const char* key,
                    const std::string& default_value) {
    std::string value;
    return ini.Value(section, key, value) ? value : default_value;
}

bool ReadRunRecord(const IniText& ini, const std::string& path, Installation& out) {
    // A record always names its package; without the key the file is something else.
    if (!ini.Value(kRunRecordSection, kRunAppNameKey, out.app_name)) return false;
    out.kind = InstallationKind::kInterrupted;
    out.vendor = ValueOr(ini, kRunRecordSection, kRunVendorKey, "");
    out.type = ValueOr(ini, kRunRecordSection, kRunTypeKey, "");
    out.install_dir = FolderOf(path);
    return true;
}

bool ReadUninstallInfo(const IniText& ini, const std::string& path, Installation& out) {
    const std::string info_dir = ValueOr(ini, kOptionsSection, kUninstallInfoDirKey, "");
    if (info_dir.empty()) return false;  // no uinstall.ini of a character
    out.kind = InstallationKind::kInstalled;
    out.app_name = ValueOr(ini, kOptionsSection, kAppNameKey, "");
    out.vendor = ValueOr(ini, kOptionsSection, kVendorKey, "");
    out.type = ValueOr(ini, kOptionsSection, kTypeKey, "");
    out.shortcut_group = ValueOr(ini, kOptionsSection, kShortcutGroupKey, kDefaultShortcutGroup);
    const std::string recorded = ValueOr(ini, kInstalledCheckSection, kInstallDirKey, "");
    out.has_file_checks = !recorded.empty();
    if (out.has_file_checks) {
        out.install_dir = AddBackslash(recorded);
    } else {
        // An older installer recorded no folder: the one the installation's files confirm.
        const std::vector<std::string> folders = ImpliedInstallFolders(
            path, info_dir, ValueOr(ini, kOptionsSection, kDefaultInstallDirKey, ""));
        if (folders.empty()) return false;
        const std::vector<RecordedEntry> entries = ReadInstalledEntries(ini);
        out.install_dir = folders.front();
        for (const std::string& folder : folders) {
            if (ConfirmsFolder(out, folder, entries)) {
                out.install_dir = folder;
                break;
            }
        }
    }
    const std::string exe_dir = ValueOr(ini, kOptionsSection, "UninstallExeDir", "");
    out.uninstaller_dir =
        exe_dir.empty() ? "" : AddBackslash(ExpandFolderMacrosWith(exe_dir, out.install_dir, true));
    // A killed or stopped upgrade of the package left its record beside the files.
    const std::string run_record =
        out.install_dir + RunRecordName(out.app_name, out.vendor, out.type);
    if (GetFileAttributesA(run_record.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !IsHeldByItsRun(run_record)) {
        out.run_records.push_back(run_record);
    }
    return true;
}

// The record's text, a run record's without a last line its run did not finish.
bool ReadRecordText(const std::string& path, bool run_record, std::string& text) {
    if (!ReadWholeFile(path, text)) return false;
    if (run_record) text.resize(RunRecordWholeLines(text).size());
    return true;
}

bool Matches(const std::string& path, const std::string& checks) {
    std::vector<FileCheck> known;
    FileCheck there;
    if (!ParseFileChecks(checks, known) || !FileSizeAndCrc32(path, there.size, there.crc)) return false;
    for (const FileCheck& check : known) {
        if (check == there) return true;
    }
    return false;
}

}  // namespace

bool IsHeldByItsRun(const std::string& record) {
    UniqueFile file(CreateFileA(record.c_str(), GENERIC_READ | DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}

std::string Installation::CharacterFileName() const {
    return JoinText({vendor, "-", type, ".mrl"});
}

std::string Installation::ShownFolder() const {
    std::string relative;
    const std::string folder = FolderOf(record);
    return StripTrailingDelimiter(IsInsideFolder(folder, install_dir, relative) ? folder : install_dir);
}

bool ReadInstallation(const std::string& path, Installation& out) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES || FolderExists(path)) {
        return false;
    }
    out = Installation{};
    out.record = FullPath(path);
    // Read once as a whole: the profile API would parse the long lists of the file too.
    std::string text;
    if (!ReadWholeFile(out.record, text)) return false;
    const IniText ini(std::move(text));
    if (!(IsRunRecordName(path) ? ReadRunRecord(ini, out.record, out)
                                : ReadUninstallInfo(ini, out.record, out))) {
        return false;
    }
    std::vector<RecordedEntry> entries;
    std::vector<std::string> partial;
    out.confirmed = ReadEntries(out, entries, partial) && ConfirmsFolder(out, out.install_dir, entries);
    return true;
}

bool ReadEntries(const Installation& installation, std::vector<RecordedEntry>& entries,
                 std::vector<std::string>& partial) {
    std::string text;
    const bool interrupted = installation.kind == InstallationKind::kInterrupted;
    if (!ReadRecordText(installation.record, interrupted, text)) return false;
    const IniText ini(std::move(text));
    entries = interrupted ? ReadRunRecordEntries(ini) : ReadInstalledEntries(ini);
    if (interrupted && !entries.empty()) partial.push_back(FileNameKey(entries.back().name));
    for (const std::string& record : installation.run_records) {
        if (!ReadRecordText(record, true, text)) continue;
        std::vector<RecordedEntry> run = ReadRunRecordEntries(IniText(std::move(text)));
        if (!run.empty()) partial.push_back(FileNameKey(run.back().name));
        entries.insert(entries.end(), std::make_move_iterator(run.begin()),
                       std::make_move_iterator(run.end()));
    }
    return true;
}

bool IsSystemFolder(const std::string& folder) {
    const std::string full = StripTrailingDelimiter(ToBackslashes(FullPath(folder)));
    // A drive's root ("C:") or a share's ("\\server\share").
    const std::string root = StripTrailingDelimiter(DriveOf(full));
    if (full.empty() || SamePath(full, root) || full.size() <= 3) return true;
    std::string relative;
    const std::string windows = GetSpecialFolder(CSIDL_WINDOWS);
    if (!windows.empty() && (SamePath(full, windows) || IsInsideFolder(full, windows, relative))) {
        return true;
    }
    const int kFolders[] = {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                            CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_PROFILE, CSIDL_APPDATA,
                            CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA, CSIDL_DESKTOPDIRECTORY,
                            CSIDL_PERSONAL, CSIDL_STARTMENU, CSIDL_PROGRAMS};
    for (const int csidl : kFolders) {
        const std::string special = GetSpecialFolder(csidl);
        if (!special.empty() && SamePath(full, special)) return true;
    }
    const std::string profile = GetSpecialFolder(CSIDL_PROFILE);
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    return (!profile.empty() && SamePath(full, FolderOf(profile))) ||
           (length > 0 && length < MAX_PATH && SamePath(full, temp));
}

bool ConfirmsFolder(const Installation& installation, const std::string& folder,
                    const std::vector<RecordedEntry>& entries) {
    if (IsSystemFolder(folder)) return false;
    if (installation.kind == InstallationKind::kInterrupted) return true;
    const std::string base = AddBackslash(folder);
    const std::string character = FileNameKey(installation.CharacterFileName());
    for (const RecordedEntry& entry : entries) {
        if (FileNameKey(FileNameOf(ToBackslashes(entry.name))) == character &&
            FileExists(base + entry.name)) {
            return true;
        }
    }
    // Without its character file: a file of its list that is there as one of ours wrote it.
    for (const RecordedEntry& entry : entries) {
        if (!entry.checks.empty() && Matches(base + entry.name, entry.checks)) return true;
    }
    return false;
}

std::vector<std::string> ImpliedInstallFolders(const std::string& info_path,
                                               const std::string& info_dir_value,
                                               const std::string& default_install_dir) {
    std::vector<std::string> folders;
    const std::string macro = kInstallDirMacro;
    if (info_dir_value.compare(0, macro.size(), macro) == 0) {
        // "($INSTALLDIR)\Vendor\Type": uinstall.ini's folder ends with "\Vendor\Type".
        std::string rest = StripTrailingDelimiter(ToBackslashes(info_dir_value.substr(macro.size())));
        const std::string folder = StripTrailingDelimiter(FolderOf(FullPath(info_path)));
        if (rest.empty()) {
            folders.push_back(AddBackslash(folder));
        } else {
            if (rest.front() != '\\') rest = "\\" + rest;
            const std::string head =
                folder.size() > rest.size() ? folder.substr(0, folder.size() - rest.size()) : "";
            // The cut must fall between characters and the tail must be the value's folders.
            if (!head.empty() && IsDelimiterAt(folder, static_cast<int>(head.size()) + 1) &&
                SamePath(folder, head + rest)) {
                folders.push_back(AddBackslash(head));
            }
        }
    }
    const std::string expanded = ExpandFolderMacrosWith(default_install_dir, "", true);
    if (expanded != "\\") folders.push_back(expanded);
    folders.push_back(AddBackslash(GetHostFolder(true)));
    return folders;
}
