// Starting a program and waiting for it while the thread's windows stay alive; starting one as
// the signed-in user from an elevated installer.
#include "utils/process.h"

#include <vector>

#include "utils/message_pump.h"

namespace {

// The rights a primary token needs for CreateProcessWithTokenW.
constexpr DWORD kPrimaryTokenAccess = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY |
                                      TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;

bool IsElevated(HANDLE token) {
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

UniqueHandle StartAsThisUser(const std::string& command_line) {
    std::vector<char> buffer(command_line.begin(), command_line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    GetStartupInfoA(&startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &process)) {
        return UniqueHandle();
    }
    UniqueHandle thread(process.hThread);
    return UniqueHandle(process.hProcess);
}

}  // namespace

bool ThisProcessIsElevated() {
    UniqueHandle token;
    return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
           IsElevated(token.get());
}

UniqueHandle StartAsSignedInUser(const std::string& command_line, const std::string& folder,
                                 int show_command) {
    if (!ThisProcessIsElevated()) return UniqueHandle();
    DWORD shell_id = 0;
    const HWND shell = GetShellWindow();
    if (shell == nullptr || GetWindowThreadProcessId(shell, &shell_id) == 0 || shell_id == 0) {
        return UniqueHandle();
    }
    UniqueHandle shell_process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shell_id));
    UniqueHandle shell_token;
    UniqueHandle token;
    if (!shell_process ||
        !OpenProcessToken(shell_process.get(), TOKEN_DUPLICATE | TOKEN_QUERY, shell_token.put()) ||
        IsElevated(shell_token.get()) ||
        !DuplicateTokenEx(shell_token.get(), kPrimaryTokenAccess, nullptr, SecurityImpersonation,
                          TokenPrimary, token.put())) {
        return UniqueHandle();
    }
    // CreateProcessWithTokenW may write to the command line: a copy of its own.
    std::wstring command = WideText(command_line);
    const std::wstring wide_folder = WideText(folder);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show_command);
    PROCESS_INFORMATION process{};
    if (!CreateProcessWithTokenW(token.get(), 0, nullptr, command.data(), 0, nullptr,
                                 folder.empty() ? nullptr : wide_folder.c_str(), &startup,
                                 &process)) {
        return UniqueHandle();
    }
    UniqueHandle thread(process.hThread);
    return UniqueHandle(process.hProcess);
}

int32_t RunAndWait(const std::string& command_line, HWND pump_window, bool as_signed_in_user) {
    UniqueHandle process;
    if (as_signed_in_user) process = StartAsSignedInUser(command_line, "", SW_SHOWNORMAL);
    if (!process) process = StartAsThisUser(command_line);
    if (!process) return -1;
    HANDLE handle = process.get();
    while (WaitForSingleObject(handle, 0) == WAIT_TIMEOUT) {
        ProcessMessages(pump_window);
        // Sleep until a message arrives or the program ends, instead of spinning.
        MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    }
    DWORD exit_code = 0;
    GetExitCodeProcess(handle, &exit_code);
    return static_cast<int32_t>(exit_code);
}

std::string CommandLineFor(const std::string& program, const std::string& arguments) {
    return JoinText({"\"", program, "\" ", arguments});
}
