// TZlibArchiver: extraction of archive members to disk.
#include "archive/zarchive.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "package/package_format.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kOpenFailed[] = "ファイルのオープンに失敗しました。: ";
const char kNextFailed[] = "次のファイルが取得できません。: ";
const char kNotFound[] = "次のファイルが見つかりません。: ";
const char kMemberOpenFailed[] = "Archive中のファイルオープンに失敗しました。: ";
// The invalid-name message: its first part, then the reason in brackets, then the name. A leading
// backslash and a parent step have the message's own reason; every other refused shape its own.
const char kUnsafeName[] = "不正なファイル名です、展開を中止します。\r\n(";
const char kUnsafeNameEnd[] = "): ";
const char kLeadingOrParentReason[] = "\\で始まるまたは..\\を含むファイル名は展開できません";
const char kDotComponentReason[] = ".または..だけのフォルダ名やファイル名は展開できません";
const char kTrailingDotReason[] = "ピリオドまたは空白で終わるフォルダ名やファイル名は展開できません";
const char kDeviceNameReason[] = "CON、NUL、COM1などの装置名は展開できません";
const char kColonReason[] = ":を含むファイル名は展開できません";
const char kControlReason[] = "制御文字を含むファイル名は展開できません";
const char kBrokenCharacterReason[] = "Shift-JISの文字として正しくないバイトを含むファイル名は展開できません";
const char kNoMemory[] = "メモリの確保に失敗しました。";
const char kOverwrite[] = "上書きしてもよろしいですか？";
const char kReadFailed[] =
    "ファイルの読み込みに失敗しました。\r\n実行ファイルが壊れている可能性があります。: ";
const char kCloseFailed[] = "ファイルのクローズに失敗しました。: ";

constexpr unsigned kCopyBufferSize = 32768;

// Result of a failure before the member was opened or when the target cannot be created.
constexpr int kFailed = 1;

using UnsafeName = TZlibArchiver::UnsafeName;

const char* UnsafeNameReason(UnsafeName reason) {
    switch (reason) {
        case UnsafeName::kDotComponent: return kDotComponentReason;
        case UnsafeName::kTrailingDotOrBlank: return kTrailingDotReason;
        case UnsafeName::kDeviceName: return kDeviceNameReason;
        case UnsafeName::kColon: return kColonReason;
        case UnsafeName::kControlCharacter: return kControlReason;
        case UnsafeName::kBrokenCharacter: return kBrokenCharacterReason;
        default: return kLeadingOrParentReason;
    }
}


// Creation and last-write time from the member's MS-DOS time (local); no last-access time is
// passed, so it stays as it is. A time that is no date leaves the file's times as they are.
void StampFileTime(HANDLE file, uint32_t dos_time) {
    FILETIME local{}, universal{};
    if (DosDateTimeToFileTime(HIWORD(dos_time), LOWORD(dos_time), &local) &&
        LocalFileTimeToFileTime(&local, &universal)) {
        SetFileTime(file, &universal, nullptr, &universal);
    }
}

}  // namespace

TZlibArchiver::TZlibArchiver(const std::string& archive_path, HANDLE held_file)
    : archive_path_(archive_path), held_file_(held_file) {}

TZlibArchiver::~TZlibArchiver() = default;

bool TZlibArchiver::HoldArchiveFile(const std::string& archive_path, UniqueFile& held) {
    held.reset(CreateFileA(archive_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) ShowError(kOpenFailed, archive_path);
    return static_cast<bool>(held);
}

bool TZlibArchiver::OpenReader() {
    return reader_.Open(archive_path_, held_file_) &&
           (reader_.EntryCount() == 0 || reader_.First());
}

int TZlibArchiver::OpenArchive() {
    if (!OpenReader()) {
        ShowError(kOpenFailed, archive_path_);
        return 0;
    }
    return EntryCount();
}

int TZlibArchiver::ExtractNext(std::string& entry_name, const std::string& destination) {
    if (!reader_.IsOpen()) return 0;
    if (ExtractCurrent(entry_name, destination) != 0) return 0;
    if (reader_.CurrentIndex() + 1 >= reader_.EntryCount()) {
        reader_.Close();
        return -1;
    }
    if (!reader_.Next()) {
        ShowError(kNextFailed, archive_path_);
        return 0;
    }
    return 1;
}

bool TZlibArchiver::CloseArchive() {
    // Nothing open is no successful close.
    return reader_.Close();
}

bool TZlibArchiver::ExtractFile(const std::string& member_name, const std::string& destination,
                                UniqueFile* held) {
    if (!OpenReader()) {
        ShowError(kOpenFailed, archive_path_);
        return false;
    }
    bool extracted = false;
    if (!reader_.Locate(ToSlashes(member_name))) {
        ShowError(kNotFound + member_name);
    } else {
        std::string entry_name;
        held_ = held;
        extracted = ExtractCurrent(entry_name, destination) == 0;
        held_ = nullptr;
    }
    reader_.Close();
    return extracted;
}

void TZlibArchiver::EnsureFolder(const std::string& folder, std::string& checked) {
    // Members of one folder usually follow each other: check (and create) each folder once.
    if (folder == checked) return;
    if (!FolderExists(folder)) ForceFolders(folder);
    checked = folder;
}

int TZlibArchiver::ExtractCurrent(std::string& entry_name, const std::string& destination) {
    if (!reader_.IsOpen()) {
        ShowError(kMemberOpenFailed, archive_path_);
        return kFailed;
    }
    const ZipMember& member = reader_.Current();
    const std::string& name = member.name;

    const UnsafeName unsafe = CheckEntryName(name);
    if (unsafe != UnsafeName::kSafe) {
        SetLastError(ERROR_INVALID_NAME);
        ShowError(JoinText({kUnsafeName, UnsafeNameReason(unsafe), kUnsafeNameEnd, name}));
        return kFailed;
    }

    entry_name = name;
    last_entry_ = {IsDelimiterAt(name, static_cast<int>(name.size())), member.size, member.crc};
    if (recorder_ != nullptr && !recorder_->BeforeWrite(name, last_entry_)) return kFailed;

    const std::string target = TargetOf(name, destination);

    // Only stored and deflated members, never encrypted ones, with their data where the
    // directory says.
    if (!reader_.OpenMember()) {
        SetLastError(ERROR_FILE_CORRUPT);
        ShowError(kMemberOpenFailed, target);
        return kFailed;
    }

    bool skip = IsDelimiterAt(target, static_cast<int>(target.size()));  // a folder member
    if (!skip && confirm_overwrite_ == 1 && FileExists(target)) {
        skip = ShowConfirm(kOverwrite, MB_YESNO) == IDNO;
    }
    if (skip) return 0;

    return WriteMember(member, target);
}

std::string TZlibArchiver::TargetOf(const std::string& name, const std::string& destination) {
    const std::string local_name = ToBackslashes(name);
    const std::string folder_part = FolderOfNoSlash(local_name);
    EnsureFolder(destination, checked_destination_);
    std::string sub_path;
    if (keep_folders_ == 1) {
        if (!folder_part.empty()) EnsureFolder(destination + folder_part, checked_folder_);
        sub_path = folder_part + "\\";
    }
    return JoinText({destination, sub_path, FileNameOf(local_name)});
}

int TZlibArchiver::WriteMember(const ZipMember& member, const std::string& target) {
    // A file that exists is replaced only once the member is complete and checked.
    FileReplacement file(target);
    if (!file.Create()) {
        ShowWriteFailed(target);
        return kFailed;
    }
    const int result = CopyMember(member, file.get(), target);
    if (result != 0) return result;
    StampFileTime(file.get(), member.dos_time);
    if (file.Place(false) != FileReplacement::Placed::kDone) {
        ShowWriteFailed(target);
        return kFailed;
    }
    if (held_ != nullptr && !HoldPlacedFile(member, target)) {
        ShowWriteFailed(target);
        return kFailed;
    }
    return 0;
}

uint64_t TZlibArchiver::SpaceNeeded(const std::string& destination, int count) {
    uint64_t total = 0;
    uint64_t replaced = 0;
    uint64_t largest_beside = 0;
    bool more = reader_.First();
    for (int i = 0; i < count && more; ++i, more = reader_.Next()) {
        const ZipMember& member = reader_.Current();
        total += member.size;
        // Names the extraction would refuse are not looked up on the disk.
        const std::string& name = member.name;
        if (IsUnsafeEntryName(name)) continue;
        const std::string local_name = ToBackslashes(name);
        const std::string target = destination + (keep_folders_ == 1 ? local_name
                                                                     : FileNameOf(local_name));
        WIN32_FILE_ATTRIBUTE_DATA existing{};
        if (FileNameOf(local_name).empty() ||
            !GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &existing) ||
            (existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            continue;
        }
        replaced += static_cast<uint64_t>(existing.nFileSizeHigh) << 32 | existing.nFileSizeLow;
        largest_beside = std::max<uint64_t>(largest_beside, member.size);
    }
    reader_.First();
    return (total > replaced ? total - replaced : 0) + largest_beside;
}

bool TZlibArchiver::HoldPlacedFile(const ZipMember& member, const std::string& target) {
    // The file was closed to be placed, so it is read back through the new handle: whatever
    // happened to it in between, what is held is the member.
    held_->reset(CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!*held_) return false;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kCopyBufferSize]);
    uLong crc = crc32(0, nullptr, 0);
    uint64_t size = 0;
    bool read_through = buffer != nullptr;
    while (read_through) {
        DWORD read = 0;
        read_through = ReadFile(held_->get(), buffer.get(), kCopyBufferSize, &read, nullptr) != 0;
        if (read == 0) break;
        crc = crc32(crc, buffer.get(), read);
        size += read;
    }
    if (!read_through || size != member.size || crc != member.crc) {
        held_->reset();
        return false;
    }
    return true;
}

int TZlibArchiver::CopyMember(const ZipMember& member, HANDLE file, const std::string& target) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kCopyBufferSize]);
    if (!buffer) {
        ShowError(kNoMemory);
        return kFailed;
    }
    uint64_t written = 0;
    for (;;) {
        const int read = reader_.Read(buffer.get(), kCopyBufferSize);
        if (read < 0) {
            // Damaged data, unless reading the archive's file failed (its own error stands).
            if (read != ZipReader::kReadFailed) SetLastError(ERROR_CRC);
            ShowError(kReadFailed, target);
            return kFailed;
        }
        if (read == 0) break;
        DWORD done = 0;
        if (!WriteFile(file, buffer.get(), static_cast<DWORD>(read), &done, nullptr) ||
            done != static_cast<DWORD>(read)) {
            ShowWriteFailed(target);
            return kFailed;
        }
        written += done;
    }
    // Compressed data that ends before the member's size is a damaged archive, not a good file.
    if (written != member.size) {
        SetLastError(ERROR_CRC);
        ShowError(kReadFailed, target);
        return kFailed;
    }
    // The CRC is known only once every byte was read; the file is placed only when it is right.
    if (!reader_.MemberIsIntact()) {
        SetLastError(ERROR_CRC);
        ShowError(kCloseFailed, archive_path_);
        return kFailed;
    }
    return 0;
}
