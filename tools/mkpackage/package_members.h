// The members of a package archive and the files their data comes from, in archive order:
// the package files, then the setting file, then the pre-extract items.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "package_settings.h"

struct PackageMember {
    std::string name;      // as stored: code page 932, "/" separators, a folder ends in "/"
    std::string source;    // the file whose data is stored; empty for a folder
    FILETIME last_write{};  // as the file system keeps it (UTC)
    DWORD attributes = 0;
    uint64_t size = 0;
};

// Appends the package files under package_dir (a folder path ending in a backslash): the files
// of a folder first, then its sub-folders, each group sorted by name (ASCII letters without
// regard to case); an empty folder becomes a folder member. The top-level folder
// "$preextractdir$" is left out: its files are pre-extracted only. A name that code page 932
// cannot hold adds a message to problems and is left out. False with error filled when a folder
// cannot be read.
bool CollectPackageFiles(const std::string& package_dir, std::vector<PackageMember>& members,
                         std::vector<std::string>& problems, std::string& error);

// Appends the setting file (stored under kSettingMemberName) and one member per pre-extract
// item, its data taken from package_dir + the item's path. A missing item file or a setting file
// that cannot be read adds a message to problems.
void AddPreExtractMembers(const std::string& package_dir, const std::string& setting_file,
                          const PackageSettings& settings, std::vector<PackageMember>& members,
                          std::vector<std::string>& problems);

// Adds a message, with the reason, for every member name that the installer would refuse or cut.
void CheckMemberNames(const std::vector<PackageMember>& members,
                      std::vector<std::string>& problems);

// Adds a message for every two files or folders of the package (under package_dir, a path ending
// in a backslash) whose names differ only in letter case: on Windows one would replace the other.
void CheckLetterCase(const std::string& package_dir, const std::vector<PackageMember>& members,
                     std::vector<std::string>& problems);
