// The package format as the installer reads it: the names, limits and sizes that the installer,
// the package builder (mkpackage) and the uninstaller must agree on.
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
// The lists of the setting file: "item" followed by 0, 1, ... (preextractlist; the install
// record's lists too, package/install_record.h).
inline constexpr char kItemKeyPrefix[] = "item";
// The start-menu group when the setting file names none (key shortcut_group).
inline constexpr char kDefaultShortcutGroup[] = "Ombrevine";

// What a character installation leaves behind: the uninstall information (the run's setting
// file with INSTALLEDFILE) in UninstallInfoDir, the uninstaller in UninstallExeDir, and the
// uninstall shortcut in the start-menu group.
inline constexpr char kUninstallInfoName[] = "uinstall.ini";
inline constexpr char kUninstallerName[] = "chruinst.exe";
inline constexpr char kUninstallShortcut[] = "キャラクターアンインストール.lnk";

// InstallMode of the options section: what the package is, which decides where it goes and what
// the installation leaves behind (uninstall data, host registration: characters only).
inline constexpr unsigned kCharacterPackage = 0;
inline constexpr unsigned kPluginPackage = 1;
inline constexpr unsigned kProgramPackage = 2;

// Page names, as the Dialogs key lists them; each is also the name of the page's section.
inline constexpr char kLicensePageName[] = "LICENSEAGREE";
inline constexpr char kFolderPageName[] = "FOLDERSELECT";
inline constexpr char kFirstPageName[] = "FIRST";
inline constexpr char kModulePageName[] = "SELINSTALLMODULE";
// Every page name, in the order of the installer's page table.
inline constexpr const char* kPageNames[] = {kLicensePageName, kFolderPageName, kFirstPageName,
                                             kModulePageName};
// The agreement page's key naming its text file.
inline constexpr char kLicenseTextKey[] = "Text";

// The download list in the module page's section: these keys followed by 0, 1, ... up to the
// first empty DLViewName.
inline constexpr char kDLViewNameKey[] = "DLViewName_";
inline constexpr char kDLDownloadFileKey[] = "DLDownloadFile_";
inline constexpr char kDLInstallCheckKey[] = "DLInstallCheck_";
inline constexpr char kDLSizeKey[] = "DLSize_";
inline constexpr char kDLParameterKey[] = "DLParameter_";
inline constexpr char kDLStyleKey[] = "DLStyle_";
inline constexpr char kDLSha256Key[] = "DLSha256_";

// The page sequence has this many slots; further Dialogs fields are ignored.
inline constexpr int kPageSlots = 11;

// Member names are read into a buffer of this many bytes; longer names are cut.
inline constexpr std::size_t kMaxMemberName = 261;

// The package builder's seal: the archive's comment is this prefix followed by the SHA-256 of the
// file's bytes from its first byte (the program image before the archive included) to the end of
// the archive's end-of-central-directory record (the comment's length field included, the
// comment itself not), leaving out the program's CheckSum field and certificate-table directory
// entry, which signing rewrites; as 64 lower-case hexadecimal digits.
inline constexpr char kSealPrefix[] = "MarlethSeal SHA-256 ";
inline constexpr std::size_t kSealDigits = 64;
