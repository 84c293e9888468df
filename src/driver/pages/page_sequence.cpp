// The page table, the page sequence and pre-extraction of the setting file and listed members.
#include "driver/pages/page_sequence.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/zarchive.h"
#include "downloader/download_context.h"
#include "downloader/pages/first_page.h"
#include "downloader/pages/module_page.h"
#include "driver/flow/globals.h"
#include "driver/flow/macros.h"
#include "driver/pages/page_procs.h"
#include "driver/run/run_files.h"
#include "package/setting_keys.h"
#include "resource.h"
#include "utils/message_box.h"
#include "utils/process.h"
#include "utils/profile.h"
#include "utils/run_log.h"
#include "utils/system_libraries.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kPreExtractFailed[] = "の展開に失敗しました。";
const char kPageNotShown[] = "次のページを表示できません。: ";

TWizardPage Page(const char* name, DLGPROC dialog_proc, bool (*init_proc)(const std::string&),
                 int32_t template_id) {
    TWizardPage page{};
    std::strncpy(page.Name, name, sizeof page.Name - 1);
    page.DialogProc = dialog_proc;
    page.InitProc = init_proc;
    page.TemplateId = template_id;
    return page;
}

const std::array<TWizardPage, kPageTableSize> kPageTable = {
    Page(kLicensePageName, LicenseDlgProc, LicenseInit, IDD_LICENSE),
    Page(kFolderPageName, FolderDlgProc, FolderInit, IDD_FOLDER),
    Page(kFirstPageName, FirstDlgProc, FirstInit, IDD_FIRST),
    Page(kModulePageName, SelInstallModuleDlgProc, ModulePageInit, IDD_SELINSTALLMODULE),
};

std::array<TWizardPage, kPageSlots> g_sequence{};

// What the download pages take of the run, as it stands when the pages are shown.
void ConnectDownloadPages() {
    TDownloadContext& context = DownloadContext();
    context.TempDir = InstallOptions.TempDir;
    context.AppName = InstallOptions.AppName;
    context.PlatformName = InstallOptions.PlatformName;
    context.Owner = MainWindow;
}

}  // namespace

TPageContext& PageContext() {
    static TPageContext context;
    return context;
}

const std::array<TWizardPage, kPageTableSize>& PageTable() {
    return kPageTable;
}

const std::array<TWizardPage, kPageSlots>& PageSequence() {
    return g_sequence;
}

bool PreExtract(const std::string& temp_folder) {
    TZlibArchiver archiver(InstallOptions.ArchivePath, HeldArchiveFile());
    archiver.SetConfirmOverwrite(0);
    archiver.SetKeepFolders(0);
    if (!archiver.ExtractFile(kSettingMemberName, temp_folder)) return false;

    SelectProfile(temp_folder + kSettingFileName, kPreExtractListSection);
    for (int i = 0;; ++i) {
        const std::string member = ReadProfileString(kItemKeyPrefix + IntToText(i), "");
        if (member.empty()) return true;
        const std::string name = LowerCaseText(FileNameOf(ToBackslashes(member)));
        ReleaseRunFile(name);
        // A member landing on the setting file's name replaces it, and is written to later.
        const bool hold = name != LowerCaseText(kSettingFileName);
        UniqueFile held;
        if (!archiver.ExtractFile(member, temp_folder, hold ? &held : nullptr)) {
            ShowError(member + kPreExtractFailed);
            return false;
        }
        if (hold) HoldRunFile(name, std::move(held));
        ++InstallOptions.PreExtractedCount;
    }
}

bool BuildPageSequence(const std::string& setting_file, const std::string& temp_folder) {
    g_sequence = {};
    SelectProfile(setting_file, kOptionsSection);
    const std::string dialogs = ReadProfileString(kDialogsKey, "");
    size_t next_slot = 0;
    for (int k = 0; k < kPageSlots; ++k) {
        std::string name;
        if (!GetField(dialogs, ",", k, name)) break;
        for (const TWizardPage& page : kPageTable) {
            if (name != page.Name) continue;
            SelectProfile(setting_file, page.Name);
            g_sequence[next_slot++] = page;
            page.InitProc(temp_folder);
            break;
        }
    }
    return true;
}

namespace {

// How a page ended, for the run's log.
std::string PageEnd(int result) {
    switch (result) {
        case IDYES: return "次へ";
        case IDCANCEL: return "中止";
        case 0: return "終了";
        case -1: return "表示できません";
        default: return IntToText(result);
    }
}

}  // namespace

int RunPageSequence() {
    if (g_sequence[0].DialogProc == nullptr) return IDYES;
    ConnectDownloadPages();
    int result = IDNO;
    int shown = 0;
    for (const TWizardPage& page : g_sequence) {
        if (page.DialogProc == nullptr) break;
        EnsureCommonControls();  // the module page's tree view and progress bar
        PageContext() = {InstallOptions.AppName, InstallOptions.InstallDir, MainWindow};
        result = static_cast<int>(DialogBoxParamW(GetModuleHandleW(nullptr),
                                                  MAKEINTRESOURCEW(page.TemplateId), MainWindow,
                                                  page.DialogProc, 0));
        InstallOptions.InstallDir = PageContext().InstallDir;
        ++shown;
        LogLine(JoinText({"ページ ", page.Name, " ", PageEnd(result)}));
        // No template for the page (or no window for it): say so rather than end in silence.
        if (result == -1) ShowError(kPageNotShown + std::string(page.Name));
        if (result != IDYES) break;
        if (std::strcmp(page.Name, kModulePageName) == 0) {
            // The module-selection page may just have installed and registered the host.
            TInstallOptions& o = InstallOptions;
            if (o.ArchiveMode) {
                o.InstallDir = OwnProgramFolder();
            } else if (o.InstallDir == o.InitialInstallDir) {
                o.InstallDir = ExpandFolderMacros(o.RawInstallDir, true);
            }
        }
    }
    return shown == 1 && result != IDYES ? IDNO : result;
}
