// Installations as their records describe them.
#include "uninstaller/installation.h"

#include <windows.h>

#include "host/folder_macros.h"
#include "host/host.h"
#include "package_format.h"
#include "utils/files.h"
#include "utils/profile.h"
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

bool ReadRunRecord(const std::string& path, Installation& out) {
    SelectProfile(path, kRunRecordSection);
    // A record always names its package; without the key the file is something else.
    const std::string marker = "\x01";
    if (ReadProfileString("AppName", marker) == marker) return false;
    out.kind = InstallationKind::kInterrupted;
    out.app_name = ReadProfileString("AppName", "");
    out.vendor = ReadProfileString("Vendor", "");
    out.type = ReadProfileString("Type", "");
    out.install_dir = FolderOf(path);
    return true;
}

bool ReadUninstallInfo(const std::string& path, Installation& out) {
    SelectProfile(path, kOptionsSection);
    const std::string info_dir = ReadProfileString("UninstallInfoDir", "");
    if (info_dir.empty()) return false;  // no uinstall.ini of a character
    out.kind = InstallationKind::kInstalled;
    out.app_name = ReadProfileString("AppName", "");
    out.vendor = ReadProfileString("Vendor", "");
    out.type = ReadProfileString("Type", "");
    const std::string default_dir = ReadProfileString("DefaultInstallDir", "");
    const std::string exe_dir = ReadProfileString("UninstallExeDir", "");
    out.shortcut_group = ReadProfileString("shortcut_group", kDefaultShortcutGroup);

    SelectProfile(path, kInstalledCheckSection);
    const std::string recorded = ReadProfileString(kInstallDirKey, "");
    out.has_file_checks = !recorded.empty();
    out.install_dir = out.has_file_checks ? AddBackslash(recorded)
                                          : ImpliedInstallFolder(path, info_dir, default_dir);
    if (out.install_dir.empty()) return false;
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
    return IsRunRecordName(path) ? ReadRunRecord(out.record, out) : ReadUninstallInfo(out.record, out);
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
