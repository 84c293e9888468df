// Writing the package archive with minizip's zip writer, and putting files together, with
// data streamed in 32 KB pieces so that memory stays flat whatever the file sizes.
#pragma once

#include <string>
#include <vector>

#include "package_members.h"

// A file with a fresh name in the output folder, deleted when its owner goes away unless it
// was moved to its final name: a failed build leaves no half-written output behind.
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates an empty file in folder (a path ending in a backslash).
    bool Create(const std::string& folder);
    const std::string& path() const { return path_; }
    // Renames the file to destination, replacing a file of that name; on success the file is
    // no longer this owner's to delete.
    bool MoveTo(const std::string& destination);

private:
    std::string path_;
};

// Writes the members, in order, into a new ZIP archive at path (an existing file is replaced):
// files deflated at level (1 to 9) or stored when level is 0, folders stored empty, member times
// the files' last-write times as local DOS time; ZIP64 end records above 65,535 entries; the
// comment a placeholder seal, for SealArchive (archive/seal.h) once the package file is complete.
// False with error filled, also when the archive reaches 4 GiB.
bool WriteZipArchive(const std::string& path, const std::vector<PackageMember>& members, int level,
                     std::string& error);

// Writes the sources one after another into path (an existing file is replaced).
bool ConcatenateFiles(const std::string& path, const std::vector<std::string>& sources,
                      std::string& error);
