// The uninstaller's flow: which installation, the host check, the question, the removal, what
// the user is told, and the program's own removal.
#include "uninstaller/uninstaller.h"

#include <windows.h>

#include <memory>

#include "host/host.h"
#include "package/package_format.h"
#include "uninstaller/discovery.h"
#include "uninstaller/removal.h"
#include "uninstaller/self_removal.h"
#include "uninstaller/removal_windows.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/process.h"
#include "utils/run_log.h"
#include "utils/text.h"

namespace {

const char kSilentSwitch[] = "-s";
// The switches box (/?), for an administrator.
const char kSwitches[] =
    "（なし）: 探したキャラクターから選んで削除\r\n"
    "パス: その uinstall.ini のインストールを削除\r\n"
    "-s パス: 表示せずに削除\r\n"
    "/log[=ファイル]: 実行の記録を書く\r\n"
    "終了コード 0 成功、1 失敗";
const char kRunning[] =
    "は現在起動中です。\r\nキャラクターを終了してから\r\n再度アンインストールを実行してください。";
const char kQuestion[] = "を削除します。\r\nよろしいですか？";
const char kInterruptedQuestion[] =
    "の中断されたインストールで\r\n置かれたファイルを削除します。\r\nよろしいですか？";
const char kRemoved[] = "を削除しました。";
const char kNotCompleted[] = "の削除を完了できませんでした。";
const char kKept[] = "次のファイルはインストールの後で\r\n変更されているため、残しました。";
const char kRefused[] =
    "次の項目はインストールフォルダの\r\n外を指しているか、リンクを通るため、\r\n削除しませんでした。";
const char kFailed[] = "次のファイルを削除できませんでした。";
const char kTryAgain[] =
    "ファイルを使っているプログラムを\r\n終了してから、もう一度\r\nアンインストールしてください。";
const char kNothingFound[] = "アンインストールできるキャラクターが\r\n見つかりません。";
const char kUnreadable[] = "アンインストール情報を読み込めません。";
const char kStaleEntry[] =
    "アンインストール情報がないため、\r\nWindowsのプログラムの一覧から\r\n削除しました。";
const char kUnconfirmed[] =
    "のインストール先を確認できないため、\r\n何も削除しませんでした。";
const char kDamaged[] = "次の項目はファイルの名前として正しくないため、\r\n無視しました。";
const char kMoreBefore[] = "ほか";
const char kMoreAfter[] = "件";

// Names listed in a box before the rest is counted: a box must fit on the screen.
constexpr size_t kListedNames = 10;

// The lines of a box that name the files: each on a line of its own (Wine's box breaks long
// lines anywhere, so the messages too come in short lines), at most kListedNames of them.
std::string NameLines(const std::vector<std::string>& names) {
    std::string lines;
    for (size_t i = 0; i < names.size() && i < kListedNames; ++i) lines += "\r\n" + names[i];
    if (names.size() > kListedNames) {
        lines += "\r\n" + std::string(kMoreBefore) + IntToText(static_cast<int32_t>(names.size() - kListedNames)) +
                 kMoreAfter;
    }
    return lines;
}

bool IsRunningInHost(const Installation& installation) {
    // A run record of a plug-in names no character: no host runs it.
    if (installation.kind == InstallationKind::kInterrupted && installation.vendor.empty() &&
        installation.type.empty()) {
        return false;
    }
    // A host window that does not answer may hold the character: it counts as running it.
    bool unanswered = false;
    return NotifyHostWindows(WM_INSTALLER_QUERYRUNNING, installation.vendor, installation.type,
                             &unanswered) != 0 ||
           unanswered;
}

void TellOutcome(const Installation& installation, const RemovalOutcome& outcome) {
    if (outcome.unconfirmed) {
        ShowError(JoinText({Quoted(installation.app_name), kUnconfirmed, "\r\n"}),
                  StripTrailingDelimiter(installation.install_dir));
        return;
    }
    std::string text = Quoted(installation.app_name) +
                       (outcome.Complete() ? kRemoved : kNotCompleted);
    if (!outcome.failed.empty()) {
        text += "\r\n\r\n" + std::string(kFailed) + NameLines(outcome.failed) + "\r\n" + kTryAgain;
    }
    if (!outcome.refused.empty()) text += "\r\n\r\n" + std::string(kRefused) + NameLines(outcome.refused);
    if (!outcome.damaged.empty()) text += "\r\n\r\n" + std::string(kDamaged) + NameLines(outcome.damaged);
    if (!outcome.kept.empty()) text += "\r\n\r\n" + std::string(kKept) + NameLines(outcome.kept);
    if (outcome.Complete()) {
        ShowConfirm(text, MB_OK);
    } else {
        ShowError(text);
    }
}

// One run: how it was started and what came of it.
class Run {
public:
    explicit Run(bool silent) : silent_(silent), own_folder_(OwnProgramFolder()) {}

    // The host check, the question, the removal and its outcome. True when it was complete.
    bool Remove(const Installation& installation, HWND owner,
                const std::vector<Installation>& others) {
        if (IsRunningInHost(installation)) {
            if (!silent_) {
                ShowError(installation.app_name + "(" + installation.vendor + "-" +
                          installation.type + ")" + kRunning);
            }
            return false;
        }
        // Nothing would be removed: said before the question, which would promise otherwise.
        if (!installation.confirmed) {
            RemovalOutcome nothing;
            nothing.unconfirmed = true;
            if (!silent_) TellOutcome(installation, nothing);
            return false;
        }
        const char* question =
            installation.kind == InstallationKind::kInterrupted ? kInterruptedQuestion : kQuestion;
        if (!silent_ && ShowConfirm(Quoted(installation.app_name) + question, MB_YESNO) != IDYES) {
            return false;
        }
        RemovalContext context = ContextAmong(installation, others);
        context.own_program = OwnProgramPath();
        std::unique_ptr<ProgressWindow> progress;
        if (!silent_) progress = std::make_unique<ProgressWindow>(owner, installation.app_name);
        context.progress = progress.get();
        const RemovalOutcome outcome = RemoveInstallation(installation, context);
        LogLine({"削除 ", installation.app_name, " ", installation.install_dir,
                 outcome.Complete() ? " 完了" : " 未完了", " 残したファイル ",
                 IntToText(static_cast<int32_t>(outcome.kept.size() + outcome.failed.size() +
                                                outcome.refused.size()))});
        progress.reset();
        if (!silent_) TellOutcome(installation, outcome);
        removed_served_ = removed_served_ || IsServedBy(installation, own_folder_);
        return outcome.Complete();
    }

    // The program's own file goes when it removed an installation it served and serves none now:
    // no record found names it, and no entry of Windows' list does.
    void RemoveSelfWhenUnused() {
        if (removed_served_ && FindServedInstallations(own_folder_).empty() &&
            !ListEntryNamesProgram(OwnProgramPath())) {
            StartSelfRemoval();
        }
    }

    const std::string& own_folder() const { return own_folder_; }

private:
    bool silent_;
    std::string own_folder_;
    bool removed_served_ = false;
};

// The list window's side of the flow.
class ListFlow : public ListActions {
public:
    explicit ListFlow(Run& run) : run_(run) {}

    void Remove(const Installation& installation, HWND list_window) override {
        ++asked_;
        if (run_.Remove(installation, list_window, listed_)) ++completed_;
    }
    std::vector<Installation> Current() override {
        listed_ = FindServedInstallations(run_.own_folder());
        return listed_;
    }
    bool AllCompleted() const { return asked_ > 0 && completed_ == asked_; }

private:
    Run& run_;
    std::vector<Installation> listed_;
    int asked_ = 0;
    int completed_ = 0;
};

// The installation the command line names: uinstall.ini, the folder that holds it, or a run
// record.
bool NamedInstallation(const std::string& argument, Installation& installation) {
    const std::string path = FolderExists(argument)
                                 ? AddBackslash(argument) + kUninstallInfoName
                                 : argument;
    return ReadInstallation(path, installation);
}

int RemoveNamed(const std::string& argument, bool silent) {
    Installation installation;
    if (!NamedInstallation(argument, installation)) {
        // Windows' list may name an installation that was removed by hand: its entry goes.
        if (RemoveStaleListEntry(FullPath(argument))) {
            if (!silent) ShowConfirm(kStaleEntry, MB_OK);
            return 0;
        }
        if (!silent) ShowError(JoinText({kUnreadable, "\r\n"}), argument);
        return 1;
    }
    Run run(silent);
    std::vector<std::string> roots = SearchRoots(run.own_folder());
    roots.push_back(installation.install_dir);
    const bool complete = run.Remove(installation, nullptr, FindInstallations(roots));
    run.RemoveSelfWhenUnused();
    return complete ? 0 : 1;
}

int RemoveFound() {
    Run run(false);
    ListFlow flow(run);
    const std::vector<Installation> found = flow.Current();
    int exit_code = 1;
    if (found.empty()) {
        ShowConfirm(kNothingFound, MB_OK);
    } else if (found.size() == 1) {
        exit_code = run.Remove(found.front(), nullptr, found) ? 0 : 1;
    } else {
        ShowInstallationList(flow);
        exit_code = flow.AllCompleted() ? 0 : 1;
    }
    run.RemoveSelfWhenUnused();
    return exit_code;
}

// The log /log asks for: the program, its command line, each box and answer, the exit code. One
// that cannot be created is left out.
bool StartUninstallLog(const LogRequest& request) {
    std::string path = request.path;
    const bool default_name = path.empty();
    if (default_name) {
        char temp[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathA(sizeof temp, temp);
        if (length == 0 || length >= sizeof temp) return false;
        path = DefaultLogPath(temp, OwnProgramPath());
    }
    if (!StartRunLog(path, default_name)) return false;
    LogLine({"開始 ", OwnProgramPath()});
    LogLine({"コマンドライン ", GetCommandLineA()});
    SetBoxObserver(LogBox);
    return true;
}

int Uninstall(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return RemoveFound();
    const bool silent = arguments.front() == kSilentSwitch;
    if (silent) {
        // Silent runs remove only what they are told: never a guess without a window.
        return arguments.size() >= 2 ? RemoveNamed(arguments[1], true) : 1;
    }
    return RemoveNamed(arguments.front(), false);
}

}  // namespace

int RunUninstaller(const std::vector<std::string>& arguments) {
    if (IsSelfRemovalCopy(arguments)) return RunSelfRemovalCopy(arguments);
    std::vector<std::string> rest = arguments;
    const LogRequest log = TakeLogSwitches(rest);
    if (!rest.empty() && IsHelpSwitch(rest.front())) {
        ShowConfirm(kSwitches, MB_OK);
        return 0;
    }
    const bool logging = log.requested && StartUninstallLog(log);
    const int exit_code = Uninstall(rest);
    if (logging) {
        LogLine({"終了コード ", IntToText(exit_code)});
        SetBoxObserver(nullptr);
        EndRunLog();
    }
    return exit_code;
}
