// Starting a program and waiting for it while the thread's windows stay alive.
#include "utils/process.h"

#include <vector>

#include "utils/message_pump.h"
#include "utils/unique_any.h"

int32_t RunAndWait(const std::string& command_line, HWND pump_window) {
    std::vector<char> buffer(command_line.begin(), command_line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    GetStartupInfoA(&startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &process)) {
        return -1;
    }
    UniqueHandle process_handle(process.hProcess);
    UniqueHandle thread_handle(process.hThread);
    while (WaitForSingleObject(process_handle.get(), 0) == WAIT_TIMEOUT) {
        ProcessMessages(pump_window);
        // Sleep until a message arrives or the program ends, instead of spinning.
        MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, INFINITE, QS_ALLINPUT);
    }
    DWORD exit_code = 0;
    GetExitCodeProcess(process_handle.get(), &exit_code);
    return static_cast<int32_t>(exit_code);
}

std::string CommandLineFor(const std::string& program, const std::string& arguments) {
    return "\"" + program + "\" " + arguments;
}
