// File-system operations: existence tests, folder creation, forced deletion, deletion that never
// follows a link.
#include "utils/files.h"

#include <windows.h>

#include <winternl.h>

#include <algorithm>
#include <utility>
#include <vector>

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

// What NoFollowEntry opens every entry with: enough to read its attributes and name, clear a
// read-only attribute and delete it. Nobody else is kept from using it meanwhile.
constexpr DWORD kEntryAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// NtCreateFile's disposition and options (ntifs.h): open what exists, synchronous, with backup
// semantics (folders too), the reparse point itself.
constexpr ULONG kFileOpen = 0x00000001;
constexpr ULONG kSynchronousIoNonAlert = 0x00000020;
constexpr ULONG kOpenForBackupIntent = 0x00004000;
constexpr ULONG kOpenReparsePoint = 0x00200000;
constexpr size_t kMaxNameChars = 32767;
constexpr size_t kListingBufferSize = 64 * 1024;

using NtCreateFileFunction = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                              PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG,
                                              ULONG, ULONG, PVOID, ULONG);

// NtCreateFile, the system's only call that opens a name relative to an open folder; ntdll is in
// every process, so asking for it loads nothing.
NtCreateFileFunction NtCreateFileFunctionOfNtdll() {
    static const auto function = reinterpret_cast<NtCreateFileFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtCreateFile")));
    return function;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The name of the opened file from its volume's root, such as \dir\file; empty when the system
// does not tell.
std::wstring NameOfHandle(HANDLE handle) {
    std::vector<char> buffer(sizeof(FILE_NAME_INFO) + MAX_PATH * sizeof(WCHAR));
    for (;;) {
        auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
        if (GetFileInformationByHandleEx(handle, FileNameInfo, info,
                                         static_cast<DWORD>(buffer.size()))) {
            return std::wstring(info->FileName, info->FileNameLength / sizeof(WCHAR));
        }
        if (GetLastError() != ERROR_MORE_DATA || buffer.size() > kMaxNameChars * sizeof(WCHAR)) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

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

bool SamePath(const std::string& a, const std::string& b) {
    const auto wide = [](const std::string& path) {
        return WideText(StripTrailingDelimiter(ToBackslashes(FullPath(path))));
    };
    return SameName(wide(a), wide(b));
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

bool DeleteFileForced(const std::string& path) {
    return DeleteWithAttributeRetry(path, DeleteFileA);
}

bool RemoveFolderForced(const std::string& path) {
    return DeleteWithAttributeRetry(path, RemoveDirectoryA);
}

bool DeleteTree(const std::string& folder) {
    const std::string path = StripTrailingDelimiter(folder);
    NoFollowEntry root = NoFollowEntry::Open(path, FILE_LIST_DIRECTORY);
    if (!root) return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (root.IsFolder()) root.DeleteContents();
    return root.Delete();  // a link that replaced the folder goes as a link
}

bool DeleteOpenFile(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition)) {
        return true;
    }
    FILE_BASIC_INFO basic{};
    if (GetLastError() != ERROR_ACCESS_DENIED ||
        !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        return false;
    }
    // Read-only (or hidden or system): cleared, as DeleteFileForced does, and tried again. Zero
    // times leave the times as they are.
    const DWORD kept = basic.FileAttributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY |
                                                FILE_ATTRIBUTE_REPARSE_POINT);
    basic = FILE_BASIC_INFO{};
    basic.FileAttributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) &&
           SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

bool DeleteEntryNoFollow(const std::string& path) {
    NoFollowEntry entry = NoFollowEntry::Open(path);
    if (!entry) return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    return entry.Delete();
}

NoFollowEntry NoFollowEntry::Open(const std::string& path, DWORD extra_access) {
    // The entry's folder is taken as the system resolves it (a link above the entry is the
    // system's or the user's); the entry is opened inside it, and what the handle reaches must be
    // that folder's entry of that name on its volume. Its last name alone would let a link of
    // the same name (to a folder called alike elsewhere) pass for it.
    const std::wstring wide = WideText(StripTrailingDelimiter(path));
    const size_t separator = wide.find_last_of(L"\\/");
    const std::wstring folder_path =
        separator == std::wstring::npos ? L"." : wide.substr(0, separator + 1);
    NoFollowEntry folder;
    folder.handle_.reset(CreateFileW(folder_path.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                     kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                     nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!folder || !GetFileInformationByHandle(folder.get(), &information)) return {};
    folder.name_ = NameOfHandle(folder.get());
    folder.volume_ = information.dwVolumeSerialNumber;
    return folder.OpenInside(wide.substr(separator + 1), 0, extra_access);
}

NoFollowEntry NoFollowEntry::OpenInside(const std::wstring& name, DWORD listed_attributes,
                                        DWORD extra_access) const {
    NoFollowEntry entry;
    const NtCreateFileFunction create = NtCreateFileFunctionOfNtdll();
    if (create == nullptr || name.size() > kMaxNameChars) return entry;
    UNICODE_STRING unicode_name;
    unicode_name.Buffer = const_cast<PWSTR>(name.c_str());
    unicode_name.Length = static_cast<USHORT>(name.size() * sizeof(WCHAR));
    unicode_name.MaximumLength = unicode_name.Length;
    OBJECT_ATTRIBUTES object{};
    InitializeObjectAttributes(&object, &unicode_name, OBJ_CASE_INSENSITIVE, handle_.get(),
                               nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE opened = nullptr;
    // A folder is opened to be listed too (FILE_LIST_DIRECTORY): what the listing said it is.
    const ACCESS_MASK listing =
        (listed_attributes & FILE_ATTRIBUTE_DIRECTORY) ? FILE_LIST_DIRECTORY : 0;
    const ACCESS_MASK access = kEntryAccess | extra_access | listing;
    if (create(&opened, access, &object, &status, nullptr, 0, kShareAll, kFileOpen,
               kOpenReparsePoint | kOpenForBackupIntent | kSynchronousIoNonAlert, nullptr, 0) < 0) {
        return entry;
    }
    entry.handle_.reset(opened);
    const bool root = !name_.empty() && name_.back() == L'\\';
    entry.Inspect(name_ + (root ? L"" : L"\\") + name, volume_, listed_attributes);
    return entry;
}

void NoFollowEntry::Inspect(const std::wstring& expected_name, DWORD expected_volume,
                            DWORD listed_attributes) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    BY_HANDLE_FILE_INFORMATION information{};
    name_ = NameOfHandle(handle_.get());
    const bool known =
        GetFileInformationByHandleEx(handle_.get(), FileAttributeTagInfo, &tag, sizeof tag) &&
        GetFileInformationByHandle(handle_.get(), &information) && !name_.empty();
    attributes_ = tag.FileAttributes;
    links_ = information.nNumberOfLinks;
    volume_ = information.dwVolumeSerialNumber;
    // What was opened must be the entry itself: the name the system gives the handle, from the
    // volume's root, is the entry's on the same volume (Wine's shows where a link led).
    named_ = known && volume_ == expected_volume && SameName(name_, expected_name);
    link_ = !named_ || ((attributes_ | listed_attributes) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool NoFollowEntry::Delete() {
    if (!handle_ || !named_) return false;
    const bool deleted = DeleteOpenFile(handle_.get());
    handle_.reset();  // the entry goes when its last handle is closed
    return deleted;
}

bool NoFollowEntry::DeleteContents() {
    if (!IsFolder() || !named_) return false;
    // The whole listing first: deleting while the listing goes on could make it skip entries.
    std::vector<std::pair<std::wstring, DWORD>> entries;
    std::vector<char> buffer(kListingBufferSize);
    FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(handle_.get(), request, buffer.data(),
                                        static_cast<DWORD>(buffer.size()))) {
        request = FileIdBothDirectoryInfo;
        for (size_t at = 0;;) {
            const auto* item = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
            const std::wstring name(item->FileName, item->FileNameLength / sizeof(WCHAR));
            if (name != L"." && name != L"..") entries.emplace_back(name, item->FileAttributes);
            if (item->NextEntryOffset == 0) break;
            at += item->NextEntryOffset;
        }
    }
    bool empty = GetLastError() == ERROR_NO_MORE_FILES;
    for (const auto& [name, attributes] : entries) {
        NoFollowEntry entry = OpenInside(name, attributes);
        if (entry.IsFolder()) entry.DeleteContents();
        if (!entry.Delete()) empty = false;
    }
    return empty;
}

bool MoveFileByCopy(const std::string& source, const std::string& destination) {
    if (!CopyFileA(source.c_str(), destination.c_str(), FALSE)) return false;
    DeleteFileForced(source);
    return true;
}

FileReplacement::~FileReplacement() {
    if (placed_ || written_.empty()) return;
    file_.reset();
    DeleteFileForced(written_);
}

bool FileReplacement::Create() {
    if (CreateAt(target_)) return true;
    if (!AlreadyExists(GetLastError())) return false;
    const std::string part = target_ + kPartSuffix;
    if (FitsInPath(part)) {
        if (CreateAt(part)) return true;
        // A part that an interrupted run left behind (or a link put there) goes, as itself.
        if (!AlreadyExists(GetLastError()) || !DeleteEntryNoFollow(part)) return false;
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
