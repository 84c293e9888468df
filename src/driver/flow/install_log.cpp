// The installation's log: started from the command line's request, fed by the message-box
// gateway, ended with the exit code.
#include "driver/flow/install_log.h"

#include <windows.h>

#include "driver/flow/globals.h"
#include "utils/message_box.h"
#include "utils/process.h"
#include "utils/run_log.h"
#include "utils/text.h"
#include "utils/version.h"

namespace {

const char kLogNotCreated[] =
    "ログファイルを作成できません。ログなしでインストールを続けます。\r\n";

// The installer's version, the system's and the rights the run has: "版 1.0.0.0 Windows
// 10.0.19045 管理者として実行". The system's own version: GetVersionEx tells only programs that
// declare they know it.
void LogEnvironment() {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto get_version = reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (get_version != nullptr) get_version(&version);
    char line[128];
    wsprintfA(line, "版 %.30s Windows %lu.%lu.%lu %s", GetFileVersionText(OwnProgramPath()).c_str(),
              version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber,
              ThisProcessIsElevated() ? "管理者として実行" : "一般の権限で実行");
    LogLine(line);
}

}  // namespace

void StartInstallLog(const std::string& package_path) {
    const LogRequest& request = RequestedLog();
    if (!request.requested) return;
    std::string path = request.path;
    const bool default_name = path.empty();
    if (default_name) {
        char temp[MAX_PATH + 1] = {};
        const DWORD length = GetTempPathA(sizeof temp, temp);
        if (length != 0 && length < sizeof temp) path = DefaultLogPath(temp, package_path);
    }
    if (path.empty() || !StartRunLog(path, default_name)) {
        // A silent run never waits for a person: the missing file is all it says.
        if (!IsSilentSwitch(FirstArgument())) ShowError(kLogNotCreated, path);
        return;
    }
    LogLine({"開始 ", OwnProgramPath()});
    LogEnvironment();
    LogLine({"コマンドライン ", GetCommandLineA()});
    LogLine({"パッケージ ", package_path});
    SetBoxObserver(LogBox);
}

void EndInstallLog(int exit_code) {
    if (!RunLogStarted()) return;
    LogLine({"終了コード ", IntToText(exit_code)});
    SetBoxObserver(nullptr);
    EndRunLog();
}
