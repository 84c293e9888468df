// State shared by the whole run.
#include "driver/flow/globals.h"

#include "utils/message_box.h"
#include "utils/text.h"

TInstallOptions InstallOptions;
TInstallStatus InstallStatus;
std::string ShortcutGroup = kDefaultShortcutGroup;
HWND MainWindow = nullptr;

namespace {
std::vector<std::string> g_arguments;
LogRequest g_log_request;
}

void SetCommandLineArguments(std::vector<std::string> arguments) {
    g_log_request = TakeLogSwitches(arguments);
    if (g_log_request.unattended) {
        // Nobody reads a box: what it says goes to the log, and the exit code tells the rest.
        SetUnattended(true);
        g_log_request.requested = true;
    }
    g_arguments = std::move(arguments);
}

const LogRequest& RequestedLog() {
    return g_log_request;
}

bool HasArgument() {
    return !g_arguments.empty();
}

std::string FirstArgument() {
    return g_arguments.empty() ? std::string() : g_arguments.front();
}

bool IsSilentSwitch(const std::string& argument) {
    return argument == "-s" || argument == "-s2";
}

int AskAboutPackage(const char* text, UINT flags) {
    return ShowConfirm(JoinText({"\"", InstallOptions.AppName, "\"", text}), flags);
}
