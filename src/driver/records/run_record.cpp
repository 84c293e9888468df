// The run record and the installed-file list.
#include "driver/records/run_record.h"

#include <algorithm>

#include "driver/flow/globals.h"
#include "package/entry_name.h"
#include "utils/file_hash.h"
#include "utils/message_box.h"
#include "utils/profile.h"
#include "utils/text.h"

namespace {

// Larger than any record: a hundred thousand entries take some 6 MB.
constexpr size_t kLargestRecord = 256 * 1024 * 1024;

// FNV-1a over the name's key: two names that differ collide with a chance of one in 2^64.
uint64_t NameHash(const std::string& name) {
    uint64_t hash = 0xCBF29CE484222325ULL;
    for (const char c : FileNameKey(name)) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
    return hash;
}

// What the file there holds now, as a record writes it; empty when there is none to read.
std::string CheckOfFile(const std::string& path) {
    FileCheck check;
    return FileSizeAndCrc32(path, check.size, check.crc) ? FileChecksText({check}) : std::string();
}

// The record's text of what the archive says a member holds; empty for a folder.
std::string CheckOfMember(const TZlibArchiver::EntryData& entry) {
    return entry.folder ? std::string() : FileChecksText({{entry.size, entry.crc}});
}

}  // namespace

std::string RunRecord::PathFor(const TInstallOptions& o) {
    return AddBackslash(o.InstallDir) + RunRecordName(o.AppName, o.Vendor, o.Type);
}

RunRecord::~RunRecord() {
    if (file_ && count_ == 0) DeleteThroughHandle(file_.get());
}

std::vector<RecordedEntry> RunRecord::ReadLeft() {
    path_ = PathFor(InstallOptions);
    const std::string name = FileNameOf(path_);
    if (CheckedFolder::OpenRoot(FolderOf(path_), folder_) != Reach::kOpened ||
        CheckedFile::Open(folder_, name, left_) != Reach::kOpened || !left_.IsOnlyName()) {
        return {};
    }
    std::string text;
    if (!left_.ReadAll(kLargestRecord, text)) return {};
    text.resize(RunRecordWholeLines(text).size());
    return ReadRunRecordEntries(IniText(std::move(text)));
}

bool RunRecord::Start(const std::vector<RecordedEntry>& taken_over) {
    const TInstallOptions& o = InstallOptions;
    // Whatever stands at the name goes as itself: a record (or a second name of a file) through
    // its handle, a link as a link.
    if (left_) {
        left_.Delete();
        left_.reset();
    } else if (folder_) {
        RemoveChildLink(folder_, FileNameOf(path_));
    }
    file_.reset(CreateFileA(path_.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    }
    std::string text = RunRecordHeader(o.AppName, o.Vendor, o.Type);
    for (const RecordedEntry& entry : taken_over) {
        text += RunRecordEntry(count_++, entry.name, entry.checks);
    }
    return Write(text);
}

bool RunRecord::BeforeWrite(const std::string& entry_name, const TZlibArchiver::EntryData& entry) {
    return Write(RunRecordEntry(count_++, ToBackslashes(entry_name), CheckOfMember(entry)));
}

bool RunRecord::Write(const std::string& text) {
    if (!file_) return true;
    DWORD written = 0;
    if (WriteFile(file_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size()) {
        return true;
    }
    ShowWriteFailed(path_);
    return false;
}

void RunRecord::Finish() {
    if (file_) DeleteThroughHandle(file_.get());
    file_.reset();
}

void InstalledFileList::Add(const std::string& entry_name, const TZlibArchiver::EntryData& entry) {
    const std::string name = ToBackslashes(entry_name);
    listed_.push_back(NameHash(name));
    writer_.Add(name, CheckOfMember(entry));
}

void InstalledFileList::AddEarlier(const std::vector<RecordedEntry>& entries) {
    SortNumbers(listed_);
    const size_t listed = listed_.size();
    for (const RecordedEntry& entry : entries) {
        if (CheckEntryName(entry.name) != UnsafeName::kSafe) continue;  // never ours
        const uint64_t hash = NameHash(entry.name);
        if (std::binary_search(listed_.begin(), listed_.begin() + listed, hash)) continue;
        listed_.push_back(hash);
        writer_.Add(entry.name, entry.checks);
    }
}

bool InstalledFileList::Save(const std::string& setting_file) {
    if (writer_.count() == 0) return true;
    SelectProfile(setting_file, kInstalledFileSection);
    return ReplaceProfileSectionText(kInstalledFileSection, writer_.items()) &&
           ReplaceProfileSectionText(kInstalledCheckSection, writer_.checks());
}

void CheckUnchecked(const std::string& install_dir, std::vector<RecordedEntry>& entries) {
    for (RecordedEntry& entry : entries) {
        if (entry.checks.empty() && !entry.IsFolder() &&
            CheckEntryName(entry.name) == UnsafeName::kSafe) {
            entry.checks = CheckOfFile(install_dir + entry.name);
        }
    }
}

std::vector<RecordedEntry> EntriesStillThere(const std::string& install_dir,
                                             std::vector<RecordedEntry> entries) {
    std::vector<RecordedEntry> there;
    for (RecordedEntry& entry : entries) {
        if (CheckEntryName(entry.name) != UnsafeName::kSafe ||
            GetFileAttributesA((install_dir + entry.name).c_str()) == INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        there.push_back(std::move(entry));
    }
    CheckUnchecked(install_dir, there);
    return there;
}
