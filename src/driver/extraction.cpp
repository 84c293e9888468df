// The extraction run with its progress dialog and the installed-file list.
#include "driver/extraction.h"

#include <windows.h>

#include <unordered_set>
#include <utility>
#include <vector>

#include "zlib.h"

#include "archive/zarchive.h"
#include "driver/extraction_hold.h"
#include "driver/globals.h"
#include "driver/installed_check.h"
#include "driver/macros.h"
#include "driver/progress.h"
#include "driver/run_files.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/message_pump.h"
#include "utils/profile.h"
#include "utils/run_log.h"
#include "utils/system_libraries.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kCancelled[] = "インストールは中止されました。";
const char kUnfinishedRun[] =
    "の前回のインストールは途中で終了しています。\r\nこのままインストールを続けますか？";
const char kNoSpace[] = "インストール先の空き容量が足りません。\r\n必要な容量: ";
const char kNoSpaceFree[] = " MB\r\n空き容量: ";
const char kNoSpaceEnd[] = " MB";
// The folder on a line of its own: Wine's message box wraps long lines mid-word.
const char kNotWritable[] = "インストール先のフォルダに書き込めません。\r\n";
const char kNotWritableEnd[] = "\r\nインストールを中止します。";
const char kWriteFailed[] = "ファイルの書き込みに失敗しました。: ";
const char kItemKey[] = "item";

// The values of the INSTALLEDFILE section's items in a record's text, in their order.
std::vector<std::string> RecordedEntries(const std::string& text) {
    std::vector<std::string> entries;
    bool in_section = false;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = TrimText(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line.front() == '[') {
            in_section = line == "[" + std::string(kInstalledFileSection) + "]";
            continue;
        }
        const size_t equals = line.find('=');
        const bool item = line.compare(0, sizeof kItemKey - 1, kItemKey) == 0;
        if (in_section && item && equals != std::string::npos && equals + 1 < line.size()) {
            entries.push_back(line.substr(equals + 1));
        }
    }
    return entries;
}

// The record of a run in progress: the package's name and, appended as members land, the
// installed-file list, in a file of the install directory named after the package. A run that
// ends (whichever way) removes it; a killed run leaves it behind, telling what to remove.
class RunRecord {
public:
    // Entries are written at the latest after this many, or after this many ms: few writes, and
    // a killed run leaves at most the last few members unrecorded.
    static constexpr size_t kBatchEntries = 256;
    static constexpr DWORD kBatchInterval = 20;

    explicit RunRecord(const TInstallOptions& o) : path_(RunRecordPath(o)) {}
    ~RunRecord() {
        if (file_) DeleteOpenFile(file_.get());
    }
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    // The entries of the list a killed run left at the record's name, when that is a file of its
    // own: never read through a link, whatever that leads to is nobody's record.
    std::vector<std::string> ReadLeft() {
        left_ = NoFollowEntry::Open(path_, GENERIC_READ);
        if (!left_.IsPlainFile()) return {};
        return RecordedEntries(ReadAll(left_.get()));
    }

    // Creates the record anew, listing the entries taken over first: whatever stands at its name
    // is removed as itself (a link as a link), never opened through. False when the install
    // directory cannot be written; when something at the name stays, the run goes on without
    // a record.
    bool Start(const TInstallOptions& o, const std::vector<std::string>& taken_over) {
        if (left_) left_.Delete();
        file_.reset(CreateFileA(path_.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file_) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        }
        pending_ = "[" + std::string(kRunRecordSection) + "]\r\nAppName=" + o.AppName +
                   "\r\nVendor=" + o.Vendor + "\r\nType=" + o.Type + "\r\n[" +
                   kInstalledFileSection + "]\r\n";
        for (const std::string& entry : taken_over) Append(entry);
        Flush();
        return true;
    }
    void Add(const std::string& entry_name) {
        Append(entry_name);
        if (++pending_count_ >= kBatchEntries || GetTickCount() - flushed_at_ >= kBatchInterval) {
            Flush();
        }
    }

private:
    static std::string ReadAll(HANDLE file) {
        std::string text;
        char buffer[16384];
        DWORD read = 0;
        while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
            text.append(buffer, read);
        }
        return text;
    }
    void Append(const std::string& entry_name) {
        pending_ += kItemKey + IntToText(count_++) + "=" + ToBackslashes(entry_name) + "\r\n";
    }
    void Flush() {
        DWORD written = 0;
        if (file_ && !pending_.empty()) {
            WriteFile(file_.get(), pending_.data(), static_cast<DWORD>(pending_.size()), &written,
                      nullptr);
        }
        pending_.clear();
        pending_count_ = 0;
        flushed_at_ = GetTickCount();
    }

    std::string path_;
    NoFollowEntry left_;  // what a killed run left at the name, until this run's record replaces it
    UniqueFile file_;
    std::string pending_;
    size_t pending_count_ = 0;
    int32_t count_ = 0;
    DWORD flushed_at_ = 0;
};

// Before writing anything: what will land in the install directory must fit on its volume. The
// sizes of all members (the pre-extracted ones too) and the largest of them once more are a
// bound that needs no look at the disk; only when that does not fit is every target looked up,
// crediting the files that will be replaced.
bool FitsOnDisk(TZlibArchiver& archiver, int count, const std::string& folder) {
    uint64_t free_bytes = 0;
    if (!FreeDiskSpace(folder, free_bytes)) return true;
    if (archiver.DeclaredSize() + archiver.LargestSize() <= free_bytes) return true;
    const uint64_t needed = archiver.SpaceNeeded(folder, count);
    if (needed <= free_bytes) return true;
    constexpr uint64_t kMegabyte = 1024 * 1024;
    ShowError(kNoSpace + std::to_string((needed + kMegabyte - 1) / kMegabyte) + kNoSpaceFree +
              std::to_string(free_bytes / kMegabyte) + kNoSpaceEnd);
    return false;
}

// The INSTALLEDFILE section, collected in memory and written in one go when the run ends,
// whichever way: writing key by key would rewrite the whole file each time, quadratic in the
// number of entries. One text, not a string per line: a package of many files would otherwise
// hold more memory than the installer needs for anything else. The entries a killed run left
// are added after this run's, each once.
class InstalledFileList {
public:
    InstalledFileList(std::string setting_file, std::vector<std::string> earlier)
        : setting_file_(std::move(setting_file)), earlier_(std::move(earlier)) {}
    ~InstalledFileList() { Save(); }
    InstalledFileList(const InstalledFileList&) = delete;
    InstalledFileList& operator=(const InstalledFileList&) = delete;

    void Add(const std::string& entry_name) {
        lines_ += kItemKey + IntToText(count_++) + "=" + ToBackslashes(entry_name) + "\r\n";
    }
    // Writes the section; false when the setting file could not be written.
    bool Save() {
        if (saved_) return true;
        saved_ = true;
        AddEarlier();
        if (count_ == 0) return true;
        SelectProfile(setting_file_, kInstalledFileSection);
        return ReplaceProfileSectionText(kInstalledFileSection, lines_);
    }

private:
    void AddEarlier() {
        if (earlier_.empty()) return;
        std::unordered_set<std::string> missing(earlier_.begin(), earlier_.end());
        for (size_t start = 0; start < lines_.size();) {
            const size_t end = lines_.find("\r\n", start);
            const size_t equals = lines_.find('=', start);
            missing.erase(lines_.substr(equals + 1, end - equals - 1));
            start = end + 2;
        }
        for (const std::string& entry : earlier_) {
            if (missing.erase(entry) != 0) Add(entry);
        }
    }

    std::string setting_file_;
    std::vector<std::string> earlier_;
    std::string lines_;  // "itemN=name\r\n" for each entry
    int32_t count_ = 0;
    bool saved_ = false;
};

}  // namespace

std::string RunRecordPath(const TInstallOptions& o) {
    // Named after the package, so that runs of other packages into the same folder keep theirs.
    const std::string identity = o.AppName + "\n" + o.Vendor + "\n" + o.Type;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(identity.data()),
                            static_cast<uInt>(identity.size()));
    return AddBackslash(o.InstallDir) + kRunRecordPrefix + IntToHexText(crc, 8) + ".ini";
}

namespace {

// A member in the run's log: its name, size and whether it was written (a failure with the
// error the extraction left). Written in batches: a line for each of thousands of members must
// not slow the extraction.
void LogMember(const std::string& name, const TZlibArchiver::EntryData& entry, bool written) {
    if (!RunLogStarted()) return;
    LogBatched("ファイル " + ToBackslashes(name) + " " + UInt64ToText(entry.size) + " バイト" +
               OutcomeText(written, "書き込み済み"));
}

}  // namespace

void ResolveInstallDir() {
    TInstallOptions& o = InstallOptions;
    if (o.InstallDir.empty()) o.InstallDir = GetHostFolder(true);
    o.InstallDir = AddBackslash(o.InstallDir);
}

bool ConfirmUnfinishedRun() {
    const TInstallOptions& o = InstallOptions;
    // A silent run never waits for a person: it goes on, as a Yes would.
    if (o.Silent || !FolderExists(o.InstallDir)) return true;
    if (GetFileAttributesA(RunRecordPath(o).c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    return ShowConfirm(Quoted(o.AppName) + kUnfinishedRun, MB_YESNO) == IDYES;
}

bool ExtractPackage() {
    TInstallOptions& o = InstallOptions;
    TZlibArchiver archiver(o.ArchivePath, HeldArchiveFile());
    archiver.SetConfirmOverwrite(o.ConfirmOverwrite);
    archiver.SetKeepFolders(o.KeepFolders);

    ResolveInstallDir();

    const int count = archiver.OpenArchive() - o.PreExtractedCount;
    if (count <= 0) return false;
    LogLine("インストール先 " + o.InstallDir + " （" + IntToText(count) + " 個）");

    // A killed run's list is kept: its files are on the disk, and this run may not bring them all.
    RunRecord record(o);
    std::vector<std::string> earlier = record.ReadLeft();
    if (!FitsOnDisk(archiver, count, o.InstallDir)) return false;
    // The record is the first thing written: a folder that cannot take it takes nothing.
    if (!ForceFolders(o.InstallDir) || !record.Start(o, earlier)) {
        ShowError(kNotWritable + StripTrailingDelimiter(o.InstallDir) + kNotWritableEnd);
        return false;
    }

    const std::string setting_file = o.TempDir + kSettingFileName;
    InstalledFileList installed(setting_file, std::move(earlier));
    InstalledFileCheck installed_check(setting_file, o.InstallDir);
    EnsureCommonControls();  // the progress bar's class
    UniqueWindow progress(CreateDialogParamA(GetModuleHandleA(nullptr),
                                             MAKEINTRESOURCEA(IDD_PROGRESS), MainWindow,
                                             ProgressDlgProc, 0));
    SetProgressRange(progress.get(), count);
    ProgressBarMover bar(progress.get(), count);

    // The messages are pumped before and after each member; the quit message (the main window
    // was destroyed) cancels the run.
    ThrottledPump pump(progress.get());
    ExtractionHold hold;  // tests only: inert in a user's run
    bool cancelled = false;
    int result = 0;
    for (int i = 1; i <= count; ++i) {
        if (pump.quit()) {
            cancelled = true;
            break;
        }
        pump.Pump();
        std::string entry_name;
        result = archiver.ExtractNext(entry_name, o.InstallDir);
        LogMember(entry_name, archiver.LastEntry(), result != 0);
        if (result == 0) break;
        installed.Add(entry_name);
        installed_check.Add(archiver.LastEntry());
        record.Add(entry_name);
        bar.Done(i);
        hold.AfterMember(entry_name, pump);
        pump.Pump();
        if (result == -1) {
            result = 1;
            break;
        }
    }

    if (cancelled) {
        ShowConfirm(kCancelled, MB_OK);
        return false;
    }
    archiver.CloseArchive();
    if (result == 1 && !installed.Save()) {
        ShowError(kWriteFailed + setting_file);
        return false;
    }
    if (!o.Silent) {
        // The last move of the bar is painted before the pause that lets the user see it.
        RedrawWindow(progress.get(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        Sleep(500);
    }
    return result == 1;
}
