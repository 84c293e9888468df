// Benchmark helper: the least a removal can do, as the yardstick for the uninstaller: DeleteFileA
// on every file of a list, nothing else (no checks, no folders, no messages).
//   bench_delete.exe ROOT LIST
// LIST holds one name relative to ROOT a line; it is read before the timing starts.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench_report.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: bench_delete.exe ROOT LIST\n", stderr);
        return 2;
    }
    std::string root = argv[1];
    if (!root.empty() && root.back() != '\\') root += '\\';
    std::vector<std::string> paths;
    std::ifstream list(argv[2]);
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) paths.push_back(root + line);
    }
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    int deleted = 0;
    for (const std::string& path : paths) deleted += DeleteFileA(path.c_str()) ? 1 : 0;
    PrintReport(deleted, SecondsSince(start));
    return deleted == static_cast<int>(paths.size()) ? 0 : 1;
}
