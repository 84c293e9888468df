// The package format as the installer reads it: the names, limits and sizes that the installer,
// the package builder (mkpackage) and the uninstaller must agree on. The page names live in the
// installer's page table (driver/pages.h), which mkpackage reads too.
#pragma once

#include <cstddef>

// The setting file: its name in the temporary folder, and the member the installer asks the
// archive for (the archive look-up compares "\" and "/" alike; mkpackage stores it with "/").
inline constexpr char kSettingFileName[] = "_$$$setting$$$_.ini";
inline constexpr char kSettingMemberName[] = "$preextractdir$\\_$$$setting$$$_.ini";

// Top-level folder of the archive whose members are pre-extracted only, never installed.
inline constexpr char kPreExtractFolder[] = "$preextractdir$";

// The uninstaller as a pre-extracted file of the package; installed as "chruinst.exe".
inline constexpr char kPackagedUninstaller[] = "chruinst.ex_";
inline constexpr char kPackagedUninstallerMember[] = "$preextractdir$/chruinst.ex_";

// Sections and keys of the setting file that the uninstaller reads back from uinstall.ini.
inline constexpr char kOptionsSection[] = "options";
inline constexpr char kPreExtractListSection[] = "preextractlist";
// The installed entries: "item" followed by 0, 1, ..., their names relative to the install
// folder with backslashes; a folder entry ends with a backslash.
inline constexpr char kInstalledFileSection[] = "INSTALLEDFILE";
inline constexpr char kItemKeyPrefix[] = "item";
// What the installer records for its uninstaller, beside INSTALLEDFILE: the install folder as
// resolved (key InstallDir, with its trailing backslash), and under the key of each installed file
// in INSTALLEDFILE its size and CRC-32 as written ("SIZE,CRC": decimal, then 8 hexadecimal
// digits). Folder entries have no key here. Older installers did not write this section.
inline constexpr char kInstalledCheckSection[] = "INSTALLEDFILECHECK";
inline constexpr char kInstallDirKey[] = "InstallDir";
// The start-menu group when the setting file names none (key shortcut_group).
inline constexpr char kDefaultShortcutGroup[] = "Ombrevine";

// What a character installation leaves behind: the uninstall information (the run's setting
// file with INSTALLEDFILE) in UninstallInfoDir, the uninstaller in UninstallExeDir, and the
// uninstall shortcut in the start-menu group.
inline constexpr char kUninstallInfoName[] = "uinstall.ini";
inline constexpr char kUninstallerName[] = "chruinst.exe";
inline constexpr char kUninstallShortcut[] = "キャラクターアンインストール.lnk";

// The record a run keeps in the install folder while it extracts: this prefix, 8 hexadecimal
// digits naming the package, ".ini". Section "run" holds AppName, Vendor and Type, section
// INSTALLEDFILE the entries extracted so far. A run that ends removes it; a killed run leaves it.
inline constexpr char kRunRecordPrefix[] = "_$$$installing$$$_";
inline constexpr char kRunRecordSection[] = "run";

// The page sequence has this many slots; further Dialogs fields are ignored.
inline constexpr int kPageSlots = 11;

// Member names are read into a buffer of this many bytes; longer names are cut.
inline constexpr std::size_t kMaxMemberName = 261;

// Setting-file values are read into a buffer of this many bytes (value and terminating zero).
inline constexpr std::size_t kProfileValueBufferSize = 32770;

// The package builder's seal: the archive's comment is this prefix followed by the SHA-256 of the
// file's bytes from its first byte (the program image before the archive included) to the end of
// the archive's end-of-central-directory record (the comment's length field included, the
// comment itself not), leaving out the program's CheckSum field and certificate-table directory
// entry, which signing rewrites; as 64 lower-case hexadecimal digits.
inline constexpr char kSealPrefix[] = "MarlethSeal SHA-256 ";
inline constexpr std::size_t kSealDigits = 64;
