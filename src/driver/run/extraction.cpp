// The extraction run with its progress dialog and the installed-file list.
#include "driver/run/extraction.h"

#include <windows.h>

#include <vector>

#include "archive/zarchive.h"
#include "driver/run/extraction_hold.h"
#include "driver/flow/globals.h"
#include "driver/flow/macros.h"
#include "driver/pages/progress.h"
#include "driver/records/run_record.h"
#include "driver/run/run_files.h"
#include "driver/records/uninstall.h"
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
    ShowError(JoinText({kNoSpace, UInt64ToText((needed + kMegabyte - 1) / kMegabyte), kNoSpaceFree,
                        UInt64ToText(free_bytes / kMegabyte), kNoSpaceEnd}));
    return false;
}

}  // namespace

namespace {

// A member in the run's log: its name, size and whether it was written (a failure with the
// error the extraction left). Written in batches: a line for each of thousands of members must
// not slow the extraction.
void LogMember(const std::string& name, const TZlibArchiver::EntryData& entry, bool written) {
    if (!RunLogStarted()) return;
    LogBatched(JoinText({"ファイル ", ToBackslashes(name), " ", UInt64ToText(entry.size), " バイト",
                         OutcomeText(written, "書き込み済み")}));
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
    if (GetFileAttributesA(RunRecord::PathFor(o).c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    return AskAboutPackage(kUnfinishedRun, MB_YESNO) == IDYES;
}

namespace {

// How the members' loop ended.
enum class Extracted { kAll, kFailed, kCancelled };

// Extracts the archive's first count members (the settings and early files follow them) into
// InstallDir with the progress dialog, listing each. The messages are pumped before and after
// each member; the quit message (the main window was destroyed) cancels the run.
Extracted ExtractMembers(TZlibArchiver& archiver, int count, InstalledFileList& installed,
                         HWND progress) {
    SetProgressRange(progress, count);
    ProgressBarMover bar(progress, count);
    ThrottledPump pump(progress);
    ExtractionHold hold;  // tests only: inert in a user's run
    for (int i = 1; i <= count; ++i) {
        if (pump.quit()) return Extracted::kCancelled;
        pump.Pump();
        std::string entry_name;
        const int result = archiver.ExtractNext(entry_name, InstallOptions.InstallDir);
        LogMember(entry_name, archiver.LastEntry(), result != 0);
        if (result == 0) return Extracted::kFailed;
        installed.Add(entry_name, archiver.LastEntry());
        bar.Done(i);
        hold.AfterMember(entry_name, pump);
        pump.Pump();
        if (result == -1) break;  // the archive ended: nothing follows the package
    }
    return Extracted::kAll;
}

}  // namespace

bool ExtractPackage(RunRecord& record) {
    TInstallOptions& o = InstallOptions;
    TZlibArchiver archiver(o.ArchivePath, HeldArchiveFile());
    archiver.SetConfirmOverwrite(o.ConfirmOverwrite);
    archiver.SetKeepFolders(o.KeepFolders);

    const int count = archiver.OpenArchive() - o.PreExtractedCount;
    if (count <= 0) return false;
    LogLine(JoinText({"インストール先 ", o.InstallDir, " （", IntToText(count), " 個）"}));

    // What an earlier run that did not complete listed stays listed: its files are on the disk,
    // and this run may not bring them all. Their content is looked at before this run rewrites
    // any of them.
    std::vector<RecordedEntry> earlier = record.ReadLeft();
    CheckUnchecked(o.InstallDir, earlier);
    if (!FitsOnDisk(archiver, count, o.InstallDir)) return false;
    // The record is the first thing written: a folder that cannot take it takes nothing.
    if (!ForceFolders(o.InstallDir) || !record.Start(earlier)) {
        ShowError(kNotWritable, StripTrailingDelimiter(o.InstallDir), kNotWritableEnd);
        return false;
    }
    archiver.SetRecorder(&record);

    InstalledFileList installed(o.InstallDir);
    EnsureCommonControls();  // the progress bar's class
    UniqueWindow progress(CreateDialogParamW(GetModuleHandleW(nullptr),
                                             MAKEINTRESOURCEW(IDD_PROGRESS), MainWindow,
                                             ProgressDlgProc,
                                             reinterpret_cast<LPARAM>(o.AppName.c_str())));
    const Extracted extracted = ExtractMembers(archiver, count, installed, progress.get());
    if (extracted == Extracted::kCancelled) {
        ShowConfirm(kCancelled, MB_OK);
        return false;
    }
    archiver.CloseArchive();
    if (extracted != Extracted::kAll) return false;
    installed.AddEarlier(earlier);
    // An upgrade keeps what the earlier installation listed and this one does not bring, as long
    // as it is there as installed: the uninstaller removes it with the rest.
    if (o.InstallMode == kCharacterPackage) installed.AddEarlier(EarlierInstalledEntries());
    const std::string setting_file = o.TempDir + kSettingFileName;
    if (!installed.Save(setting_file)) {
        ShowWriteFailed(setting_file);
        return false;
    }
    if (!o.Silent) {
        // The last move of the bar is painted before the pause that lets the user see it.
        RedrawWindow(progress.get(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        Sleep(500);
    }
    return true;
}
