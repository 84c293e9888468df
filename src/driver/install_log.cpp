// The installation's log: started from the command line's request, fed by the message-box
// gateway, ended with the exit code.
#include "driver/install_log.h"

#include <windows.h>

#include "driver/globals.h"
#include "utils/message_box.h"
#include "utils/process.h"
#include "utils/run_log.h"
#include "utils/text.h"

namespace {

const char kLogNotCreated[] =
    "ログファイルを作成できません。ログなしでインストールを続けます。\r\n";

std::string AnswerName(int answer) {
    switch (answer) {
        case IDOK: return "OK";
        case IDYES: return "はい";
        case IDNO: return "いいえ";
        case IDCANCEL: return "キャンセル";
        default: return IntToText(answer);
    }
}

void LogBox(const char* caption, const std::string& text, int answer) {
    if (answer == 0) {
        LogLine(std::string("メッセージ（") + caption + "） " + text);
    } else {
        LogLine("回答 " + AnswerName(answer));
    }
}

}  // namespace

void StartInstallLog(const std::string& package_path) {
    const LogRequest& request = RequestedLog();
    if (!request.requested) return;
    std::string path = request.path;
    if (path.empty()) {
        char temp[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathA(sizeof temp, temp);
        if (length != 0 && length < sizeof temp) path = DefaultLogPath(temp, package_path);
    }
    if (path.empty() || !StartRunLog(path)) {
        // A silent run never waits for a person: the missing file is all it says.
        if (!IsSilentSwitch(FirstArgument())) ShowError(kLogNotCreated + path);
        return;
    }
    LogLine("開始 " + OwnProgramPath());
    LogLine(std::string("コマンドライン ") + GetCommandLineA());
    LogLine("パッケージ " + package_path);
    SetBoxObserver(LogBox);
}

void EndInstallLog(int exit_code) {
    if (!RunLogStarted()) return;
    LogLine("終了コード " + IntToText(exit_code));
    SetBoxObserver(nullptr);
    EndRunLog();
}
