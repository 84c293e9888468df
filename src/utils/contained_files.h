// Files and folders below a root folder, reached only through handles opened relative to their
// checked parent folders and never through a link: what a deletion inside a folder that other
// programs can write to needs (the NT equivalent of openat and unlinkat). The program's one way
// to delete without following a link, and its one user of the native open. Each open is checked
// twice, because systems differ in what they show of a link:
// - a handle opened without following a reparse point (junction, symbolic link, mount point) is
//   that reparse point, and its attributes say so (Windows);
// - a handle opened through a link that the system followed anyway carries the name of the
//   target, not the name that was opened (Wine follows every Unix symbolic link and shows no
//   reparse point for a linked file).
// Deletion goes through the checked handle, so the path is never resolved a second time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "utils/unique_any.h"

// The outcome of opening a folder or file below a checked folder.
enum class Reach {
    kOpened,
    kMissing,    // nothing of that name (or a parent is missing)
    kLink,       // a reparse point, or a name that led somewhere else: never followed
    kWrongKind,  // a folder where a file was expected, or the reverse
    kFailed,     // any other refusal (access, sharing)
};

// An open folder that has been checked: not a reparse point, and, below its root, reached only
// through checked folders. Holds the folder against renaming and deletion by others while open.
class CheckedFolder {
public:
    CheckedFolder() = default;

    // Opens an existing folder by its full path (code page of the system); links above and at
    // the path itself are the system's business: the root is where the caller says it is.
    static Reach OpenRoot(const std::string& path, CheckedFolder& out);
    // Opens the folder name (one component, no separator) inside this one.
    Reach OpenChild(const std::string& name, CheckedFolder& out) const;

    HANDLE get() const { return handle_.get(); }
    explicit operator bool() const { return static_cast<bool>(handle_); }
    void reset() { handle_.reset(); }

    // The name the system gives the open folder, e.g. "\Device\HarddiskVolume1\dir\sub" or,
    // under Wine, "\??\C:\dir\sub".
    const std::wstring& name() const { return name_; }

    // The names of the folder's entries but "." and ".." (in the system's code page); false when
    // the listing failed part-way.
    bool List(std::vector<std::string>& names) const;

private:
    UniqueFile handle_;
    std::wstring name_;
};

// An open file inside a checked folder, opened for reading and deletion without following a link.
class CheckedFile {
public:
    CheckedFile() = default;

    // Opens the file name (one component) inside the folder. Others may go on reading it.
    static Reach Open(const CheckedFolder& folder, const std::string& name, CheckedFile& out);

    // The file's size and CRC-32, read through the handle; false when it can't be read.
    bool ReadSizeAndCrc(uint64_t& size, uint32_t& crc, std::vector<unsigned char>& buffer) const;
    // Up to limit bytes from the start; false when it can't be read or is longer.
    bool ReadSmall(size_t limit, std::string& content) const;
    // Deletes the file through the handle (clearing a read-only attribute when the system refuses
    // otherwise); it is gone once the handle is closed. True when the deletion was accepted.
    bool Delete();
    // True when the file has no other name (no hard link elsewhere): its data is this entry's.
    bool IsOnlyName() const;
    // The whole file from its current position, up to limit bytes; false when it can't be read or
    // is longer.
    bool ReadAll(size_t limit, std::string& content) const;

    HANDLE get() const { return handle_.get(); }
    explicit operator bool() const { return static_cast<bool>(handle_); }
    void reset() { handle_.reset(); }

private:
    UniqueFile handle_;
};

// Removes the folder name (one component) inside the folder when it is empty, through a checked
// handle. kOpened when it was removed; kFailed also for a folder that is not empty.
Reach RemoveEmptyChildFolder(const CheckedFolder& folder, const std::string& name);
// Removes the link name (one component) inside the folder as itself, never what it leads to.
// kOpened when it was removed; kWrongKind when no reparse point stands there; kLink when the
// system followed it all the same (Wine follows every Unix symbolic link): it stays.
Reach RemoveChildLink(const CheckedFolder& folder, const std::string& name);
// Deletes the file, link or folder (with everything in it) at path itself, never what a link
// there or inside leads to: the parent folder as the system resolves path, the entry checked
// inside it (so that a link of the same name never passes for it). True when nothing is at path
// any more.
bool DeleteTree(const std::string& path);
// The same for a file or link only: a folder at path stays (false).
bool DeleteEntry(const std::string& path);
// Deletes an open file (or empty folder) through its handle, opened with DELETE access (and
// FILE_WRITE_ATTRIBUTES, to clear a read-only attribute that refuses the deletion). It goes when
// its last handle is closed.
bool DeleteThroughHandle(HANDLE handle);
