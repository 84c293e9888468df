// File-system operations on code page 932 paths. Each reports success as a bool and never shows a
// message: the caller decides what to tell the user.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

#include "utils/contained_files.h"
#include "utils/unique_any.h"

// True for an existing file that can be opened for reading; false for a folder or a missing file.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// The absolute form of path (relative to the current folder), or path itself when it cannot be
// made absolute within MAX_PATH.
std::string FullPath(const std::string& path);
// The whole file, or false when it can't be read (or is larger than 256 MB).
bool ReadWholeFile(const std::string& path, std::string& content);
// Writes bytes as the whole file; creation is CreateFile's disposition (CREATE_NEW: never over a
// file that exists). False when the file cannot be made or not every byte was written.
bool WriteWholeFile(const std::string& path, const std::string& bytes,
                    DWORD creation = CREATE_ALWAYS);
// True when the two paths name the same file or folder by their text: full paths compared without
// regard to letter case (as the file system does), a trailing delimiter ignored.
bool SamePath(const std::string& a, const std::string& b);
// True when path lies inside folder (below it, not the folder itself); relative then receives the
// part below folder, without a leading delimiter.
bool IsInsideFolder(const std::string& path, const std::string& folder, std::string& relative);
// Creates one folder; false when it exists already, its parent is missing or access is denied.
bool CreateFolder(const std::string& path);
// Creates the folder and every missing parent, outermost first.
bool ForceFolders(const std::string& path);
// A file written beside its target and moved into place only once it is complete, so that the
// earlier file stays whole until then, and for good when anything fails. A target that does not
// exist yet is written under its own name (nothing to keep, and no move to pay for). Whatever was
// created is removed again unless Place succeeded.
class FileReplacement {
public:
    // Suffix of the name beside the target that the data is written to. When the target's path
    // is so long that the suffix would not fit, a short name in the same folder is taken.
    static constexpr char kPartSuffix[] = ".$$part$$";

    // What Place did.
    enum class Placed {
        kDone,        // the file is in place
        kWriteFailed, // its data could not be written out: the earlier file stays
        kRefused,     // complete, but the earlier file could not be replaced (in use): it stays
    };

    explicit FileReplacement(std::string target) : target_(std::move(target)) {}
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the file to write (with the rights to set its times and to move it through its
    // handle); false when no file can be created there.
    bool Create();
    HANDLE get() const { return file_.get(); }
    // Writes all of data; false when that fails (a full disk).
    bool Write(const void* data, DWORD size);
    // Moves the written file over the target (a read-only target is made writable first) and
    // closes it; with flush, its data reaches the disk before it replaces anything.
    Placed Place(bool flush);

private:
    bool CreateAt(const std::string& path);
    // Renames the open file to the target, replacing it, through its handle.
    bool RenameToTarget();

    std::string target_;
    std::string written_;  // the file created, once there is one
    UniqueFile file_;
    bool placed_ = false;
};

// Replaces target by a copy of source, or by content, written beside it and moved into place
// once complete (FileReplacement) with its data flushed to the disk.
FileReplacement::Placed CopyReplacing(const std::string& source, const std::string& target);
FileReplacement::Placed WriteReplacing(const std::string& target, const std::string& content);

// The bytes the caller may still write on the volume that holds path; a path that does not
// exist yet is answered for its nearest existing parent. False when no parent can be asked.
bool FreeDiskSpace(const std::string& path, uint64_t& free_bytes);

// While alive, FreeDiskSpace answers free_bytes for every path: a full disk for tests.
class ScopedFreeSpace {
public:
    explicit ScopedFreeSpace(uint64_t free_bytes);
    ~ScopedFreeSpace();
    ScopedFreeSpace(const ScopedFreeSpace&) = delete;
    ScopedFreeSpace& operator=(const ScopedFreeSpace&) = delete;
};
