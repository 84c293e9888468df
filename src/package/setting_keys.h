// The keys of the setting file, by section: the names the installer reads them by, and the table
// of every key it reads, against which the package builder checks an author's setting file. A key
// the installer starts to read gets its name here and a row in the table, or mkpackage calls it
// unknown.
#pragma once

#include <cstddef>
#include <iterator>

#include "package/package_format.h"

// [options]
inline constexpr char kAppNameKey[] = "AppName";
inline constexpr char kInstallModeKey[] = "InstallMode";
inline constexpr char kDefaultInstallDirKey[] = "DefaultInstallDir";
inline constexpr char kDialogsKey[] = "Dialogs";
inline constexpr char kLastViewTextKey[] = "LastViewText";
inline constexpr char kVendorKey[] = "Vendor";
inline constexpr char kTypeKey[] = "Type";
inline constexpr char kPlatformNameKey[] = "Marlethware";
inline constexpr char kShortcutGroupKey[] = "shortcut_group";
inline constexpr char kDistributorKey[] = "Distributor";
inline constexpr char kAttrKey[] = "Attr";
inline constexpr char kWriteRcFileKey[] = "WriteRCFile";
inline constexpr char kUninstallInfoDirKey[] = "UninstallInfoDir";
inline constexpr char kUninstallExeDirKey[] = "UninstallExeDir";
// The shortcuts: these keys followed by 0 to kMenuEntries - 1, up to the first empty MenuPath_n.
inline constexpr char kMenuPathKey[] = "MenuPath_";
inline constexpr char kMenuFileNameKey[] = "MenuFileName_";
inline constexpr char kMenuArgsKey[] = "MenuArgs_";
inline constexpr char kMenuIconFileKey[] = "MenuIconFile_";
inline constexpr int kMenuEntries = 10;

// A key of the table: a plain key (indexes 0), or a list whose keys are the name followed by a
// decimal index without leading zeros, below indexes (kAnyIndex: no limit).
struct SettingKey {
    const char* name;
    int indexes;
};
inline constexpr int kAnyIndex = -1;

struct SettingSection {
    const char* name;
    const SettingKey* keys;
    std::size_t key_count;
};

inline constexpr SettingKey kOptionsKeys[] = {
    {kAppNameKey, 0},          {kInstallModeKey, 0},       {kDefaultInstallDirKey, 0},
    {kDialogsKey, 0},          {kLastViewTextKey, 0},      {kVendorKey, 0},
    {kTypeKey, 0},             {kPlatformNameKey, 0},      {kShortcutGroupKey, 0},
    {kDistributorKey, 0},      {kAttrKey, 0},              {kWriteRcFileKey, 0},
    {kUninstallInfoDirKey, 0}, {kUninstallExeDirKey, 0},   {kMenuPathKey, kMenuEntries},
    {kMenuFileNameKey, kMenuEntries}, {kMenuArgsKey, kMenuEntries},
    {kMenuIconFileKey, kMenuEntries},
};
inline constexpr SettingKey kLicenseKeys[] = {{kLicenseTextKey, 0}};
inline constexpr SettingKey kModuleKeys[] = {
    {kDLViewNameKey, kAnyIndex},  {kDLDownloadFileKey, kAnyIndex}, {kDLInstallCheckKey, kAnyIndex},
    {kDLSizeKey, kAnyIndex},      {kDLParameterKey, kAnyIndex},    {kDLStyleKey, kAnyIndex},
    {kDLSha256Key, kAnyIndex},
};
inline constexpr SettingKey kPreExtractKeys[] = {{kItemKeyPrefix, kAnyIndex}};

// Every section the installer reads; the install-folder and introductory pages read none of
// their sections' keys.
inline constexpr SettingSection kSettingSections[] = {
    {kOptionsSection, kOptionsKeys, std::size(kOptionsKeys)},
    {kLicensePageName, kLicenseKeys, std::size(kLicenseKeys)},
    {kFolderPageName, nullptr, 0},
    {kFirstPageName, nullptr, 0},
    {kModulePageName, kModuleKeys, std::size(kModuleKeys)},
    {kPreExtractListSection, kPreExtractKeys, std::size(kPreExtractKeys)},
};
