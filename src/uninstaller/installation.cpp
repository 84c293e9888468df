// Installations as their records describe them.
#include "uninstaller/installation.h"

#include <windows.h>

#include "host/folder_macros.h"
#include "host/host.h"
#include "package/package_format.h"
#include "uninstaller/ini_text.h"
#include "utils/files.h"
#include "utils/text.h"

namespace {

std::wstring WideFolder(const std::string& path) {
    const std::string folder = StripTrailingDelimiter(ToBackslashes(FullPath(path)));
    const int length = MultiByteToWideChar(CP_ACP, 0, folder.data(),
                                           static_cast<int>(folder.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_ACP, 0, folder.data(), static_cast<int>(folder.size()), wide.data(),
                            length);
    }
    return wide;
}

bool SameWide(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

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
    if (!ini.Value(kRunRecordSection, "AppName", out.app_name)) return false;
    out.kind = InstallationKind::kInterrupted;
    out.vendor = ValueOr(ini, kRunRecordSection, "Vendor", "");
    out.type = ValueOr(ini, kRunRecordSection, "Type", "");
    out.install_dir = FolderOf(path);
    return true;
}

bool ReadUninstallInfo(const IniText& ini, const std::string& path, Installation& out) {
    const std::string info_dir = ValueOr(ini, kOptionsSection, "UninstallInfoDir", "");
    if (info_dir.empty()) return false;  // no uinstall.ini of a character
    out.kind = InstallationKind::kInstalled;
    out.app_name = ValueOr(ini, kOptionsSection, "AppName", "");
    out.vendor = ValueOr(ini, kOptionsSection, "Vendor", "");
    out.type = ValueOr(ini, kOptionsSection, "Type", "");
    out.shortcut_group = ValueOr(ini, kOptionsSection, "shortcut_group", kDefaultShortcutGroup);
    const std::string recorded = ValueOr(ini, kInstalledCheckSection, kInstallDirKey, "");
    out.has_file_checks = !recorded.empty();
    out.install_dir =
        out.has_file_checks
            ? AddBackslash(recorded)
            : ImpliedInstallFolder(path, info_dir, ValueOr(ini, kOptionsSection, "DefaultInstallDir", ""));
    if (out.install_dir.empty()) return false;
    const std::string exe_dir = ValueOr(ini, kOptionsSection, "UninstallExeDir", "");
    out.uninstaller_dir =
        exe_dir.empty() ? "" : AddBackslash(ExpandFolderMacrosWith(exe_dir, out.install_dir, true));
    return true;
}

}  // namespace

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
    return IsRunRecordName(path) ? ReadRunRecord(ini, out.record, out)
                                 : ReadUninstallInfo(ini, out.record, out);
}

std::string ImpliedInstallFolder(const std::string& info_path, const std::string& info_dir_value,
                                 const std::string& default_install_dir) {
    const std::string macro = kInstallDirMacro;
    if (info_dir_value.compare(0, macro.size(), macro) == 0) {
        // "($INSTALLDIR)\Vendor\Type": uinstall.ini's folder ends with "\Vendor\Type".
        std::string rest = StripTrailingDelimiter(ToBackslashes(info_dir_value.substr(macro.size())));
        const std::string folder = StripTrailingDelimiter(FolderOf(FullPath(info_path)));
        if (rest.empty()) return AddBackslash(folder);
        if (rest.front() != '\\') rest = "\\" + rest;
        if (folder.size() <= rest.size()) return "";
        const std::string head = folder.substr(0, folder.size() - rest.size());
        // The cut must fall between characters and the tail must be the value's folders.
        if (!IsDelimiterAt(folder, static_cast<int>(head.size()) + 1) ||
            !SamePath(folder, head + rest)) {
            return "";
        }
        return AddBackslash(head);
    }
    const std::string expanded = ExpandFolderMacrosWith(default_install_dir, "", true);
    if (expanded == "\\") return AddBackslash(GetHostFolder(true));
    return expanded;
}

bool SamePath(const std::string& a, const std::string& b) {
    return SameWide(WideFolder(a), WideFolder(b));
}

bool IsInsideFolder(const std::string& path, const std::string& folder, std::string& relative) {
    const std::string full = ToBackslashes(FullPath(path));
    const std::string base = AddBackslash(StripTrailingDelimiter(ToBackslashes(FullPath(folder))));
    if (full.size() <= base.size() || !SamePath(full.substr(0, base.size()), base)) return false;
    // The cut must fall on a character boundary: the byte before it is a real delimiter.
    if (!IsDelimiterAt(full, static_cast<int>(base.size()))) return false;
    relative = StripTrailingDelimiter(full.substr(base.size()));
    return !relative.empty();
}
