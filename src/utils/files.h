// File-system operations on code page 932 paths. Each reports success as a bool and never shows a
// message: the caller decides what to tell the user.
#pragma once

#include <cstdint>
#include <string>

// True for an existing file that can be opened for reading; false for a folder or a missing file.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// The absolute form of path (relative to the current folder), or path itself when it cannot be
// made absolute within MAX_PATH.
std::string FullPath(const std::string& path);
// Creates one folder; false when it exists already, its parent is missing or access is denied.
bool CreateFolder(const std::string& path);
// Creates the folder and every missing parent, outermost first.
bool ForceFolders(const std::string& path);
// Deletes a file, clearing read-only, hidden and system attributes when the deletion is refused.
bool DeleteFileForced(const std::string& path);
// Removes an empty folder, clearing its attributes when the removal is refused.
bool RemoveFolderForced(const std::string& path);
// Deletes the folder and everything in it; what cannot be deleted stays, silently. Junctions and
// symbolic links inside are removed as links: the tree never reaches out of the folder.
void DeleteTree(const std::string& folder);
// Copies source over destination and then deletes the source. On failure the source stays.
bool MoveFileByCopy(const std::string& source, const std::string& destination);

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
