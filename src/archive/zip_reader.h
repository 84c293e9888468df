// Access to the package archive: the archive is found inside its file (behind a program image,
// before an Authenticode signature) and read from its first byte, so every stored offset, ZIP64
// records included, counts from there. The file is opened read-only with read and write sharing,
// so a running installer can read its own program file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "utils/unique_any.h"
#include "zlib.h"

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
// A C string would convert to a HANDLE before it became a path.
bool FindArchive(const char* path, ArchiveSpan& span) = delete;

// One member as the central directory describes it.
struct ZipMember {
    std::string name;  // as stored, cut at kMaxMemberName bytes
    uint16_t flags = 0;   // general purpose bits: 1 encrypted, 8 sizes in a data descriptor
    uint16_t method = 0;  // 0 stored, 8 deflated
    uint32_t dos_time = 0;  // MS-DOS date (high word) and time (low word), local time
    uint32_t crc = 0;
    uint64_t compressed_size = 0;
    uint64_t size = 0;
    uint64_t header_offset = 0;  // of its local header, counted from the archive's start
    uint16_t name_length = 0;    // of the whole stored name
};

// Reads the package archive: its central directory front to back, and one member's data at a
// time, inflated and checked against its size and CRC. Consecutive reads of the directory and of
// consecutive members go through one 64 KB window each, so that a small member costs no system
// call of its own; one inflate state serves every member.
class ZipReader {
public:
    // Read's results besides a count of bytes.
    static constexpr int kDamaged = -1;     // the member's data is not what the directory says
    static constexpr int kReadFailed = -2;  // reading the file failed (its last error stands)

    ZipReader();
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // Opens the archive in path; false on any failure, and for an archive whose central
    // directory lies: an entry count or directory size that does not match the directory,
    // members whose data would overlap each other or the directory, a stored member larger than
    // its data, a deflated one beyond the deflate ratio. With held_file, the archive is read from
    // that open file (the file at path, held by the caller) instead of opening path again.
    bool Open(const std::string& path, HANDLE held_file = INVALID_HANDLE_VALUE);
    bool IsOpen() const { return static_cast<bool>(file_); }
    // True when an open archive was closed.
    bool Close();
    uint64_t EntryCount() const { return span_.entries; }
    // The layout checked by Open.
    const ArchiveLayout& Layout() const { return layout_; }

    // The central directory: First makes the first entry current, Next the one after the
    // current; false past the last entry or when the directory cannot be read.
    bool First();
    bool Next();
    // Makes the entry current whose name is name (ASCII letters in any case); false when there
    // is none.
    bool Locate(const std::string& name);
    const ZipMember& Current() const { return current_; }
    uint64_t CurrentIndex() const { return index_; }

    // Prepares reading the current member's data; false for a method other than stored or
    // deflated, an encrypted member, a local header that does not match its entry, data that
    // would reach beyond its range, or a failed read.
    bool OpenMember();
    // Reads the next bytes of the open member into out: their count, 0 once the member's size
    // has been read or its data ends, or kDamaged or kReadFailed.
    int Read(void* out, unsigned size);
    // True when everything read of the member is its whole size with its CRC.
    bool MemberIsIntact() const { return left_ == 0 && crc_ == current_.crc; }

    // Reads a byte range of the file through a window.
    class Window {
    public:
        static constexpr size_t kSize = 65536;

        void Reset(HANDLE file, uint64_t end);
        // Points at the bytes from offset to the window's end (at most end - offset of them);
        // available 0 when the read fails or offset is at the end.
        const unsigned char* Peek(uint64_t offset, size_t& available);
        // Copies exactly size bytes at offset.
        bool Read(uint64_t offset, void* out, size_t size);

    private:
        HANDLE file_ = INVALID_HANDLE_VALUE;
        uint64_t end_ = 0;
        uint64_t start_ = 0;  // file offset of buffer_[0]
        size_t length_ = 0;
        std::unique_ptr<unsigned char[]> buffer_;
    };

private:
    bool ReadEntry();

    UniqueFile file_;
    ArchiveSpan span_;
    ArchiveLayout layout_;
    Window directory_;
    Window data_;
    uint64_t entry_at_ = 0;  // file offset of the next directory entry
    uint64_t index_ = 0;
    ZipMember current_;
    // The open member.
    z_stream stream_{};
    bool inflating_ = false;  // stream_ is initialised
    bool open_ = false;
    uint64_t in_at_ = 0;    // file offset of its next compressed byte
    uint64_t in_left_ = 0;  // compressed bytes not yet handed to inflate
    uint64_t left_ = 0;     // bytes of the member not yet read
    uint32_t crc_ = 0;
};
