// Benchmark helper: the least an extraction can do, as the yardstick for the extractor: walk
// the archive with minizip, create each member's folders and write its data with CreateFileA and
// WriteFile in 32 KB pieces. No name checks, no times, no messages.
//   bench_bare.exe [--zip-reader] ARCHIVE DEST
// --zip-reader opens the archive through the installer's file functions (OpenZipReader) instead
// of minizip's own, to tell the reader's cost from the extractor's.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/zip_reader.h"
#include "bench_report.h"
#include "unzip.h"
#include "utils/unique_any.h"

namespace {

constexpr unsigned kPieceSize = 32768;

// Creates folder and its missing parents; folders that exist already are fine.
void MakeFolders(const std::string& folder) {
    for (size_t at = folder.find('\\', 3); at != std::string::npos; at = folder.find('\\', at + 1)) {
        CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryA(folder.c_str(), nullptr);
}

bool Fail(const std::string& message) {
    std::fprintf(stderr, "bench_bare: %s\n", message.c_str());
    return false;
}

bool ExtractAll(unzFile zip, const std::string& destination, int& entries) {
    std::vector<char> buffer(kPieceSize);
    std::string made_folder;
    int status = unzGoToFirstFile(zip);
    for (; status == UNZ_OK; status = unzGoToNextFile(zip)) {
        char name[1024] = {};
        if (unzGetCurrentFileInfo(zip, nullptr, name, sizeof name - 1, nullptr, 0, nullptr, 0) !=
            UNZ_OK) {
            return Fail("cannot read member information");
        }
        ++entries;
        std::string path = destination + name;
        for (char& c : path) {
            if (c == '/') c = '\\';
        }
        const std::string folder = path.substr(0, path.rfind('\\'));
        if (folder != made_folder) {
            MakeFolders(folder);
            made_folder = folder;
        }
        if (path.back() == '\\') continue;  // a folder member

        UniqueFile out(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out) return Fail("cannot create " + path);
        if (unzOpenCurrentFile(zip) != UNZ_OK) return Fail("cannot open member " + std::string(name));
        for (;;) {
            const int read = unzReadCurrentFile(zip, buffer.data(), kPieceSize);
            if (read < 0) return Fail("cannot read member " + std::string(name));
            if (read == 0) break;
            DWORD written = 0;
            if (!WriteFile(out.get(), buffer.data(), static_cast<DWORD>(read), &written, nullptr) ||
                written != static_cast<DWORD>(read)) {
                return Fail("cannot write " + path);
            }
        }
        if (unzCloseCurrentFile(zip) != UNZ_OK) return Fail("bad CRC in " + std::string(name));
    }
    return status == UNZ_END_OF_LIST_OF_FILE || Fail("cannot go to the next member");
}

}  // namespace

int main(int argc, char** argv) {
    const bool zip_reader = argc == 4 && std::string(argv[1]) == "--zip-reader";
    if (argc != (zip_reader ? 4 : 3)) {
        std::fputs("usage: bench_bare.exe [--zip-reader] ARCHIVE DEST\n", stderr);
        return 2;
    }
    const std::string archive = argv[argc - 2];
    std::string destination = argv[argc - 1];
    if (destination.back() != '\\') destination += '\\';

    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    int entries = 0;
    bool done = false;
    {
        UniqueUnzFile zip(zip_reader ? OpenZipReader(archive) : unzOpen(archive.c_str()));
        if (!zip) {
            std::fprintf(stderr, "bench_bare: cannot open %s\n", archive.c_str());
            return 1;
        }
        MakeFolders(destination.substr(0, destination.size() - 1));
        done = ExtractAll(zip.get(), destination, entries);
    }
    const double seconds = SecondsSince(start);
    if (!done) return 1;
    PrintReport(entries, seconds);
    return 0;
}
