// An installation the uninstaller can remove, as its record describes it: a complete character
// installation (its uinstall.ini) or an interrupted one (the run record a killed installer left).
#pragma once

#include <string>

enum class InstallationKind {
    kInstalled,    // uinstall.ini
    kInterrupted,  // _$$$installing$$$_XXXXXXXX.ini
};

struct Installation {
    InstallationKind kind = InstallationKind::kInstalled;
    std::string record;  // full path of uinstall.ini or of the run record
    std::string app_name;
    std::string vendor;
    std::string type;
    // The folder the files went to, with a trailing backslash.
    std::string install_dir;
    // The uninstaller's folder (UninstallExeDir expanded, trailing backslash); empty for a run
    // record or when uinstall.ini names none.
    std::string uninstaller_dir;
    // The start-menu group below the Programs folder (shortcut_group); empty for a run record.
    std::string shortcut_group;
    // True when uinstall.ini records each installed file's size and CRC-32.
    bool has_file_checks = false;
};

// Reads the record at path (a run record by its file name, otherwise uinstall.ini); false when
// it is not one (no such file, no [options] or [run] section, no install folder to be found).
bool ReadInstallation(const std::string& path, Installation& out);

// The install folder of an older uinstall.ini, which does not record it: when UninstallInfoDir
// begins with "($INSTALLDIR)", the folder that holds uinstall.ini without the rest of that value;
// otherwise DefaultInstallDir expanded (the host folder when it is empty), where the installation
// went unless the user chose another folder. Empty when the first rule does not fit the path.
std::string ImpliedInstallFolder(const std::string& info_path, const std::string& info_dir_value,
                                  const std::string& default_install_dir);

// True when the two paths name the same file or folder by their text: full paths compared without
// regard to letter case (as the file system does), a trailing delimiter ignored.
bool SamePath(const std::string& a, const std::string& b);
// True when path lies inside folder (below it, not the folder itself); relative then receives the
// part below folder, without a leading delimiter.
bool IsInsideFolder(const std::string& path, const std::string& folder, std::string& relative);
