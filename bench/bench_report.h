// The one-line report of the benchmark helpers, read by extract_bench.sh.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <cstdio>

// Seconds since start, from the performance counter.
inline double SecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// "entries=N seconds=S peak_working_set_kb=K" on standard output.
inline void PrintReport(int entries, double seconds) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    const unsigned long long peak_kb =
        GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)
            ? counters.PeakWorkingSetSize / 1024
            : 0;
    std::printf("entries=%d seconds=%.6f peak_working_set_kb=%llu\n", entries, seconds, peak_kb);
}
