// File-system operations: existence tests, folder creation, forced deletion, deletion that never
// follows a link.
#include "utils/files.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

// The longest path the system opens: MAX_PATH counts the terminating zero.
constexpr size_t kMaxPathChars = MAX_PATH - 1;
constexpr DWORD kShortNameAttempts = 16;
constexpr DWORD kCopyBufferSize = 64 * 1024;

bool AlreadyExists(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Whether the system takes the path: its length in UTF-16 characters, as the system converts it.
bool FitsInPath(const std::string& path) {
    return WideText(path).size() <= kMaxPathChars;
}

// A name in the target's folder that fits wherever the target fits: "~" and hexadecimal digits of
// number, no longer than the room the folder leaves (at least the target's own name's length).
std::string ShortNameBeside(const std::string& target, DWORD number) {
    const std::string folder = FolderOf(target);
    const size_t used = WideText(folder).size();
    const size_t room = used < kMaxPathChars ? kMaxPathChars - used : 1;
    const std::string digits = IntToHexText(number, 8);
    const size_t length = std::min<size_t>(room, 1 + digits.size());
    return folder + "~" + digits.substr(digits.size() - (length - 1));
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

bool ReadWholeFile(const std::string& path, std::string& content) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x10000000) return false;
    content.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return content.empty() ||
           (ReadFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &read,
                     nullptr) &&
            read == content.size());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, DWORD creation) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, creation,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file &&
           WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size() && file.close();
}

bool SamePath(const std::string& a, const std::string& b) {
    const auto wide = [](const std::string& path) {
        return WideText(StripTrailingDelimiter(ToBackslashes(FullPath(path))));
    };
    return SameFileName(wide(a), wide(b));
}

bool IsInsideFolder(const std::string& path, const std::string& folder, std::string& relative) {
    const std::string full = ToBackslashes(FullPath(path));
    const std::string base = AddBackslash(StripTrailingDelimiter(ToBackslashes(FullPath(folder))));
    if (full.size() <= base.size() || !SamePath(full.substr(0, base.size()), base)) return false;
    // The cut must fall on a character boundary: the byte before it is a real delimiter.
    if (!IsDelimiterAt(full, static_cast<int>(base.size()))) return false;
    relative = StripTrailingDelimiter(full.substr(base.size()));
    return !relative.empty();
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

FileReplacement::~FileReplacement() {
    if (placed_ || written_.empty()) return;
    // Discarding an unfinished file is the way out of a failure: the failure's error code stays
    // for the log line that reports it.
    const DWORD error = GetLastError();
    file_.reset();
    DeleteEntry(written_);
    SetLastError(error);
}

bool FileReplacement::Create() {
    if (CreateAt(target_)) return true;
    if (!AlreadyExists(GetLastError())) return false;
    const std::string part = target_ + kPartSuffix;
    if (FitsInPath(part)) {
        if (CreateAt(part)) return true;
        // A part that an interrupted run left behind (or a link put there) goes, as itself.
        if (!AlreadyExists(GetLastError()) || !DeleteEntry(part)) return false;
        return CreateAt(part);
    }
    // Only a new name, never one that exists: it may be anybody's file.
    const DWORD base = GetTickCount() ^ GetCurrentProcessId();
    for (DWORD attempt = 0; attempt < kShortNameAttempts; ++attempt) {
        if (CreateAt(ShortNameBeside(target_, base + attempt))) return true;
        if (!AlreadyExists(GetLastError())) return false;
    }
    return false;
}

bool FileReplacement::CreateAt(const std::string& path) {
    file_.reset(CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file_) written_ = path;
    return static_cast<bool>(file_);
}

bool FileReplacement::Write(const void* data, DWORD size) {
    DWORD done = 0;
    return WriteFile(file_.get(), data, size, &done, nullptr) && done == size;
}

FileReplacement::Placed FileReplacement::Place(bool flush) {
    if (flush && !FlushFileBuffers(file_.get())) return Placed::kWriteFailed;
    if (written_ != target_) {
        if (!RenameToTarget()) {
            if (GetLastError() != ERROR_ACCESS_DENIED) return Placed::kRefused;
            SetFileAttributesA(target_.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!RenameToTarget()) return Placed::kRefused;
        }
        // The earlier file is gone: the complete new one stays, whatever happens next.
        placed_ = true;
    }
    if (!file_.close()) return Placed::kWriteFailed;
    placed_ = true;
    return Placed::kDone;
}

bool FileReplacement::RenameToTarget() {
    // Through the handle, not by name: the file cannot be swapped in between, and Wine spares
    // the round trips of opening it again.
    const std::wstring target = WideText(target_);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + sizeof(WCHAR) * (target.size() + 1));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(sizeof(WCHAR) * target.size());
    std::copy(target.begin(), target.end(), info->FileName);
    return SetFileInformationByHandle(file_.get(), FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size())) != FALSE;
}

FileReplacement::Placed CopyReplacing(const std::string& source, const std::string& target) {
    UniqueFile in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    FileReplacement out(target);
    if (!in || !out.Create()) return FileReplacement::Placed::kWriteFailed;
    std::vector<char> buffer(kCopyBufferSize);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(in.get(), buffer.data(), kCopyBufferSize, &read, nullptr)) {
            return FileReplacement::Placed::kWriteFailed;
        }
        if (read == 0) break;
        if (!out.Write(buffer.data(), read)) return FileReplacement::Placed::kWriteFailed;
    }
    return out.Place(true);
}

FileReplacement::Placed WriteReplacing(const std::string& target, const std::string& content) {
    FileReplacement out(target);
    if (!out.Create() || !out.Write(content.data(), static_cast<DWORD>(content.size()))) {
        return FileReplacement::Placed::kWriteFailed;
    }
    return out.Place(true);
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
