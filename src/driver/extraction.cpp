// The extraction run with its progress dialog and the installed-file list.
#include "driver/extraction.h"

#include <windows.h>

#include <vector>

#include "archive/zarchive.h"
#include "driver/globals.h"
#include "driver/macros.h"
#include "driver/progress.h"
#include "utils/message_box.h"
#include "utils/profile.h"
#include "utils/system_libraries.h"
#include "utils/message_pump.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kCancelled[] = "インストールは中止されました。";
const char kInstalledFileSection[] = "INSTALLEDFILE";

// The INSTALLEDFILE section, collected in memory and written in one go when the run ends,
// whichever way: writing key by key would rewrite the whole file each time, quadratic in the
// number of entries.
class InstalledFileList {
public:
    explicit InstalledFileList(std::string setting_file) : setting_file_(std::move(setting_file)) {}
    ~InstalledFileList() {
        if (lines_.empty()) return;
        SelectProfile(setting_file_, kInstalledFileSection);
        ReplaceProfileSection(kInstalledFileSection, lines_);
    }
    InstalledFileList(const InstalledFileList&) = delete;
    InstalledFileList& operator=(const InstalledFileList&) = delete;

    void Add(const std::string& entry_name) {
        lines_.push_back("item" + IntToText(static_cast<int32_t>(lines_.size())) + "=" +
                         ToBackslashes(entry_name));
    }

private:
    std::string setting_file_;
    std::vector<std::string> lines_;
};

}  // namespace

bool ExtractPackage() {
    TInstallOptions& o = InstallOptions;
    TZlibArchiver archiver(o.ArchivePath);
    archiver.SetConfirmOverwrite(o.ConfirmOverwrite);
    archiver.SetKeepFolders(o.KeepFolders);

    if (o.InstallDir.empty()) o.InstallDir = GetHostFolder(true);
    o.InstallDir = AddBackslash(o.InstallDir);

    const int count = archiver.OpenArchive() - o.PreExtractedCount;
    if (count <= 0) return false;

    InstalledFileList installed(o.TempDir + kSettingFileName);
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
