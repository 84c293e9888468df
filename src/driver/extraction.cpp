// The extraction run with its progress dialog and the installed-file list.
#include "driver/extraction.h"

#include <windows.h>

#include <vector>

#include "zlib.h"

#include "archive/zarchive.h"
#include "driver/globals.h"
#include "driver/installed_check.h"
#include "driver/macros.h"
#include "driver/progress.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/profile.h"
#include "utils/system_libraries.h"
#include "utils/message_pump.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kCancelled[] = "インストールは中止されました。";
const char kUnfinishedRun[] =
    "の前回のインストールは途中で終了しています。\r\nこのままインストールを続けますか？";
const char kNoSpace[] = "インストール先の空き容量が足りません。\r\n必要な容量: ";
const char kNoSpaceFree[] = " MB\r\n空き容量: ";
const char kNoSpaceEnd[] = " MB";

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
        if (!file_) return;
        file_.reset();
        DeleteFileForced(path_);
    }
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    bool Left() const { return GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES; }

    // Starts the record; without one the run goes on unrecorded, as before.
    void Start(const TInstallOptions& o) {
        file_.reset(CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        pending_ = "[" + std::string(kRunRecordSection) + "]\r\nAppName=" + o.AppName +
                   "\r\nVendor=" + o.Vendor + "\r\nType=" + o.Type + "\r\n[" +
                   kInstalledFileSection + "]\r\n";
        Flush();
    }
    void Add(const std::string& entry_name) {
        pending_ += "item" + IntToText(count_++) + "=" + ToBackslashes(entry_name) + "\r\n";
        if (++pending_count_ >= kBatchEntries || GetTickCount() - flushed_at_ >= kBatchInterval) {
            Flush();
        }
    }

private:
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
    UniqueFile file_;
    std::string pending_;
    size_t pending_count_ = 0;
    int32_t count_ = 0;
    DWORD flushed_at_ = 0;
};

// Before writing anything: the declared sizes must fit on the destination's volume.
bool FitsOnDisk(uint64_t declared, const std::string& folder) {
    uint64_t free_bytes = 0;
    if (!FreeDiskSpace(folder, free_bytes) || declared <= free_bytes) return true;
    constexpr uint64_t kMegabyte = 1024 * 1024;
    ShowError(kNoSpace + std::to_string((declared + kMegabyte - 1) / kMegabyte) + kNoSpaceFree +
              std::to_string(free_bytes / kMegabyte) + kNoSpaceEnd);
    return false;
}

// The INSTALLEDFILE section, collected in memory and written in one go when the run ends,
// whichever way: writing key by key would rewrite the whole file each time, quadratic in the
// number of entries. One text, not a string per line: a package of many files would otherwise
// hold more memory than the installer needs for anything else.
class InstalledFileList {
public:
    explicit InstalledFileList(std::string setting_file) : setting_file_(std::move(setting_file)) {}
    ~InstalledFileList() {
        if (count_ == 0) return;
        SelectProfile(setting_file_, kInstalledFileSection);
        ReplaceProfileSectionText(kInstalledFileSection, lines_);
    }
    InstalledFileList(const InstalledFileList&) = delete;
    InstalledFileList& operator=(const InstalledFileList&) = delete;

    void Add(const std::string& entry_name) {
        lines_ += "item" + IntToText(count_++) + "=" + ToBackslashes(entry_name) + "\r\n";
    }

private:
    std::string setting_file_;
    std::string lines_;  // "itemN=name\r\n" for each entry
    int32_t count_ = 0;
};

}  // namespace

std::string RunRecordPath(const TInstallOptions& o) {
    // Named after the package, so that runs of other packages into the same folder keep theirs.
    const std::string identity = o.AppName + "\n" + o.Vendor + "\n" + o.Type;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(identity.data()),
                            static_cast<uInt>(identity.size()));
    return AddBackslash(o.InstallDir) + kRunRecordPrefix + IntToHexText(crc, 8) + ".ini";
}

bool ExtractPackage() {
    TInstallOptions& o = InstallOptions;
    TZlibArchiver archiver(o.ArchivePath);
    archiver.SetConfirmOverwrite(o.ConfirmOverwrite);
    archiver.SetKeepFolders(o.KeepFolders);

    if (o.InstallDir.empty()) o.InstallDir = GetHostFolder(true);
    o.InstallDir = AddBackslash(o.InstallDir);

    const int count = archiver.OpenArchive() - o.PreExtractedCount;
    if (count <= 0) return false;

    RunRecord record(o);
    if (record.Left() && ShowConfirm(Quoted(o.AppName) + kUnfinishedRun, MB_YESNO) != IDYES) {
        return false;
    }
    if (!FitsOnDisk(archiver.DeclaredSize(), o.InstallDir)) return false;
    ForceFolders(o.InstallDir);
    record.Start(o);

    InstalledFileList installed(o.TempDir + kSettingFileName);
    InstalledFileCheck installed_check(o.TempDir + kSettingFileName, o.InstallDir);
    EnsureCommonControls();  // the progress bar's class
    UniqueWindow progress(CreateDialogParamA(GetModuleHandleA(nullptr),
                                             MAKEINTRESOURCEA(IDD_PROGRESS), MainWindow,
                                             ProgressDlgProc, 0));
    SetProgressRange(progress.get(), count);
    ProgressBarMover bar(progress.get(), count);

    // The messages are pumped before and after each member; the quit message (the main window
    // was destroyed) cancels the run.
    ThrottledPump pump(progress.get());
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
        if (result == 0) break;
        installed.Add(entry_name);
        installed_check.Add(archiver.LastEntry());
        record.Add(entry_name);
        bar.Done(i);
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
    if (!o.Silent) {
        // The last move of the bar is painted before the pause that lets the user see it.
        RedrawWindow(progress.get(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        Sleep(500);
    }
    return result == 1;
}
