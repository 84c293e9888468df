// Finding the archive inside its file, checking its central directory, and reading its members.
#include "archive/zip_reader.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "utils/text.h"
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

// One system call: a synchronous handle reads at the offset an OVERLAPPED gives.
bool ReadAt(HANDLE file, uint64_t offset, void* out, DWORD size, DWORD& read) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return ReadFile(file, out, size, &read, &at) != 0;
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

// --- the central directory ------------------------------------------------------------------

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint64_t kCentralHeaderSize = 46;
constexpr uint64_t kLocalHeaderSize = 30;
constexpr uint16_t kZip64ExtraId = 1;
constexpr uint32_t kNoValue32 = 0xFFFFFFFF;
constexpr uint16_t kEncrypted = 1;
constexpr uint16_t kDataDescriptor = 8;

// Fills the sizes and offset marked 0xFFFFFFFF from the entry's ZIP64 extra field.
bool ReadZip64Extra(const std::vector<unsigned char>& extra, ZipMember& entry) {
    for (size_t at = 0; at + 4 <= extra.size();) {
        const uint16_t id = Get16(&extra[at]);
        const size_t length = Get16(&extra[at + 2]);
        if (at + 4 + length > extra.size()) return false;
        if (id == kZip64ExtraId) {
            size_t field = at + 4;
            for (uint64_t* value : {&entry.size, &entry.compressed_size, &entry.header_offset}) {
                if (*value != kNoValue32) continue;
                if (field + 8 > at + 4 + length) return false;
                *value = Get64(&extra[field]);
                field += 8;
            }
            return true;
        }
        at += 4 + length;
    }
    return entry.size != kNoValue32 && entry.compressed_size != kNoValue32 &&
           entry.header_offset != kNoValue32;
}

// Reads the directory entry at offset into entry and moves offset past it.
bool ReadDirectoryEntry(ZipReader::Window& directory, uint64_t& offset, ZipMember& entry) {
    unsigned char header[kCentralHeaderSize];
    if (!directory.Read(offset, header, sizeof header) || Get32(header) != kCentralSignature) {
        return false;
    }
    entry.flags = Get16(header + 8);
    entry.method = Get16(header + 10);
    entry.dos_time = Get32(header + 12);
    entry.crc = Get32(header + 16);
    entry.compressed_size = Get32(header + 20);
    entry.size = Get32(header + 24);
    entry.name_length = Get16(header + 28);
    const uint16_t extra_length = Get16(header + 30);
    entry.header_offset = Get32(header + 42);
    offset += kCentralHeaderSize;
    entry.name.resize(std::min<size_t>(entry.name_length, kMaxMemberName));
    if (!directory.Read(offset, entry.name.data(), entry.name.size())) return false;
    const uint64_t extra_at = offset + entry.name_length;
    offset = extra_at + extra_length + Get16(header + 32);  // and the comment
    if (entry.size != kNoValue32 && entry.compressed_size != kNoValue32 &&
        entry.header_offset != kNoValue32) {
        return true;
    }
    std::vector<unsigned char> extra(extra_length);
    return directory.Read(extra_at, extra.data(), extra.size()) && ReadZip64Extra(extra, entry);
}

// Where a member lies: from its local header to the end of its data, as far as the central
// directory tells (the local extra field is not counted: the reader checks the real start).
struct MemberRange {
    uint64_t offset;
    uint64_t end;
};

// Walks the central directory once and checks what it claims against the file.
bool CheckLayout(ZipReader::Window& directory, const ArchiveSpan& span, ArchiveLayout& layout) {
    std::vector<MemberRange> ranges;
    std::vector<uint64_t> offsets;
    layout = ArchiveLayout();
    uint64_t at = span.start + span.directory_offset;
    const uint64_t directory_end = at + span.directory_size;
    ZipMember entry;
    for (uint64_t i = 0; i < span.entries; ++i) {
        if (!ReadDirectoryEntry(directory, at, entry) || at > directory_end) return false;
        const uint64_t size = entry.size;
        const uint64_t csize = entry.compressed_size;
        const uint64_t offset = entry.header_offset;
        // Stored data is the member itself; deflated data cannot grow beyond the deflate ratio.
        if (entry.method == 0 && size > csize) return false;
        if (entry.method == Z_DEFLATED && csize > UINT64_MAX / kMaxDeflateRatio) return false;
        if (entry.method == Z_DEFLATED && size > csize * kMaxDeflateRatio) return false;
        // Header and data lie before the central directory (which also keeps the sums small).
        const uint64_t local_header = kLocalHeaderSize + entry.name_length;
        if (offset > span.directory_offset || local_header > span.directory_offset - offset ||
            csize > span.directory_offset - offset - local_header) {
            return false;
        }
        layout.declared_size += size;
        layout.largest_size = std::max(layout.largest_size, size);
        ranges.push_back({offset, offset + local_header + csize});
        offsets.push_back(offset);
    }
    // The count must describe the whole directory, neither more nor fewer entries.
    if (at != directory_end) return false;

    // No member's data may reach into the next member or into the central directory; two
    // members cannot start at one offset.
    SortNumbers(offsets);
    layout.data_limit.assign(ranges.size(), 0);
    for (size_t i = 0; i < ranges.size(); ++i) {
        const auto next = std::upper_bound(offsets.begin(), offsets.end(), ranges[i].offset);
        const uint64_t limit = next != offsets.end() ? *next : span.directory_offset;
        if (ranges[i].end > limit || (next - offsets.begin() >= 2 && next[-2] == ranges[i].offset)) {
            return false;
        }
        layout.data_limit[i] = limit;
    }
    return true;
}

UniqueFile OpenShared(const std::string& path) {
    return UniqueFile(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Member names compared as the package builder writes them: Shift-JIS characters as they are,
// ASCII letters in any case.
bool SameMemberName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    const auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 0x20 : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        if (IsLeadByte(x)) {
            if (x != y || i + 1 == a.size() || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (upper(x) != upper(y)) {
            return false;
        }
    }
    return true;
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

// --- ZipReader -------------------------------------------------------------------------------

void ZipReader::Window::Reset(HANDLE file, uint64_t end) {
    file_ = file;
    end_ = end;
    start_ = 0;
    length_ = 0;
    if (!buffer_) buffer_.reset(new unsigned char[kSize]);
}

const unsigned char* ZipReader::Window::Peek(uint64_t offset, size_t& available) {
    available = 0;
    if (offset >= end_) return nullptr;
    if (offset < start_ || offset >= start_ + length_) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<uint64_t>(kSize, end_ - offset));
        length_ = 0;
        if (!ReadAt(file_, offset, buffer_.get(), want, read) || read == 0) return nullptr;
        start_ = offset;
        length_ = read;
    }
    const size_t skip = static_cast<size_t>(offset - start_);
    available = length_ - skip;
    return buffer_.get() + skip;
}

bool ZipReader::Window::Read(uint64_t offset, void* out, size_t size) {
    auto* target = static_cast<unsigned char*>(out);
    while (size > 0) {
        size_t available = 0;
        const unsigned char* bytes = Peek(offset, available);
        if (available == 0) return false;
        const size_t take = std::min(size, available);
        std::memcpy(target, bytes, take);
        target += take;
        offset += take;
        size -= take;
    }
    return true;
}

ZipReader::ZipReader() = default;

ZipReader::~ZipReader() {
    if (inflating_) inflateEnd(&stream_);
}

bool ZipReader::Open(const std::string& path, HANDLE held_file) {
    Close();
    // A held file is read through a handle of its own on the same file, never found again by
    // name: the name may lead elsewhere by now.
    file_.reset(held_file != INVALID_HANDLE_VALUE
                    ? ReOpenFile(held_file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0)
                    : OpenShared(path).release());
    if (!file_ || !LocateArchive(file_.get(), span_)) {
        file_.reset();
        return false;
    }
    directory_.Reset(file_.get(), span_.start + span_.directory_offset + span_.directory_size);
    data_.Reset(file_.get(), span_.start + span_.directory_offset);
    if (!CheckLayout(directory_, span_, layout_)) {
        file_.reset();
        return false;
    }
    return true;
}

bool ZipReader::Close() {
    open_ = false;
    return file_ && file_.close();
}

bool ZipReader::ReadEntry() {
    open_ = false;
    return ReadDirectoryEntry(directory_, entry_at_, current_);
}

bool ZipReader::First() {
    index_ = 0;
    entry_at_ = span_.start + span_.directory_offset;
    return file_ && span_.entries > 0 && ReadEntry();
}

bool ZipReader::Next() {
    if (!file_ || index_ + 1 >= span_.entries) return false;
    ++index_;
    return ReadEntry();
}

bool ZipReader::Locate(const std::string& name) {
    for (bool found = First(); found; found = Next()) {
        if (SameMemberName(current_.name, name)) return true;
    }
    return false;
}

bool ZipReader::OpenMember() {
    open_ = false;
    const ZipMember& member = current_;
    if (!file_ || (member.method != 0 && member.method != Z_DEFLATED) ||
        (member.flags & kEncrypted) != 0 || index_ >= layout_.data_limit.size()) {
        return false;
    }
    // The local header repeats the entry; its extra field, which only it gives, could still push
    // the data into the next member.
    unsigned char local[kLocalHeaderSize];
    if (!data_.Read(span_.start + member.header_offset, local, sizeof local) ||
        Get32(local) != kLocalSignature || Get16(local + 8) != member.method ||
        Get16(local + 26) != member.name_length) {
        return false;
    }
    if ((member.flags & kDataDescriptor) == 0 &&
        (Get32(local + 14) != member.crc ||
         (Get32(local + 18) != kNoValue32 && Get32(local + 18) != member.compressed_size) ||
         (Get32(local + 22) != kNoValue32 && Get32(local + 22) != member.size))) {
        return false;
    }
    const uint64_t start = member.header_offset + kLocalHeaderSize + member.name_length +
                           Get16(local + 28);
    const uint64_t limit = layout_.data_limit[static_cast<size_t>(index_)];
    if (start > limit || member.compressed_size > limit - start) return false;

    if (member.method == Z_DEFLATED) {
        const int status = inflating_ ? inflateReset(&stream_) : inflateInit2(&stream_, -MAX_WBITS);
        if (status != Z_OK) return false;
        inflating_ = true;
    }
    stream_.avail_in = 0;
    in_at_ = span_.start + start;
    in_left_ = member.compressed_size;
    left_ = member.size;
    crc_ = crc32(0, nullptr, 0);
    open_ = true;
    return true;
}

int ZipReader::Read(void* out, unsigned size) {
    if (!open_) return kDamaged;
    const unsigned want = static_cast<unsigned>(std::min<uint64_t>(size, left_));
    if (want == 0) return 0;
    unsigned produced = 0;
    if (current_.method == 0) {
        size_t available = 0;
        const unsigned char* bytes = data_.Peek(in_at_, available);
        if (available == 0) return kReadFailed;
        produced = static_cast<unsigned>(std::min<uint64_t>(want, available));
        std::memcpy(out, bytes, produced);
        in_at_ += produced;
    } else {
        stream_.next_out = static_cast<Bytef*>(out);
        stream_.avail_out = want;
        while (stream_.avail_out == want) {
            if (stream_.avail_in == 0) {
                // Data that ends before the member's size is damaged.
                if (in_left_ == 0) return kDamaged;
                size_t available = 0;
                stream_.next_in = const_cast<Bytef*>(data_.Peek(in_at_, available));
                if (available == 0) return kReadFailed;
                stream_.avail_in = static_cast<uInt>(std::min<uint64_t>(available, in_left_));
                in_at_ += stream_.avail_in;
                in_left_ -= stream_.avail_in;
            }
            const int status = inflate(&stream_, Z_SYNC_FLUSH);
            if (status == Z_STREAM_END) break;
            if (status != Z_OK) return kDamaged;
        }
        produced = want - stream_.avail_out;
        if (produced == 0) return 0;  // the stream ended before the member's size
    }
    crc_ = crc32(crc_, static_cast<const Bytef*>(out), produced);
    left_ -= produced;
    return static_cast<int>(produced);
}
