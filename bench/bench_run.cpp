// Benchmark helper: runs a Windows program as a whole process and reports its lifetime, its peak
// working set and its exit code; with --first-box, also the time from its start to its first
// dialog box (a message box's question), which it then answers.
//   bench_run.exe [--first-box ID] PROGRAM [ARGS...]
// Prints "seconds=S peak_working_set_kb=K exit_code=E" (and "first_box_seconds=F" first).
// --first-box ID: waits for the program's first visible dialog-box window and presses its button
// ID (7 for No: the installer then ends, as does the minimal message-box program).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_report.h"
#include "utils/unique_any.h"

namespace {

struct BoxSearch {
    DWORD process_id;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process_id || !IsWindowVisible(window)) return TRUE;
    char class_name[16] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (std::string(class_name) != "#32770") return TRUE;
    search->found = window;
    return FALSE;
}

// The peak working set so far: the counters of a process cannot be read once it has ended, so
// they are read while it runs, each time the wait below wakes.
void UpdatePeak(HANDLE process, SIZE_T& peak) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, &counters, sizeof counters) &&
        counters.PeakWorkingSetSize > peak) {
        peak = counters.PeakWorkingSetSize;
    }
}

// Quoted only when it has to be: NSIS reads its /D= argument only unquoted.
std::string Quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    return "\"" + argument + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    int box_button = 0;
    if (argc > 2 && std::string(argv[1]) == "--first-box") {
        box_button = std::atoi(argv[2]);
        first = 3;
    }
    if (argc <= first) {
        std::fputs("usage: bench_run.exe [--first-box ID] PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    std::string command_line = Quoted(argv[first]);
    for (int i = first + 1; i < argc; ++i) command_line += " " + Quoted(argv[i]);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        std::fprintf(stderr, "bench_run: cannot start %s\n", argv[first]);
        return 1;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);

    SIZE_T peak = 0;
    double first_box = -1;
    // Wakes every millisecond while a box is awaited (the figure's resolution), then every 10.
    while (WaitForSingleObject(process.get(), first_box < 0 && box_button != 0 ? 1 : 10) ==
           WAIT_TIMEOUT) {
        UpdatePeak(process.get(), peak);
        if (box_button == 0 || first_box >= 0) continue;
        BoxSearch search{info.dwProcessId, nullptr};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) continue;
        first_box = SecondsSince(start);
        PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(box_button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(search.found, box_button)));
    }
    const double seconds = SecondsSince(start);
    DWORD exit_code = 0;
    GetExitCodeProcess(process.get(), &exit_code);
    if (box_button != 0) std::printf("first_box_seconds=%.6f ", first_box);
    std::printf("seconds=%.6f peak_working_set_kb=%lu exit_code=%lu\n", seconds,
                static_cast<unsigned long>(peak / 1024), static_cast<unsigned long>(exit_code));
    return 0;
}
