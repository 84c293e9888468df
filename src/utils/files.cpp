// File-system operations: existence tests, folder creation, forced deletion.
#include "utils/files.h"

#include <windows.h>

#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

// Runs a deletion; when it is refused for access, clears the attributes and tries once more.
template <typename Delete>
bool DeleteWithAttributeRetry(const std::string& path, Delete remove) {
    if (remove(path.c_str())) return true;
    if (GetLastError() != ERROR_ACCESS_DENIED) return false;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return remove(path.c_str()) != FALSE;
}

// The answer FreeDiskSpace gives while a ScopedFreeSpace lives.
bool g_free_space_fixed = false;
uint64_t g_fixed_free_space = 0;

}  // namespace

bool FileExists(const std::string& path) {
    // OpenFile(OF_EXIST) would cap the path at 127 bytes; users install into deep folders.
    // Opening with full sharing answers the same question ("can it be opened for reading")
    // for any length; a folder cannot be opened without backup semantics, so it reads as false.
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

bool FolderExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH + 1] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length == 0 || length >= sizeof full ? path : std::string(full);
}

bool CreateFolder(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool ForceFolders(const std::string& path) {
    if (path.empty()) return true;
    const std::string folder = StripTrailingDelimiter(path);
    if (folder.size() < 3 || FolderExists(folder)) return true;
    const std::string parent = FolderOf(folder);
    if (parent == folder) return true;
    if (!ForceFolders(parent)) return false;
    return CreateFolder(folder);
}

bool DeleteFileForced(const std::string& path) {
    return DeleteWithAttributeRetry(path, DeleteFileA);
}

bool RemoveFolderForced(const std::string& path) {
    return DeleteWithAttributeRetry(path, RemoveDirectoryA);
}

void DeleteTree(const std::string& folder) {
    const std::string base = StripTrailingDelimiter(folder);
    const DWORD own = GetFileAttributesA(base.c_str());
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveFolderForced(base);  // the folder itself was replaced by a link
        return;
    }
    WIN32_FIND_DATAA entry;
    {
        UniqueFindHandle search(FindFirstFileA((base + "\\*").c_str(), &entry));
        if (search) {
            do {
                const std::string name = entry.cFileName;
                if (name == "." || name == "..") continue;
                const std::string path = base + "\\" + name;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
                    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                }
                const DWORD attributes = entry.dwFileAttributes;
                if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    // A junction or symbolic link: remove the link, never what it points to.
                    RemoveFolderForced(path);
                } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                    DeleteTree(path);
                } else {
                    DeleteFileForced(path);
                }
            } while (FindNextFileA(search.get(), &entry));
        }
    }
    if (!RemoveDirectoryA(base.c_str()) && GetLastError() != ERROR_PATH_NOT_FOUND) {
        SetFileAttributesA(base.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryA(base.c_str());
    }
}

bool MoveFileByCopy(const std::string& source, const std::string& destination) {
    if (!CopyFileA(source.c_str(), destination.c_str(), FALSE)) return false;
    DeleteFileForced(source);
    return true;
}

bool FreeDiskSpace(const std::string& path, uint64_t& free_bytes) {
    if (g_free_space_fixed) {
        free_bytes = g_fixed_free_space;
        return true;
    }
    std::string folder = StripTrailingDelimiter(path);
    while (!folder.empty() && !FolderExists(folder)) {
        const std::string parent = StripTrailingDelimiter(FolderOf(folder));
        if (parent == folder) break;
        folder = parent;
    }
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExA(AddBackslash(folder).c_str(), &available, nullptr, nullptr)) {
        return false;
    }
    free_bytes = available.QuadPart;
    return true;
}

ScopedFreeSpace::ScopedFreeSpace(uint64_t free_bytes) {
    g_free_space_fixed = true;
    g_fixed_free_space = free_bytes;
}

ScopedFreeSpace::~ScopedFreeSpace() {
    g_free_space_fixed = false;
}
