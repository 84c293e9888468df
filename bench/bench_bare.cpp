// Benchmark helper: the least an extraction can do, as the yardstick for the extractor: walk
// the archive with minizip, create each member's folders and write its data with CreateFileA and
// WriteFile in 32 KB pieces. No name checks, no times, no messages.
//   bench_bare.exe [--zip-reader] ARCHIVE DEST
// --zip-reader reads the archive with the installer's reader (ZipReader) instead of minizip, to
// tell the reader's cost from the extractor's.
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

// minizip behind the installer's reader's calls, so that one loop drives either.
class MinizipReader {
public:
    explicit MinizipReader(const std::string& archive) : zip_(unzOpen(archive.c_str())) {}
    ~MinizipReader() {
        if (zip_ != nullptr) unzClose(zip_);
    }
    bool IsOpen() const { return zip_ != nullptr; }
    bool First() { return unzGoToFirstFile(zip_) == UNZ_OK && ReadName(); }
    bool Next() { return unzGoToNextFile(zip_) == UNZ_OK && ReadName(); }
    const std::string& Name() const { return name_; }
    bool OpenMember() { return unzOpenCurrentFile(zip_) == UNZ_OK; }
    int Read(void* out, unsigned size) { return unzReadCurrentFile(zip_, out, size); }
    bool MemberIsIntact() { return unzCloseCurrentFile(zip_) == UNZ_OK; }

private:
    bool ReadName() {
        char name[1024] = {};
        if (unzGetCurrentFileInfo(zip_, nullptr, name, sizeof name - 1, nullptr, 0, nullptr, 0) !=
            UNZ_OK) {
            return false;
        }
        name_ = name;
        return true;
    }
    unzFile zip_;
    std::string name_;
};

// The installer's reader with the name as the loop takes it.
class InstallerReader : public ZipReader {
public:
    explicit InstallerReader(const std::string& archive) { Open(archive); }
    const std::string& Name() const { return Current().name; }
};

template <typename Reader>
bool ExtractAll(Reader& zip, const std::string& destination, int& entries) {
    std::vector<char> buffer(kPieceSize);
    std::string made_folder;
    for (bool more = zip.First(); more; more = zip.Next()) {
        const std::string& name = zip.Name();
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
        if (!zip.OpenMember()) return Fail("cannot open member " + name);
        for (;;) {
            const int read = zip.Read(buffer.data(), kPieceSize);
            if (read < 0) return Fail("cannot read member " + name);
            if (read == 0) break;
            DWORD written = 0;
            if (!WriteFile(out.get(), buffer.data(), static_cast<DWORD>(read), &written, nullptr) ||
                written != static_cast<DWORD>(read)) {
                return Fail("cannot write " + path);
            }
        }
        if (!zip.MemberIsIntact()) return Fail("bad CRC in " + name);
    }
    return true;
}

template <typename Reader>
bool ExtractArchive(const std::string& archive, const std::string& destination, int& entries) {
    Reader zip(archive);
    if (!zip.IsOpen()) return Fail("cannot open " + archive);
    MakeFolders(destination.substr(0, destination.size() - 1));
    return ExtractAll(zip, destination, entries);
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
    const bool done = zip_reader
                          ? ExtractArchive<InstallerReader>(archive, destination, entries)
                          : ExtractArchive<MinizipReader>(archive, destination, entries);
    const double seconds = SecondsSince(start);
    if (!done) return 1;
    PrintReport(entries, seconds);
    return 0;
}
