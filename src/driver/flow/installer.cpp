// The installer's main flow: options, run mode, start-up checks, pages, extraction,
// registration with the host, last-view file and the closing dialogue.
#include "driver/flow/installer.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

#include "downloader/download_list.h"
#include "driver/run/extraction.h"
#include "driver/flow/globals.h"
#include "driver/flow/installer_mutex.h"
#include "driver/flow/install_log.h"
#include "driver/flow/options.h"
#include "driver/pages/page_sequence.h"
#include "driver/records/run_record.h"
#include "driver/records/registration.h"
#include "driver/run/run_files.h"
#include "driver/records/uninstall.h"
#include "resource.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/process.h"
#include "utils/run_log.h"
#include "utils/shown_text.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const wchar_t kMainWindowClass[] = L"TCharacterInstaller";
const char kMainWindowTitle[] = "キャラクター";
const char kSecondInstaller[] =
    "インストーラを一度に2個以上同時に起動することはできません。\r\nインストールを中止します。";
const char kCharacterRunning[] =
    "は現在起動中です。\r\nキャラクターを終了してから再度インストール処理を実行してください。";
const char kAlreadyInstalled[] = "は既にインストール済みです．\r\n上書きインストールを行いますか？";
const char kCharacterPrefix[] = "キャラクター";
// The switches box (/?), for an administrator who deploys packages.
const char kSwitches[] =
    "-s\t表示せずにインストール\r\n"
    "-s2\t-s のあとホストを起動\r\n"
    "/nowait\tエラーも表示せず記録（/log）に書く\r\n"
    "終了コード 0 成功、1 失敗";
const char kInstallQuestion[] = "をインストールします。\r\nよろしいですか？";
const char kCompletedStart[] = "の" "インストールは正常に終了しました。" "\r\n" "起動しますか？";
const char kPluginFinished[] = "プラグインの" "インストールが終了しました。";
const char kFinished[] = "インストールが終了しました。";
const char kInstallFailed[] = "インストールは失敗しました。";
const char kArchiveCopyFolder[] = "MarlethArchives\\";

int g_exit_code = 1;

// The system's Notepad by its full path: a bare "notepad" would be looked for in the installer's
// own folder (a downloads folder full of other people's files) and the current folder first.
// The system's Windows folder: on a terminal server GetWindowsDirectory gives the user's own.
std::string NotepadPath() {
    char windows[MAX_PATH + 1] = {};
    GetSystemWindowsDirectoryA(windows, MAX_PATH);
    return AddBackslash(windows) + "notepad.exe";
}

// Archive mode keeps a copy of the archive beside the installer; failures are ignored.
void KeepArchiveCopy() {
    const std::string folder = OwnProgramFolder() + kArchiveCopyFolder;
    CreateFolder(folder);
    CopyFileA(InstallOptions.ArchivePath.c_str(),
              (folder + FileNameOf(InstallOptions.ArchivePath)).c_str(), TRUE);
}

// The first question and the pages, or the silent modes: IDYES to go on and extract.
int ChooseWayIn(bool overwrite_confirmed) {
    TInstallOptions& o = InstallOptions;
    if (!HasArgument()) {
        if (!overwrite_confirmed) {
            const char* kind = o.InstallMode == kCharacterPackage ? kCharacterPrefix : "";
            const std::string question =
                JoinText({kind, "\"", o.AppName, "\"", kInstallQuestion});
            if (ShowConfirm(question, MB_YESNO) != IDYES) return IDNO;
        }
        o.Silent = false;
        return RunPageSequence();
    }
    const std::string argument = FirstArgument();
    if (IsSilentSwitch(argument)) {
        o.Silent = true;
        o.SilentStart = argument == "-s2";
        LogLine("サイレント " + argument);
        return IDYES;
    }
    if (argument.empty()) return IDNO;
    o.Silent = false;
    return RunPageSequence();
}

void StartHost() {
    const TInstallOptions& o = InstallOptions;
    // The host starts in the install folder, named without its trailing backslash.
    const std::string folder = StripTrailingDelimiter(o.InstallDir);
    const std::string host = JoinText({folder, "\\", kHostExeName});
    const std::string parameters = JoinText({o.Vendor, "-", o.Type});
    const std::string command_line = CommandLineFor(host, parameters);
    // The host runs as the user, never with the rights an elevated installer was given.
    const bool started = StartAsSignedInUser(command_line, folder, SW_SHOW) ||
                         reinterpret_cast<INT_PTR>(ShellExecuteA(
                             MainWindow, "open", host.c_str(), parameters.c_str(),
                             folder.c_str(), SW_SHOW)) > 32;
    LogLine({"ホスト起動 ", command_line, OutcomeText(started, "起動済み")});
}

void ClosingDialogue() {
    const TInstallOptions& o = InstallOptions;
    if (o.Silent && !o.SilentStart) return;
    if (o.InstallMode == kCharacterPackage) {
        if (o.SilentStart || AskAboutPackage(kCompletedStart, MB_YESNO) == IDYES) {
            StartHost();
        }
        Sleep(2000);
    } else if (o.InstallMode == kPluginPackage) {
        AskAboutPackage(kPluginFinished, MB_OK);
    } else {
        AskAboutPackage(kFinished, MB_OK);
    }
}

// Asks the host whether the character runs (the sum of its windows' answers); a host window
// that does not answer may hold the character: it counts as running it.
bool QueryHostRunning() {
    const TInstallOptions& o = InstallOptions;
    bool unanswered = false;
    const int32_t answer = NotifyHostWindows(WM_INSTALLER_QUERYRUNNING, o.Vendor, o.Type, &unanswered);
    LogLine(JoinText({"ホストの応答（起動中の問い合わせ） ", IntToText(answer),
                      unanswered ? " 応答なし" : ""}));
    return answer != 0 || unanswered;
}

enum class Outcome { kCompleted, kFailed, kDeclined };

// Steps after the pages: extraction, uninstall support, last-view file, host registration
// and the closing dialogue. Sets the exit code to 0 when everything completed.
Outcome Install() {
    TInstallOptions& o = InstallOptions;
    // A character's uninstall keys are checked before anything is written: after the extraction
    // their absence would leave the package installed without a way to remove it.
    if (o.InstallMode == kCharacterPackage && !CheckUninstallSettings()) return Outcome::kFailed;
    ResolveInstallDir();
    // Declined like the first question: the run ends without a further message.
    if (!ConfirmUnfinishedRun()) return Outcome::kDeclined;
    // Lists every member before it is written; stays behind, listing them, unless the run gets
    // as far as recording them for good.
    RunRecord record;
    if (!ExtractPackage(record)) return Outcome::kFailed;
    SetMessageOwner(MainWindow);
    if (o.InstallMode == kCharacterPackage) {
        const bool written = WriteUninstallInfo();
        LogLine(JoinText({"アンインストール情報 ", InstallStatus.UninstallInfoPath,
                          OutcomeText(written, "書き込み済み"), "\r\nアンインストーラ ",
                          InstallStatus.UninstallerPath}));
        if (!written) return Outcome::kFailed;
        record.Finish();  // uinstall.ini lists everything now
        LogLine(JoinText({"プログラムの一覧", OutcomeText(RegisterInstallation(), "登録済み")}));
        if (!CreateShortcuts()) return Outcome::kFailed;
    } else {
        record.Finish();  // a plug-in or program leaves nothing to undo
    }

    if (!o.LastViewFile.empty()) {
        // The read-me is only looked at: Notepad runs as the user. A program to run (mode 2) is
        // part of the installation and keeps the installer's rights.
        const int32_t exit_code =
            o.InstallMode == kProgramPackage
                ? RunAndWait(CommandLineFor(o.LastViewFile, ""), MainWindow)
                : RunAndWait(CommandLineFor(NotepadPath(), o.LastViewFile), MainWindow, true);
        LogLine(JoinText({"実行 ", o.LastViewFile, " 終了コード ", IntToText(exit_code)}));
    }
    if (o.InstallMode == kCharacterPackage) {
        WriteHostRegistry();
        // The host would start with the character it named before: the installation failed.
        if (o.WriteRCFile && !WriteHostRcFile()) {
            ShowWriteFailed(JoinText({StripTrailingDelimiter(o.InstallDir), "\\", kHostRcFileName}));
            return Outcome::kFailed;
        }
        const int32_t answer = NotifyHostWindows(WM_INSTALLER_INSTALLED, o.Vendor, o.Type);
        LogLine(JoinText({"ホストの応答（インストール通知） ", IntToText(answer)}));
    }
    ClosingDialogue();
    g_exit_code = 0;
    return Outcome::kCompleted;
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
    case WM_ACTIVATE:
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

bool InitInstaller() {
    if (!LoadInstallOptions()) return false;
    CreateMainWindow();
    SetMessageOwner(MainWindow);
    InstallOptions.ConfirmOverwrite = false;
    InstallOptions.KeepFolders = true;
    InstallOptions.Silent = false;
    InstallOptions.SilentStart = false;
    return true;
}

void CreateMainWindow() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    // A Unicode window, as every window of the program: its title is the Japanese one on any system.
    WNDCLASSW window_class{};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = MainWndProc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_INSTALLER));
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    window_class.lpszClassName = kMainWindowClass;
    RegisterClassW(&window_class);
    MainWindow = CreateWindowExW(0, kMainWindowClass, nullptr, WS_POPUP | WS_SYSMENU, 0, 0, 0, 0,
                                 nullptr, nullptr, instance, nullptr);
    SetShownText(MainWindow, kMainWindowTitle);
    ShowWindow(MainWindow, SW_SHOWNORMAL);
    UpdateWindow(MainWindow);
    SetForegroundWindow(MainWindow);
}

void Teardown() {
    if (MainWindow != nullptr) DestroyWindow(MainWindow);
    MainWindow = nullptr;
    ReleaseRunFiles();
    if (!InstallOptions.TempDir.empty()) DeleteTree(InstallOptions.TempDir);
    FreeDownloadList();
    EndInstallLog(g_exit_code);
}

namespace {

// The run from its start-up checks to its end; every way out leads back to RunInstaller, which
// tears the run down. The installer mutex is held until then.
void Run() {
    if (!InitInstaller()) return;
    const TInstallOptions& o = InstallOptions;
    UniqueHandle mutex;
    if (o.ArchiveMode) {
        bool already_existed = false;
        mutex = CreateInstallerMutex(already_existed);
        if (already_existed) {
            ShowError(kSecondInstaller);
            return;
        }
        KeepArchiveCopy();
    }

    if (o.InstallMode == kCharacterPackage && QueryHostRunning()) {
        ShowError(JoinText({o.AppName, "(", o.Vendor, "-", o.Type, ")", kCharacterRunning}));
        return;
    }

    bool overwrite_confirmed = false;
    if (IsAlreadyInstalled()) {
        if (ShowConfirm(o.AppName + kAlreadyInstalled, MB_YESNO) != IDYES) return;
        overwrite_confirmed = true;
    }

    if (ChooseWayIn(overwrite_confirmed) == IDYES && Install() == Outcome::kFailed) {
        ShowError(kInstallFailed);
    }
}

}  // namespace

int RunInstaller(int argc, char** argv) {
    g_exit_code = 1;
    SetCommandLineArguments(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (IsHelpSwitch(FirstArgument())) {
        ShowConfirm(kSwitches, MB_OK);
        return 0;
    }
    Run();
    Teardown();
    return g_exit_code;
}
