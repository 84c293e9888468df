// Benchmark helper: one sequential pass of the installer's extractor over an archive, as the
// installation run makes it (keep folders, no overwrite question), timed from the constructor
// to the last member.
//   bench_extract.exe ARCHIVE DEST
#include <cstdio>
#include <string>

#include "archive/zarchive.h"
#include "bench_report.h"
#include "utils/message_box.h"
#include "utils/text.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: bench_extract.exe ARCHIVE DEST\n", stderr);
        return 2;
    }
    const std::string archive = argv[1];
    const std::string destination = AddBackslash(argv[2]);
    // An error box would wait for a click that never comes: record it instead.
    ScopedBoxAnswers boxes;

    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    int entries = 0;
    int result = 0;
    {
        TZlibArchiver archiver(archive);
        archiver.SetKeepFolders(1);
        archiver.SetConfirmOverwrite(0);
        entries = archiver.OpenArchive();
        result = entries == 0 ? 0 : 1;
        std::string entry_name;
        while (result == 1) result = archiver.ExtractNext(entry_name, destination);
        if (result == 0 && entries != 0) archiver.CloseArchive();
    }
    const double seconds = SecondsSince(start);

    if (result != -1) {
        for (const AskedBox& box : boxes.asked()) std::fprintf(stderr, "%s\n", box.text.c_str());
        std::fputs("bench_extract: extraction failed\n", stderr);
        return 1;
    }
    PrintReport(entries, seconds);
    return 0;
}
