// Finding the archive inside its file, and the file functions through which minizip reads it: a
// buffered, read-only view of the file that starts at the archive's first byte.
#include "archive/zip_reader.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "ioapi.h"
#include "utils/unique_any.h"

namespace {

// --- finding the archive ------------------------------------------------------------------------

constexpr uint32_t kEndSignature = 0x06054B50;           // end of central directory
constexpr uint32_t kZip64EndSignature = 0x06064B50;      // ZIP64 end of central directory
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;  // ZIP64 end of central directory locator
constexpr uint32_t kCentralSignature = 0x02014B50;       // central directory entry
constexpr uint64_t kEndSize = 22;
constexpr uint64_t kZip64LocatorSize = 20;
// The ZIP64 end record without extensible data (which only PKWARE's encryption writes): its
// size field counts the 44 bytes after itself.
constexpr uint64_t kZip64EndSize = 56;
constexpr uint64_t kZip64EndBody = 44;
constexpr uint64_t kMaxComment = 0xFFFF;
// Signing tools pad the file to a multiple of 8 bytes before the certificate table.
constexpr uint64_t kMaxPadding = 7;

uint16_t Get16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t Get32(const unsigned char* p) {
    return static_cast<uint32_t>(Get16(p)) | static_cast<uint32_t>(Get16(p + 2)) << 16;
}

uint64_t Get64(const unsigned char* p) {
    return static_cast<uint64_t>(Get32(p)) | static_cast<uint64_t>(Get32(p + 4)) << 32;
}

bool ReadAt(HANDLE file, uint64_t offset, void* out, DWORD size, DWORD& read) {
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) &&
           ReadFile(file, out, size, &read, nullptr);
}

// Sizes in a program's headers: the 20-byte file header after "PE\0\0", the optional header's
// CheckSum field, the data directories of the 32-bit and 64-bit layouts, the section headers.
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kChecksumOffset = 64;  // in the optional header, in both layouts
constexpr size_t kSectionHeaderSize = 40;
constexpr uint32_t kCertificateDirectory = 4;

// Where the data that may hold the archive ends: at an Authenticode certificate table that ends
// the file (signing a program appends one behind everything, an appended archive included), or
// at the end of the file.
uint64_t DataEnd(HANDLE file, uint64_t file_size) {
    ProgramLayout program;
    return ReadProgramLayout(file, file_size, program) ? program.data_end : file_size;
}

// Reads the end records whose classic end record starts at end_pos (its 22 bytes at record) and
// fills span when they describe an archive lying before data_end. The archive's start is where
// its central directory's offsets count from: the position of the record that follows the
// central directory less the stored offset of that record.
bool ReadEndRecords(HANDLE file, uint64_t end_pos, const unsigned char* record, uint64_t data_end,
                    ArchiveSpan& span) {
    const uint64_t archive_end = end_pos + kEndSize + Get16(record + 20);
    if (archive_end > data_end) return false;

    uint64_t entries = Get16(record + 10);
    uint64_t directory_size = Get32(record + 12);
    uint64_t directory_offset = Get32(record + 16);
    uint64_t directory_end = end_pos;  // where the central directory ends in the file
    uint64_t start = 0;
    bool zip64 = false;

    unsigned char locator[kZip64LocatorSize];
    if (end_pos >= kZip64LocatorSize + kZip64EndSize &&
        ReadFileAt(file, end_pos - kZip64LocatorSize, locator, sizeof locator) &&
        Get32(locator) == kZip64LocatorSignature) {
        // One disk, and the ZIP64 end record right before the locator.
        unsigned char end64[kZip64EndSize];
        const uint64_t end64_pos = end_pos - kZip64LocatorSize - kZip64EndSize;
        const uint64_t stored_end64 = Get64(locator + 8);
        if (Get32(locator + 4) != 0 || Get32(locator + 16) != 1 ||
            !ReadFileAt(file, end64_pos, end64, sizeof end64) ||
            Get32(end64) != kZip64EndSignature || Get64(end64 + 4) != kZip64EndBody ||
            Get32(end64 + 16) != 0 || Get32(end64 + 20) != 0 ||
            Get64(end64 + 24) != Get64(end64 + 32) || stored_end64 > end64_pos) {
            return false;
        }
        entries = Get64(end64 + 32);
        directory_size = Get64(end64 + 40);
        directory_offset = Get64(end64 + 48);
        directory_end = end64_pos;
        start = end64_pos - stored_end64;
        zip64 = true;
    } else {
        if (Get16(record + 4) != 0 || Get16(record + 6) != 0 ||
            Get16(record + 8) != entries || directory_offset + directory_size > end_pos) {
            return false;
        }
        start = end_pos - (directory_offset + directory_size);
    }

    // The directory ends where the end records begin: a gap there means the stored offset or
    // size does not describe this file.
    if (directory_offset > directory_end - start ||
        directory_size != directory_end - start - directory_offset) {
        return false;
    }
    if (entries > 0) {
        unsigned char signature[4];
        if (!ReadFileAt(file, start + directory_offset, signature, sizeof signature) ||
            Get32(signature) != kCentralSignature) {
            return false;
        }
    }
    span.start = start;
    span.length = archive_end - start;
    span.zip64 = zip64;
    span.end_record = end_pos;
    span.entries = entries;
    span.directory_offset = directory_offset;
    span.directory_size = directory_size;
    return true;
}

// The end record is searched backwards from the end of the data, over the longest comment it
// may carry and the signing tools' padding; the last record that describes an archive wins.
bool LocateArchive(HANDLE file, ArchiveSpan& span) {
    LARGE_INTEGER file_size{};
    if (!GetFileSizeEx(file, &file_size)) return false;
    const uint64_t data_end = DataEnd(file, static_cast<uint64_t>(file_size.QuadPart));
    const uint64_t window = std::min<uint64_t>(data_end, kEndSize + kMaxComment + kMaxPadding);
    if (window < kEndSize) return false;
    std::vector<unsigned char> tail(static_cast<size_t>(window));
    const uint64_t window_start = data_end - window;
    if (!ReadFileAt(file, window_start, tail.data(), static_cast<DWORD>(window))) return false;
    for (size_t i = static_cast<size_t>(window - kEndSize) + 1; i-- > 0;) {
        if (Get32(&tail[i]) == kEndSignature &&
            ReadEndRecords(file, window_start + i, &tail[i], data_end, span)) {
            return true;
        }
    }
    return false;
}

// --- checking the central directory ---------------------------------------------------------

constexpr uint64_t kCentralHeaderSize = 46;
constexpr uint64_t kLocalHeaderSize = 30;
constexpr uint16_t kZip64ExtraId = 1;
constexpr uint32_t kNoValue32 = 0xFFFFFFFF;

// Reads a byte range of a file from front to back through a buffer.
class RangeReader {
public:
    RangeReader(HANDLE file, uint64_t begin, uint64_t length)
        : file_(file), position_(begin), end_(begin + length) {}

    bool Read(unsigned char* out, uint64_t size) {
        while (size > 0) {
            if (next_ == filled_) {
                const uint64_t want = std::min<uint64_t>(sizeof buffer_, end_ - position_);
                if (want == 0 || !ReadFileAt(file_, position_, buffer_, static_cast<DWORD>(want))) {
                    return false;
                }
                position_ += want;
                next_ = 0;
                filled_ = static_cast<size_t>(want);
            }
            const size_t take = static_cast<size_t>(std::min<uint64_t>(size, filled_ - next_));
            std::memcpy(out, buffer_ + next_, take);
            next_ += take;
            out += take;
            size -= take;
        }
        return true;
    }
    bool AtEnd() const { return next_ == filled_ && position_ == end_; }

private:
    HANDLE file_;
    uint64_t position_;
    uint64_t end_;
    size_t next_ = 0;
    size_t filled_ = 0;
    unsigned char buffer_[65536];
};

// Where a member lies: from its local header to the end of its data, as far as the central
// directory tells (the local extra field is not counted: the extractor checks the real start).
struct MemberRange {
    uint64_t offset;
    uint64_t end;
    size_t index;
};

// Fills the sizes and offset marked 0xFFFFFFFF from the entry's ZIP64 extra field.
bool ReadZip64Extra(const std::vector<unsigned char>& extra, uint64_t& size, uint64_t& csize,
                    uint64_t& offset) {
    for (size_t at = 0; at + 4 <= extra.size();) {
        const uint16_t id = Get16(&extra[at]);
        const size_t length = Get16(&extra[at + 2]);
        if (at + 4 + length > extra.size()) return false;
        if (id == kZip64ExtraId) {
            size_t field = at + 4;
            for (uint64_t* value : {&size, &csize, &offset}) {
                if (*value != kNoValue32) continue;
                if (field + 8 > at + 4 + length) return false;
                *value = Get64(&extra[field]);
                field += 8;
            }
            return true;
        }
        at += 4 + length;
    }
    return size != kNoValue32 && csize != kNoValue32 && offset != kNoValue32;
}

// Walks the central directory once and checks what it claims against the file.
bool CheckLayout(HANDLE file, const ArchiveSpan& span, ArchiveLayout& layout) {
    RangeReader reader(file, span.start + span.directory_offset, span.directory_size);
    std::vector<MemberRange> ranges;
    layout = ArchiveLayout();
    std::vector<unsigned char> extra;
    for (uint64_t i = 0; i < span.entries; ++i) {
        unsigned char header[kCentralHeaderSize];
        if (!reader.Read(header, sizeof header) || Get32(header) != kCentralSignature) return false;
        const uint16_t method = Get16(header + 10);
        uint64_t csize = Get32(header + 20);
        uint64_t size = Get32(header + 24);
        const uint16_t name_length = Get16(header + 28);
        uint64_t offset = Get32(header + 42);
        std::vector<unsigned char> name(name_length);
        extra.resize(Get16(header + 30));
        std::vector<unsigned char> comment(Get16(header + 32));
        if (!reader.Read(name.data(), name.size()) || !reader.Read(extra.data(), extra.size()) ||
            !reader.Read(comment.data(), comment.size())) {
            return false;
        }
        if ((size == kNoValue32 || csize == kNoValue32 || offset == kNoValue32) &&
            !ReadZip64Extra(extra, size, csize, offset)) {
            return false;
        }
        // Stored data is the member itself; deflated data cannot grow beyond the deflate ratio.
        if (method == 0 && size > csize) return false;
        if (method == Z_DEFLATED && csize > UINT64_MAX / kMaxDeflateRatio) return false;
        if (method == Z_DEFLATED && size > csize * kMaxDeflateRatio) return false;
        // Header and data lie before the central directory (which also keeps the sums small).
        const uint64_t local_header = kLocalHeaderSize + name_length;
        if (offset > span.directory_offset || local_header > span.directory_offset - offset ||
            csize > span.directory_offset - offset - local_header) {
            return false;
        }
        layout.declared_size += size;
        layout.largest_size = std::max(layout.largest_size, size);
        ranges.push_back({offset, offset + local_header + csize, static_cast<size_t>(i)});
    }
    // The count must describe the whole directory, neither more nor fewer entries.
    if (!reader.AtEnd()) return false;

    // No member's data may reach into the next member or into the central directory.
    std::sort(ranges.begin(), ranges.end(),
              [](const MemberRange& a, const MemberRange& b) { return a.offset < b.offset; });
    layout.data_limit.assign(ranges.size(), 0);
    for (size_t i = 0; i < ranges.size(); ++i) {
        const uint64_t limit = i + 1 < ranges.size() ? ranges[i + 1].offset : span.directory_offset;
        if (ranges[i].end > limit) return false;
        layout.data_limit[ranges[i].index] = limit;
    }
    return true;
}

UniqueFile OpenShared(const std::string& path) {
    return UniqueFile(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// --- the view minizip reads ---------------------------------------------------------------------

// The archive as a file of its own: position 0 is the archive's first byte and the end is the
// end of its end record. minizip reads header fields a byte at a time; an unbuffered ReadFile per
// byte costs about a hundred system calls per member. The view keeps a small read buffer and
// moves its position lazily: a seek only sets the position. Large reads (member data) bypass the
// buffer.
struct ArchiveView {
    static constexpr DWORD kBufferSize = 4096;

    UniqueFile file;
    ArchiveSpan span;
    uint64_t position = 0;      // where the next read starts, in the view
    uint64_t buffer_start = 0;  // view offset of buffer[0]
    DWORD buffer_length = 0;
    char buffer[kBufferSize];

    ArchiveView(UniqueFile f, const ArchiveSpan& s) : file(std::move(f)), span(s) {}

    bool ReadFromFile(void* out, DWORD size, DWORD& read) {
        return ReadAt(file.get(), span.start + position, out, size, read);
    }

    uLong Read(void* out, uLong size) {
        // Nothing is read beyond the view's end.
        size = static_cast<uLong>(std::min<uint64_t>(size, span.length - std::min(position, span.length)));
        char* target = static_cast<char*>(out);
        uLong done = 0;
        while (done < size) {
            if (position >= buffer_start && position < buffer_start + buffer_length) {
                const DWORD offset = static_cast<DWORD>(position - buffer_start);
                const uLong take = std::min<uLong>(size - done, buffer_length - offset);
                std::memcpy(target + done, buffer + offset, take);
                done += take;
                position += take;
                continue;
            }
            DWORD read = 0;
            if (size - done >= kBufferSize) {
                if (!ReadFromFile(target + done, size - done, read)) break;
                done += read;
                position += read;
                break;
            }
            buffer_start = position;
            buffer_length = 0;
            const DWORD want =
                static_cast<DWORD>(std::min<uint64_t>(kBufferSize, span.length - position));
            if (!ReadFromFile(buffer, want, read) || read == 0) break;
            buffer_length = read;
        }
        return done;
    }

    bool Seek(uint64_t offset, int origin) {
        // Offsets from the current position or the end may be negative.
        const int64_t distance = static_cast<int64_t>(offset);
        int64_t base = 0;
        if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
            base = static_cast<int64_t>(position);
        } else if (origin == ZLIB_FILEFUNC_SEEK_END) {
            base = static_cast<int64_t>(span.length);
        } else if (origin != ZLIB_FILEFUNC_SEEK_SET) {
            return false;
        }
        if (base + distance < 0) return false;
        position = static_cast<uint64_t>(base + distance);
        return true;
    }
};

ArchiveView* View(voidpf stream) {
    return static_cast<ArchiveView*>(stream);
}

// What OpenZipReader hands minizip as the "file name": the view, which minizip takes over when
// it opens it (and then closes it, also when the opening fails later).
struct OpenRequest {
    std::unique_ptr<ArchiveView> view;
};

voidpf ZCALLBACK OpenArchiveStream(voidpf, const void* filename, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    auto* request = static_cast<OpenRequest*>(const_cast<void*>(filename));
    return request->view.release();
}

uLong ZCALLBACK ReadArchiveStream(voidpf, voidpf stream, void* buffer, uLong size) {
    return View(stream)->Read(buffer, size);
}

uLong ZCALLBACK WriteArchiveStream(voidpf, voidpf, const void*, uLong) {
    return 0;  // the archive is never written
}

ZPOS64_T ZCALLBACK TellArchiveStream(voidpf, voidpf stream) {
    return View(stream)->position;
}

long ZCALLBACK SeekArchiveStream(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    return View(stream)->Seek(offset, origin) ? 0 : -1;
}

int ZCALLBACK CloseArchiveStream(voidpf, voidpf stream) {
    std::unique_ptr<ArchiveView> owner(View(stream));
    return owner->file.close() ? 0 : -1;
}

int ZCALLBACK TestError(voidpf, voidpf) {
    return 0;
}

}  // namespace

bool ReadProgramLayout(HANDLE file, uint64_t file_size, ProgramLayout& layout) {
    layout = ProgramLayout();
    layout.data_end = file_size;
    unsigned char dos[64];
    if (!ReadFileAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    // "PE\0\0", the file header, then the optional header up to the security directory
    // (data directory 4) of the larger, 64-bit layout.
    unsigned char nt[4 + kFileHeaderSize + 112 + 5 * 8];
    const uint32_t nt_offset = Get32(dos + 0x3C);
    if (nt_offset >= file_size || !ReadFileAt(file, nt_offset, nt, sizeof nt) ||
        Get32(nt) != 0x00004550) {
        return false;
    }
    const uint64_t optional_at = nt_offset + 4 + kFileHeaderSize;
    const unsigned char* optional = nt + 4 + kFileHeaderSize;
    const uint16_t sections = Get16(nt + 6);
    const uint16_t optional_size = Get16(nt + 20);
    const uint16_t magic = Get16(optional);
    const size_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
    if (directories == 0 || optional_size < directories + (kCertificateDirectory + 1) * 8 ||
        Get32(optional + directories - 4) <= kCertificateDirectory) {
        return false;
    }
    layout.checksum_field = optional_at + kChecksumOffset;
    layout.certificate_entry = optional_at + directories + kCertificateDirectory * 8;

    // The image: its headers, then every section's raw data.
    layout.image_end = std::min<uint64_t>(Get32(optional + 60), file_size);  // SizeOfHeaders
    const uint64_t section_table = optional_at + optional_size;
    for (uint16_t i = 0; i < sections; ++i) {
        unsigned char section[kSectionHeaderSize];
        if (!ReadFileAt(file, section_table + i * kSectionHeaderSize, section, sizeof section)) {
            return false;
        }
        const uint64_t end = static_cast<uint64_t>(Get32(section + 20)) + Get32(section + 16);
        layout.image_end = std::max(layout.image_end, std::min(end, file_size));
    }
    // The symbol table (18 bytes a symbol), then the string table, which starts with its size.
    const uint32_t symbols = Get32(nt + 12);
    uint32_t strings[2] = {symbols + 18 * Get32(nt + 16), 0};
    if (symbols != 0 && ReadFileAt(file, strings[0], &strings[1], 4)) {
        layout.image_end = std::max<uint64_t>(layout.image_end, strings[0] + strings[1]);
    }

    const uint32_t table = Get32(optional + directories + kCertificateDirectory * 8);  // offset
    const uint32_t size = Get32(optional + directories + kCertificateDirectory * 8 + 4);
    if (table != 0 && size != 0 && static_cast<uint64_t>(table) + size == file_size) {
        layout.data_end = table;
    }
    return true;
}

bool ReadFileAt(HANDLE file, uint64_t offset, void* out, DWORD size) {
    DWORD read = 0;
    return ReadAt(file, offset, out, size, read) && read == size;
}

bool FindArchive(const std::string& path, ArchiveSpan& span) {
    UniqueFile file = OpenShared(path);
    return file && LocateArchive(file.get(), span);
}

bool FindArchive(HANDLE file, ArchiveSpan& span) {
    return LocateArchive(file, span);
}

unzFile OpenZipReader(const std::string& path, ArchiveLayout* layout, HANDLE held_file) {
    // A held file is read through a handle of its own on the same file, never found again by
    // name: the name may lead elsewhere by now.
    UniqueFile file = held_file != INVALID_HANDLE_VALUE
                          ? UniqueFile(ReOpenFile(held_file, GENERIC_READ,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE, 0))
                          : OpenShared(path);
    ArchiveSpan span;
    ArchiveLayout checked;
    if (!file || !LocateArchive(file.get(), span) || !CheckLayout(file.get(), span, checked)) {
        return nullptr;
    }
    if (layout != nullptr) *layout = std::move(checked);
    OpenRequest request;
    request.view.reset(new (std::nothrow) ArchiveView(std::move(file), span));
    if (!request.view) return nullptr;

    zlib_filefunc64_def functions{};
    functions.zopen64_file = OpenArchiveStream;
    functions.zread_file = ReadArchiveStream;
    functions.zwrite_file = WriteArchiveStream;
    functions.ztell64_file = TellArchiveStream;
    functions.zseek64_file = SeekArchiveStream;
    functions.zclose_file = CloseArchiveStream;
    functions.zerror_file = TestError;
    // A view minizip did not take is freed with the request.
    return unzOpen2_64(&request, &functions);
}
