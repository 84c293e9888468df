// Access to the package archive through minizip: the archive is found inside its file (behind a
// program image, before an Authenticode signature) and minizip reads a view of the file that
// starts at the archive's first byte, so every stored offset, ZIP64 records included, counts from
// there. The file is opened read-only with read and write sharing, so a running installer can
// read its own program file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "unzip.h"
#include "utils/unique_any.h"

// Case-insensitive name comparison for unzLocateFile: ASCII letters folded to upper case.
// minizip's default (0) is case-sensitive on Unix-like builds, so the value is always explicit.
constexpr int kCaseInsensitive = 2;

// Where an archive lies inside its file: its first byte and its length up to the end of its
// end-of-central-directory record (comment included).
struct ArchiveSpan {
    uint64_t start = 0;
    uint64_t length = 0;
    bool zip64 = false;  // found through ZIP64 end records
    // Where the classic end record lies in the file; the archive's comment follows its 22 bytes.
    uint64_t end_record = 0;
    // The central directory as the end records give it; the offset counts from start.
    uint64_t entries = 0;
    uint64_t directory_offset = 0;
    uint64_t directory_size = 0;
};

// What the central directory claims, checked against the file before anything is extracted.
struct ArchiveLayout {
    uint64_t declared_size = 0;  // the sum of the members' uncompressed sizes
    uint64_t largest_size = 0;   // the largest member's uncompressed size
    // Per entry, in directory order: where its data must end at the latest (the next member's
    // local header, or the central directory).
    std::vector<uint64_t> data_limit;
};

// A deflate stream inflates to at most this many times its own size (a 258-byte match in one
// bit, with a tail of byte alignment): a member claiming more lies about its size.
constexpr uint64_t kMaxDeflateRatio = 1032;

// Reads exactly size bytes at offset of an open file.
bool ReadFileAt(HANDLE file, uint64_t offset, void* out, DWORD size);

// What a program file's headers tell about its bytes.
struct ProgramLayout {
    uint64_t image_end = 0;  // where the program's own bytes (headers, sections, and a COFF
                             // symbol table with its string table, as a stripped MinGW
                             // program keeps for its long section names) end
    uint64_t data_end = 0;   // where an Authenticode certificate table that ends the file
                             // starts; the file's size without one
    // Where the two header fields lie that signing the program rewrites: the optional header's
    // CheckSum (4 bytes) and the certificate table's directory entry (8 bytes).
    uint64_t checksum_field = 0;
    uint64_t certificate_entry = 0;
};
// Reads the layout of the program in the open file of file_size bytes; false (and a layout of
// a plain file: data_end the file's size, the rest 0) when the file is no program.
bool ReadProgramLayout(HANDLE file, uint64_t file_size, ProgramLayout& layout);

// Finds the archive in the file at path; false when the file holds none or cannot be read.
bool FindArchive(const std::string& path, ArchiveSpan& span);
// The same for a file already open for reading.
bool FindArchive(HANDLE file, ArchiveSpan& span);

// Opens the archive in path; null on any failure, and for an archive whose central directory
// lies: an entry count or directory size that does not match the directory, members whose data
// would overlap each other or the directory, a stored member larger than its data, a deflated one
// beyond the deflate ratio. With layout set, it receives the checked layout.
// With held_file, the archive is read from that open file (the file at path, held by the
// caller) instead of opening path again.
unzFile OpenZipReader(const std::string& path, ArchiveLayout* layout = nullptr,
                      HANDLE held_file = INVALID_HANDLE_VALUE);

// Owner of an open archive: closed (with any open member) when the owner goes away.
struct UnzFileTraits {
    using Type = unzFile;
    static Type Empty() { return nullptr; }
    static bool Close(Type file) { return unzClose(file) == UNZ_OK; }
};
using UniqueUnzFile = UniqueAny<UnzFileTraits>;
