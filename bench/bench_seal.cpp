// Benchmark helper: the installer's seal check over a sealed installer or archive, timed, as the
// installer makes it before its first question; and the sealing of an installer put together
// from setup.exe and a sealed archive, whose seal must cover the program too.
//   bench_seal.exe FILE
//   bench_seal.exe --seal FILE
#include <cstdio>
#include <cstring>
#include <string>

#include "archive/seal.h"
#include "bench_report.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--seal") == 0) {
        if (SealArchive(argv[2])) return 0;
        std::fputs("bench_seal: cannot seal the file\n", stderr);
        return 1;
    }
    if (argc != 2) {
        std::fputs("usage: bench_seal.exe FILE | bench_seal.exe --seal FILE\n", stderr);
        return 2;
    }
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    const SealState state = CheckArchiveSeal(std::string(argv[1]));
    const double seconds = SecondsSince(start);
    if (state != SealState::kIntact) {
        std::fputs("bench_seal: the seal is not intact\n", stderr);
        return 1;
    }
    PrintReport(0, seconds);
    return 0;
}
