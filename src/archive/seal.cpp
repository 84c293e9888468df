// Checking and writing the seal in an archive's comment.
#include "archive/seal.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/zip_reader.h"
#include "package/package_format.h"
#include "utils/file_hash.h"
#include "utils/unique_any.h"

namespace {

constexpr uint64_t kEndRecordSize = 22;
constexpr size_t kPrefixSize = sizeof kSealPrefix - 1;
constexpr size_t kSealSize = kPrefixSize + kSealDigits;
// Signing tools pad the file to a multiple of 8 bytes before the certificate table.
constexpr uint64_t kMaxPadding = 7;
constexpr size_t kScanBlock = 64 * 1024;

// Where the archive's comment lies in the file: from the end of the classic end record to the
// end of the archive.
uint64_t CommentOffset(const ArchiveSpan& span) {
    return span.end_record + kEndRecordSize;
}
uint64_t CommentSize(const ArchiveSpan& span) {
    return span.start + span.length - CommentOffset(span);
}

uint64_t FileSize(HANDLE file) {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

bool HasSealPrefix(HANDLE file, const ArchiveSpan& span) {
    char prefix[kPrefixSize];
    return CommentSize(span) >= kPrefixSize &&
           ReadFileAt(file, CommentOffset(span), prefix, static_cast<DWORD>(kPrefixSize)) &&
           std::memcmp(prefix, kSealPrefix, kPrefixSize) == 0;
}

// The digest of the sealed bytes: the whole file up to the archive's comment (the program
// image before the archive included), except the two header fields that signing the program
// rewrites afterwards, as Authenticode's own hash leaves them out too.
bool SealedDigest(HANDLE file, const ArchiveSpan& span, std::string& digest) {
    const uint64_t end = CommentOffset(span);
    ProgramLayout program;
    const bool is_program = ReadProgramLayout(file, FileSize(file), program);
    struct Range {
        uint64_t from, to;
    };
    std::vector<Range> ranges;
    if (is_program && program.checksum_field + 4 <= program.certificate_entry &&
        program.certificate_entry + 8 <= end) {
        ranges = {{0, program.checksum_field},
                  {program.checksum_field + 4, program.certificate_entry},
                  {program.certificate_entry + 8, end}};
    } else {
        ranges = {{0, end}};
    }
    Sha256 hash;
    for (const Range& range : ranges) {
        if (!HashFileRange(file, range.from, range.to - range.from, hash)) return false;
    }
    digest = DigestText(hash.Finish());
    return true;
}

// A sealed package ends its file, but for the padding and certificate table of a signature.
bool OnlyASignatureFollows(HANDLE file, const ArchiveSpan& span) {
    const uint64_t file_size = FileSize(file);
    ProgramLayout program;
    ReadProgramLayout(file, file_size, program);
    const uint64_t archive_end = span.start + span.length;
    const uint64_t padding_allowed = program.data_end < file_size ? kMaxPadding : 0;
    if (archive_end > program.data_end || program.data_end - archive_end > padding_allowed) {
        return false;
    }
    char padding[kMaxPadding] = {};
    const DWORD size = static_cast<DWORD>(program.data_end - archive_end);
    return size == 0 || (ReadFileAt(file, archive_end, padding, size) &&
                         std::all_of(padding, padding + size, [](char c) { return c == 0; }));
}

// True when a sealed package's end record lies in [begin, end) of the file: an archive that was
// appended behind a sealed package (the last archive is the one that is found) must not pass
// for an unsealed package. The bytes between the program image and the found archive are
// searched, nothing else; a package built by mkpackage has none.
bool SealedEndRecordIn(HANDLE file, uint64_t begin, uint64_t end) {
    static const char kEndSignature[] = "PK\x05\x06";
    const size_t record = kEndRecordSize + kPrefixSize;  // the record and the seal's prefix
    std::vector<char> block(kScanBlock + record);
    for (uint64_t at = begin; at + record <= end; at += kScanBlock) {
        const size_t size = static_cast<size_t>(std::min<uint64_t>(block.size(), end - at));
        if (!ReadFileAt(file, at, block.data(), static_cast<DWORD>(size))) return false;
        for (size_t i = 0; i + record <= size; ++i) {
            if (std::memcmp(&block[i], kEndSignature, 4) == 0 &&
                static_cast<unsigned char>(block[i + 20]) == (kSealSize & 0xFF) &&
                static_cast<unsigned char>(block[i + 21]) == (kSealSize >> 8) &&
                std::memcmp(&block[i + kEndRecordSize], kSealPrefix, kPrefixSize) == 0) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

SealState CheckArchiveSeal(HANDLE file) {
    ArchiveSpan span;
    ProgramLayout program;
    ReadProgramLayout(file, FileSize(file), program);
    // Bytes behind the program (but for a signature's padding), or a file that is no program, and
    // no archive in them: a package cut short (a broken download) or damaged. A bare program is
    // the extractor's to report, as it has nothing to install.
    if (!FindArchive(file, span)) {
        return program.data_end > program.image_end + kMaxPadding ? SealState::kBroken
                                                                  : SealState::kUnsealed;
    }
    if (!HasSealPrefix(file, span)) {
        return SealedEndRecordIn(file, program.image_end, span.start) ? SealState::kBroken
                                                                        : SealState::kUnsealed;
    }
    // From here on the archive says it is sealed: anything that is not a matching seal is damage.
    char comment[kSealSize];
    std::string digest;
    if (CommentSize(span) != kSealSize ||
        !ReadFileAt(file, CommentOffset(span), comment, static_cast<DWORD>(kSealSize)) ||
        !OnlyASignatureFollows(file, span) || !SealedDigest(file, span, digest)) {
        return SealState::kBroken;
    }
    return digest.compare(0, kSealDigits, comment + kPrefixSize, kSealDigits) == 0
               ? SealState::kIntact
               : SealState::kBroken;
}

SealState CheckArchiveSeal(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return file ? CheckArchiveSeal(file.get()) : SealState::kUnsealed;
}

std::string SealPlaceholder() {
    return kSealPrefix + std::string(kSealDigits, '0');
}

bool SealArchive(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ArchiveSpan span;
    std::string digest;
    if (!file || !FindArchive(file.get(), span) || CommentSize(span) != kSealSize ||
        !SealedDigest(file.get(), span, digest)) {
        return false;
    }
    const std::string seal = kSealPrefix + digest;
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(CommentOffset(span));
    DWORD written = 0;
    return SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN) &&
           WriteFile(file.get(), seal.data(), static_cast<DWORD>(seal.size()), &written, nullptr) &&
           written == seal.size() && file.close();
}
