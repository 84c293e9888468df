// Benchmark helper: the installer's seal check over a sealed installer or archive, timed, as the
// installer makes it before its first question.
//   bench_seal.exe FILE
#include <cstdio>

#include "archive/seal.h"
#include "bench_report.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: bench_seal.exe FILE\n", stderr);
        return 2;
    }
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    const SealState state = CheckArchiveSeal(argv[1]);
    const double seconds = SecondsSince(start);
    if (state != SealState::kIntact) {
        std::fputs("bench_seal: the seal is not intact\n", stderr);
        return 1;
    }
    PrintReport(0, seconds);
    return 0;
}
