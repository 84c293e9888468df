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
const char kInfoFailed[] = "ファイルの情報が取得できませんでした。: ";
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

constexpr uLong kNameBufferSize = kMaxMemberName;  // longer member names are cut
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


// Creation and last-write time from the member's time (local); no last-access time is passed,
// so it stays as it is.
void StampFileTime(HANDLE file, const tm_unz& time) {
    SYSTEMTIME system{};
    system.wYear = static_cast<WORD>(time.tm_year);
    system.wMonth = static_cast<WORD>(time.tm_mon + 1);
    system.wDay = static_cast<WORD>(time.tm_mday);
    system.wHour = static_cast<WORD>(time.tm_hour);
    system.wMinute = static_cast<WORD>(time.tm_min);
    system.wSecond = static_cast<WORD>(time.tm_sec);
    FILETIME local{}, universal{};
    SystemTimeToFileTime(&system, &local);
    LocalFileTimeToFileTime(&local, &universal);
    SetFileTime(file, &universal, nullptr, &universal);
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
    reader_.reset(OpenZipReader(archive_path_, &layout_, held_file_));
    return static_cast<bool>(reader_);
}

int TZlibArchiver::OpenArchive() {
    current_index_ = 0;
    if (!OpenReader()) {
        ShowError(kOpenFailed, archive_path_);
        return 0;
    }
    if (unzGetGlobalInfo(reader_.get(), &global_info_) != UNZ_OK) {
        ShowError(kInfoFailed, archive_path_);
        return 0;
    }
    return static_cast<int>(global_info_.number_entry);
}

int TZlibArchiver::ExtractNext(std::string& entry_name, const std::string& destination) {
    if (!reader_) return 0;
    if (ExtractCurrent(entry_name, destination) != 0) return 0;
    if (current_index_ >= static_cast<int32_t>(global_info_.number_entry) - 1) {
        reader_.close();
        return -1;
    }
    ++current_index_;
    if (unzGoToNextFile(reader_.get()) != UNZ_OK) {
        ShowError(kNextFailed, archive_path_);
        return 0;
    }
    return 1;
}

bool TZlibArchiver::CloseArchive() {
    // Nothing open is no successful close.
    return reader_ && reader_.close();
}

bool TZlibArchiver::ExtractFile(const std::string& member_name, const std::string& destination,
                                UniqueFile* held) {
    if (!OpenReader()) {
        ShowError(kOpenFailed, archive_path_);
        return false;
    }
    bool extracted = false;
    if (unzLocateFile(reader_.get(), ToSlashes(member_name).c_str(), kCaseInsensitive) != UNZ_OK) {
        ShowError(kNotFound + member_name);
    } else {
        std::string entry_name;
        held_ = held;
        extracted = ExtractCurrent(entry_name, destination) == 0;
        held_ = nullptr;
    }
    reader_.close();
    return extracted;
}

void TZlibArchiver::EnsureFolder(const std::string& folder, std::string& checked) {
    // Members of one folder usually follow each other: check (and create) each folder once.
    if (folder == checked) return;
    if (!FolderExists(folder)) ForceFolders(folder);
    checked = folder;
}

int TZlibArchiver::ExtractCurrent(std::string& entry_name, const std::string& destination) {
    unz_file_info info{};
    char name_buffer[kNameBufferSize + 1] = {};
    if (!reader_ || unzGetCurrentFileInfo(reader_.get(), &info, name_buffer, kNameBufferSize,
                                          nullptr, 0, nullptr, 0) != UNZ_OK) {
        ShowError(kMemberOpenFailed, archive_path_);
        return kFailed;
    }
    const std::string name(name_buffer, strnlen(name_buffer, kNameBufferSize));

    const UnsafeName unsafe = CheckEntryName(name);
    if (unsafe != UnsafeName::kSafe) {
        SetLastError(ERROR_INVALID_NAME);
        ShowError(JoinText({kUnsafeName, UnsafeNameReason(unsafe), kUnsafeNameEnd, name}));
        return kFailed;
    }

    entry_name = name;
    last_entry_ = {IsDelimiterAt(name, static_cast<int>(name.size())), info.uncompressed_size,
                   static_cast<uint32_t>(info.crc)};
    if (recorder_ != nullptr && !recorder_->BeforeWrite(name, last_entry_)) return kFailed;

    const std::string target = TargetOf(name, destination);

    // Only stored and deflated members are supported; minizip itself would also take method 12
    // (bzip2) and, built without bzip2, hand out the compressed bytes as data.
    const bool supported = info.compression_method == 0 || info.compression_method == Z_DEFLATED;
    int open_result = supported ? unzOpenCurrentFile(reader_.get()) : UNZ_BADZIPFILE;
    if (open_result == UNZ_OK && !MemberDataFits(info)) open_result = UNZ_BADZIPFILE;
    if (open_result != UNZ_OK) {
        SetLastError(ERROR_FILE_CORRUPT);
        ShowError(kMemberOpenFailed, target);
        return open_result;
    }

    bool skip = IsDelimiterAt(target, static_cast<int>(target.size()));  // a folder member
    if (!skip && confirm_overwrite_ == 1 && FileExists(target)) {
        skip = ShowConfirm(kOverwrite, MB_YESNO) == IDNO;
    }
    if (skip) {
        const int close_result = unzCloseCurrentFile(reader_.get());
        if (close_result != UNZ_OK) ShowError(kCloseFailed, archive_path_);
        return close_result;
    }

    return WriteMember(info, target);
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

int TZlibArchiver::WriteMember(const unz_file_info& info, const std::string& target) {
    // A file that exists is replaced only once the member is complete and checked.
    FileReplacement file(target);
    if (!file.Create()) {
        ShowWriteFailed(target);
        return kFailed;
    }
    const int result = CopyMember(info, file.get(), target);
    if (result != 0) return result;
    StampFileTime(file.get(), info.tmu_date);
    if (file.Place(false) != FileReplacement::Placed::kDone) {
        ShowWriteFailed(target);
        return kFailed;
    }
    if (held_ != nullptr && !HoldPlacedFile(info, target)) {
        ShowWriteFailed(target);
        return kFailed;
    }
    return 0;
}

uint64_t TZlibArchiver::SpaceNeeded(const std::string& destination, int count) {
    uint64_t total = 0;
    uint64_t replaced = 0;
    uint64_t largest_beside = 0;
    int status = reader_ ? unzGoToFirstFile(reader_.get()) : UNZ_PARAMERROR;
    for (int i = 0; i < count && status == UNZ_OK; ++i, status = unzGoToNextFile(reader_.get())) {
        unz_file_info64 info{};
        char name_buffer[kNameBufferSize + 1] = {};
        if (unzGetCurrentFileInfo64(reader_.get(), &info, name_buffer, kNameBufferSize, nullptr, 0,
                                    nullptr, 0) != UNZ_OK) {
            break;
        }
        total += info.uncompressed_size;
        // Names the extraction would refuse are not looked up on the disk.
        const std::string name(name_buffer, strnlen(name_buffer, kNameBufferSize));
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
        largest_beside = std::max<uint64_t>(largest_beside, info.uncompressed_size);
    }
    if (reader_) unzGoToFirstFile(reader_.get());
    current_index_ = 0;
    return (total > replaced ? total - replaced : 0) + largest_beside;
}

bool TZlibArchiver::HoldPlacedFile(const unz_file_info& info, const std::string& target) {
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
    if (!read_through || size != info.uncompressed_size || crc != info.crc) {
        held_->reset();
        return false;
    }
    return true;
}

bool TZlibArchiver::MemberDataFits(const unz_file_info& info) {
    // The directory's ranges were checked without the local extra field, which only the local
    // header gives: a long one could still push the data into the next member.
    unz64_file_pos position{};
    if (unzGetFilePos64(reader_.get(), &position) != UNZ_OK ||
        position.num_of_file >= layout_.data_limit.size()) {
        return false;
    }
    const uint64_t limit = layout_.data_limit[static_cast<size_t>(position.num_of_file)];
    const uint64_t start = unzGetCurrentFileZStreamPos64(reader_.get());
    return start <= limit && info.compressed_size <= limit - start;
}

int TZlibArchiver::CopyMember(const unz_file_info& info, HANDLE file, const std::string& target) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kCopyBufferSize]);
    if (!buffer) {
        ShowError(kNoMemory);
        return kFailed;
    }
    uint64_t written = 0;
    for (;;) {
        const int read = unzReadCurrentFile(reader_.get(), buffer.get(), kCopyBufferSize);
        if (read < 0) {
            // Damaged data, unless reading the archive's file failed (its own error stands).
            if (read != UNZ_ERRNO) SetLastError(ERROR_CRC);
            ShowError(kReadFailed, target);
            return read;
        }
        if (read == 0) break;
        DWORD done = 0;
        if (!WriteFile(file, buffer.get(), static_cast<DWORD>(read), &done, nullptr) ||
            done != static_cast<DWORD>(read)) {
            ShowWriteFailed(target);
            return read;
        }
        written += done;
    }
    // minizip ends a member quietly when its compressed data ends early and checks the CRC
    // only after a complete read: a short member is a damaged archive, not a good file.
    if (written != info.uncompressed_size) {
        SetLastError(ERROR_CRC);
        ShowError(kReadFailed, target);
        return UNZ_BADZIPFILE;
    }
    // The CRC is known only once every byte was read; the file is placed only when it is right.
    const int close_result = unzCloseCurrentFile(reader_.get());
    if (close_result != UNZ_OK) {
        SetLastError(ERROR_CRC);
        ShowError(kCloseFailed, archive_path_);
        return close_result;
    }
    return 0;
}

void TZlibArchiver::SetEntryFileTime(const std::string& path, const tm_unz& time) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (file) StampFileTime(file.get(), time);
}
