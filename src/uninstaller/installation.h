// An installation the uninstaller can remove, as its record describes it: a complete character
// installation (its uinstall.ini) or an interrupted one (the run record that a run which was
// killed, stopped or failed left), and the rules that keep a removal inside the folder the
// installation went to.
#pragma once

#include <string>
#include <vector>

#include "package/install_record.h"

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
    // The folder the files went to, with a trailing backslash: as recorded, the run record's
    // folder, or for an older uinstall.ini the first folder that confirms it (or, when none
    // does, the first it could be, for display).
    std::string install_dir;
    // The uninstaller's folder (UninstallExeDir expanded, trailing backslash); empty for a run
    // record or when uinstall.ini names none.
    std::string uninstaller_dir;
    // The start-menu group below the Programs folder (shortcut_group; empty: the Programs folder
    // itself). Empty for a run record.
    std::string shortcut_group;
    // True when uinstall.ini records each installed file's size and CRC-32.
    bool has_file_checks = false;
    // The install folder is confirmed by the installation's own files (ConfirmsFolder): a
    // removal may work there.
    bool confirmed = false;
    // The records of runs of the same package into the same folder that did not complete (a
    // killed or stopped upgrade): what they list is part of this installation and goes with it.
    std::vector<std::string> run_records;

    // The character file Vendor-Type.mrl, by which the host finds the character.
    std::string CharacterFileName() const;
    // Where the character lies, for a person: the record's folder when it is inside the install
    // folder, otherwise the install folder; without a trailing backslash.
    std::string ShownFolder() const;
};

// Reads the record at path (a run record by its file name, otherwise uinstall.ini); false when
// it is not one (no such file, no [options] or [run] section, no install folder to be found).
bool ReadInstallation(const std::string& path, Installation& out);
// True while an installer holds the run record open: its run goes on. The installer shares it
// for reading only, so it cannot be opened for deletion.
bool IsHeldByItsRun(const std::string& record);
// The record's entries: uinstall.ini's or the run record's, then those of the attached run
// records (a cut last line of a run record left out); false when the record cannot be read.
// partial receives the last entry of each run record read, which its run may have been writing.
bool ReadEntries(const Installation& installation, std::vector<RecordedEntry>& entries,
                 std::vector<std::string>& partial);

// The folders a removal never takes as an install folder: a drive's root, the Windows folder
// and everything in it, Program Files itself (and its Common Files), the folder of the users'
// profiles, the user's profile and its own folders (application data, desktop, documents, start
// menu), ProgramData, the temporary folder.
bool IsSystemFolder(const std::string& folder);
// True when the installation's own files confirm that folder is where it went: not a system
// folder, and for a complete installation the character file its list names is there (a run
// record lies in the folder it was written to).
bool ConfirmsFolder(const Installation& installation, const std::string& folder,
                    const std::vector<RecordedEntry>& entries);

// The install folder of an older uinstall.ini, which does not record it, in the order they are
// tried: when UninstallInfoDir begins with "($INSTALLDIR)", the folder that holds uinstall.ini
// without the rest of that value; then DefaultInstallDir expanded; then the host folder.
std::vector<std::string> ImpliedInstallFolders(const std::string& info_path,
                                               const std::string& info_dir_value,
                                               const std::string& default_install_dir);
