// Files and folders below a root folder, through handles relative to checked parents.
#include "utils/contained_files.h"

#include <winternl.h>

#include "zlib.h"

#include "utils/text.h"

namespace {

// NTSTATUS values of the relative open (ntstatus.h clashes with the Win32 headers' own).
constexpr NTSTATUS kObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kObjectPathNotFound = static_cast<NTSTATUS>(0xC000003A);
constexpr NTSTATUS kFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
constexpr NTSTATUS kNotADirectory = static_cast<NTSTATUS>(0xC0000103);
constexpr NTSTATUS kStoppedOnSymlink = static_cast<NTSTATUS>(0x8000002D);

// NtCreateFile's option bits used here (winternl.h has the access and share values).
constexpr ULONG kDirectoryFile = 0x00000001;
constexpr ULONG kSynchronousIo = 0x00000020;
constexpr ULONG kNonDirectoryFile = 0x00000040;
constexpr ULONG kOpenForBackupIntent = 0x00004000;
constexpr ULONG kOpenReparsePoint = 0x00200000;
constexpr ULONG kOpenExisting = 1;  // FILE_OPEN
constexpr ULONG kCaseInsensitive = 0x00000040;  // OBJ_CASE_INSENSITIVE, as Win32 opens files

constexpr DWORD kReadBlock = 65536;
constexpr size_t kListingBufferSize = 64 * 1024;

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);

using NtQueryObjectFn = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
constexpr auto kObjectNameInformation = static_cast<OBJECT_INFORMATION_CLASS>(1);

// A function of ntdll, which is in every process already: found by its module, never searched
// for.
template <typename Function>
Function NativeFunction(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

// The native open, which alone opens a name relative to an open folder.
NtCreateFileFn NativeCreateFile() {
    static const auto function = NativeFunction<NtCreateFileFn>("NtCreateFile");
    return function;
}

Reach ReachOf(NTSTATUS status) {
    if (status == kObjectNameNotFound || status == kObjectPathNotFound) return Reach::kMissing;
    if (status == kFileIsADirectory || status == kNotADirectory) return Reach::kWrongKind;
    if (status == kStoppedOnSymlink) return Reach::kLink;
    return Reach::kFailed;
}

// Opens wide_name (one component) inside folder without following a reparse point; kOpened with
// handle set.
Reach OpenRelative(HANDLE folder, std::wstring& wide_name, ACCESS_MASK access, ULONG share,
                   ULONG options, UniqueFile& handle) {
    const NtCreateFileFn create = NativeCreateFile();
    if (create == nullptr || wide_name.empty() || wide_name.size() > 32767) return Reach::kFailed;
    UNICODE_STRING unicode_name;
    unicode_name.Buffer = wide_name.data();
    unicode_name.Length = static_cast<USHORT>(wide_name.size() * sizeof(wchar_t));
    unicode_name.MaximumLength = unicode_name.Length;
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof attributes;
    attributes.RootDirectory = folder;
    attributes.ObjectName = &unicode_name;
    attributes.Attributes = kCaseInsensitive;
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    const NTSTATUS status = create(&opened, access | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                                   share, kOpenExisting,
                                   options | kSynchronousIo | kOpenReparsePoint, nullptr, 0);
    if (status < 0 || opened == nullptr) return ReachOf(status);
    handle.reset(opened);
    return status == kStoppedOnSymlink ? Reach::kLink : Reach::kOpened;
}

// The name the system gives the open file or folder (its object name: on Windows the volume's
// device and the path, on Wine the drive and the path the Unix file resolved to). Cheaper under
// Wine than the file-name query, and the same for a folder and what is opened inside it.
bool HandleName(HANDLE handle, std::wstring& name) {
    static const auto query = NativeFunction<NtQueryObjectFn>("NtQueryObject");
    // Room for the longest name a path can have, in one block kept for the next call.
    static std::vector<char> buffer(sizeof(UNICODE_STRING) + 65536 * sizeof(wchar_t));
    ULONG length = 0;
    if (query == nullptr || query(handle, kObjectNameInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &length) < 0) {
        return false;
    }
    const auto* object_name = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
    name.assign(object_name->Buffer, object_name->Length / sizeof(wchar_t));
    return true;
}

bool IsReparsePoint(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) return true;
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// What the opened child of parent must be called if no link was followed on the way.
std::wstring ChildName(const std::wstring& parent, const std::wstring& name) {
    std::wstring expected = parent;
    if (expected.empty() || expected.back() != L'\\') expected += L'\\';
    return expected + name;
}


// Checks a handle opened as name inside parent; out_name receives its name.
Reach CheckOpened(HANDLE handle, const std::wstring& parent, const std::wstring& name,
                  std::wstring* out_name) {
    if (IsReparsePoint(handle)) return Reach::kLink;
    std::wstring actual;
    if (!HandleName(handle, actual)) return Reach::kFailed;
    if (!SameFileName(actual, ChildName(parent, name))) return Reach::kLink;
    if (out_name != nullptr) *out_name = std::move(actual);
    return Reach::kOpened;
}

// Nobody may rename or delete a folder while it is held; reading and writing in it go on.
constexpr ULONG kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

}  // namespace

Reach CheckedFolder::OpenRoot(const std::string& path, CheckedFolder& out) {
    out.handle_.reset(CreateFileA(path.c_str(), kFolderAccess, kFolderShare, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!out.handle_) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Reach::kMissing
                                                                              : Reach::kFailed;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(out.handle_.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
        (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        out.handle_.reset();
        return Reach::kWrongKind;
    }
    if (!HandleName(out.handle_.get(), out.name_)) {
        out.handle_.reset();
        return Reach::kFailed;
    }
    return Reach::kOpened;
}

Reach CheckedFolder::OpenChild(const std::string& name, CheckedFolder& out) const {
    std::wstring wide_name = WideText(name);
    UniqueFile handle;
    const Reach opened = OpenRelative(handle_.get(), wide_name, kFolderAccess, kFolderShare,
                                      kDirectoryFile | kOpenForBackupIntent, handle);
    if (opened != Reach::kOpened) return opened;
    std::wstring child_name;
    const Reach checked = CheckOpened(handle.get(), name_, wide_name, &child_name);
    if (checked != Reach::kOpened) return checked;
    out.handle_ = std::move(handle);
    out.name_ = std::move(child_name);
    return Reach::kOpened;
}

Reach CheckedFile::Open(const CheckedFolder& folder, const std::string& name, CheckedFile& out) {
    std::wstring wide_name = WideText(name);
    UniqueFile handle;
    // No sequential-access hint: installed files are mostly read in one call, and under Wine the
    // hint costs its server a system call on every open.
    const Reach opened = OpenRelative(
        folder.get(), wide_name,
        DELETE | FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_DELETE, kNonDirectoryFile, handle);
    if (opened != Reach::kOpened) return opened;
    const Reach checked = CheckOpened(handle.get(), folder.name(), wide_name, nullptr);
    if (checked != Reach::kOpened) return checked;
    out.handle_ = std::move(handle);
    return Reach::kOpened;
}

bool CheckedFile::ReadSizeAndCrc(uint64_t& size, uint32_t& crc,
                                 std::vector<unsigned char>& buffer) const {
    if (buffer.size() < kReadBlock) buffer.resize(kReadBlock);
    uLong sum = crc32(0, nullptr, 0);
    uint64_t total = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(handle_.get(), buffer.data(), kReadBlock, &read, nullptr)) return false;
        sum = crc32(sum, buffer.data(), read);
        total += read;
        // A synchronous read of a file stops short only at its end: most installed files take
        // one read.
        if (read < kReadBlock) break;
    }
    size = total;
    crc = static_cast<uint32_t>(sum);
    return true;
}

bool CheckedFile::ReadSmall(size_t limit, std::string& content) const {
    content.assign(limit + 1, '\0');
    DWORD read = 0;
    if (!ReadFile(handle_.get(), content.data(), static_cast<DWORD>(content.size()), &read,
                  nullptr) ||
        read > limit) {
        return false;
    }
    content.resize(read);
    return true;
}

bool CheckedFile::Delete() {
    return DeleteThroughHandle(handle_.get());
}

Reach RemoveEmptyChildFolder(const CheckedFolder& folder, const std::string& name) {
    std::wstring wide_name = WideText(name);
    UniqueFile handle;
    const Reach opened = OpenRelative(folder.get(), wide_name, DELETE | FILE_READ_ATTRIBUTES |
                                                              FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      kDirectoryFile | kOpenForBackupIntent, handle);
    if (opened != Reach::kOpened) return opened;
    const Reach checked = CheckOpened(handle.get(), folder.name(), wide_name, nullptr);
    if (checked != Reach::kOpened) return checked;
    return DeleteThroughHandle(handle.get()) ? Reach::kOpened : Reach::kFailed;
}

bool DeleteThroughHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) {
        return true;
    }
    FILE_BASIC_INFO basic{};
    if (GetLastError() != ERROR_ACCESS_DENIED ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
        return false;
    }
    // Read-only (or hidden or system): cleared and tried again; zero times leave the times as
    // they are.
    const DWORD kept = basic.FileAttributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY |
                                                FILE_ATTRIBUTE_REPARSE_POINT);
    basic = FILE_BASIC_INFO{};
    basic.FileAttributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) &&
           SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof disposition);
}

bool CheckedFolder::List(std::vector<std::string>& names) const {
    // The whole listing first: deleting while the listing goes on could make it skip entries.
    std::vector<char> buffer(kListingBufferSize);
    FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(handle_.get(), request, buffer.data(),
                                        static_cast<DWORD>(buffer.size()))) {
        request = FileIdBothDirectoryInfo;
        for (size_t at = 0;;) {
            const auto* item = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
            const std::wstring name(item->FileName, item->FileNameLength / sizeof(WCHAR));
            if (name != L"." && name != L"..") names.push_back(NarrowText(name));
            if (item->NextEntryOffset == 0) break;
            at += item->NextEntryOffset;
        }
    }
    return GetLastError() == ERROR_NO_MORE_FILES;
}

bool CheckedFile::IsOnlyName() const {
    BY_HANDLE_FILE_INFORMATION information{};
    return GetFileInformationByHandle(handle_.get(), &information) &&
           information.nNumberOfLinks == 1;
}

bool CheckedFile::ReadAll(size_t limit, std::string& content) const {
    content.clear();
    char block[16384];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(handle_.get(), block, sizeof block, &read, nullptr)) return false;
        if (read == 0) return true;
        if (content.size() + read > limit) return false;
        content.append(block, read);
    }
}

Reach RemoveChildLink(const CheckedFolder& folder, const std::string& name) {
    std::wstring wide_name = WideText(name);
    UniqueFile handle;
    const Reach opened = OpenRelative(folder.get(), wide_name,
                                      DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      kOpenForBackupIntent, handle);
    if (opened != Reach::kOpened && opened != Reach::kLink) return opened;
    // The handle must be the link itself: a reparse point by the name asked for. One the system
    // followed carries its target's name.
    std::wstring actual;
    if (!HandleName(handle.get(), actual) || !SameFileName(actual, ChildName(folder.name(), wide_name))) {
        return Reach::kLink;
    }
    if (!IsReparsePoint(handle.get())) return Reach::kWrongKind;
    return DeleteThroughHandle(handle.get()) ? Reach::kOpened : Reach::kFailed;
}

namespace {

// Deletes the file or link at name inside the folder (a link as itself): kOpened when it went,
// kMissing when nothing was there, kWrongKind for a folder there.
Reach RemoveFileOrLink(const CheckedFolder& folder, const std::string& name) {
    CheckedFile file;
    const Reach reach = CheckedFile::Open(folder, name, file);
    if (reach == Reach::kOpened) return file.Delete() ? Reach::kOpened : Reach::kFailed;
    return reach == Reach::kLink ? RemoveChildLink(folder, name) : reach;
}

bool Gone(Reach reach) {
    return reach == Reach::kOpened || reach == Reach::kMissing;
}

// Deletes whatever stands at name inside the folder, a folder with everything in it: files
// through their handles, links as links, folders once empty. True when nothing is there
// afterwards.
bool RemoveChild(const CheckedFolder& folder, const std::string& name) {
    const Reach removed = RemoveFileOrLink(folder, name);
    if (removed != Reach::kWrongKind) return Gone(removed);
    CheckedFolder child;
    const Reach reach = folder.OpenChild(name, child);
    if (reach == Reach::kLink) return RemoveChildLink(folder, name) == Reach::kOpened;
    if (reach != Reach::kOpened) return reach == Reach::kMissing;
    std::vector<std::string> names;
    bool emptied = child.List(names);
    for (const std::string& entry : names) {
        if (!RemoveChild(child, entry)) emptied = false;
    }
    child.reset();
    return emptied && RemoveEmptyChildFolder(folder, name) == Reach::kOpened;
}

// The folder that holds path, as the system resolves it, and the entry's name in it.
Reach OpenParent(const std::string& path, CheckedFolder& parent, std::string& name) {
    const std::string entry = StripTrailingDelimiter(path);
    name = FileNameOf(entry);
    return name.empty() ? Reach::kFailed : CheckedFolder::OpenRoot(FolderOf(entry), parent);
}

}  // namespace

bool DeleteTree(const std::string& path) {
    CheckedFolder parent;
    std::string name;
    const Reach reach = OpenParent(path, parent, name);
    if (reach == Reach::kMissing) return true;
    return reach == Reach::kOpened && RemoveChild(parent, name);
}

bool DeleteEntry(const std::string& path) {
    CheckedFolder parent;
    std::string name;
    const Reach reach = OpenParent(path, parent, name);
    if (reach != Reach::kOpened) return reach == Reach::kMissing;
    return Gone(RemoveFileOrLink(parent, name));
}
