// Checking and writing the seal in an archive's comment.
#include "archive/seal.h"

#include <windows.h>

#include <cstring>

#include "archive/zip_reader.h"
#include "package_format.h"
#include "utils/file_hash.h"
#include "utils/unique_any.h"

namespace {

constexpr uint64_t kEndRecordSize = 22;
constexpr size_t kSealSize = sizeof kSealPrefix - 1 + kSealDigits;

// Where the archive's comment lies in the file: from the end of the classic end record to the
// end of the archive.
uint64_t CommentOffset(const ArchiveSpan& span) {
    return span.end_record + kEndRecordSize;
}
uint64_t CommentSize(const ArchiveSpan& span) {
    return span.start + span.length - CommentOffset(span);
}

// The digest of the sealed bytes: the archive up to its comment.
bool ArchiveDigest(HANDLE file, const ArchiveSpan& span, std::string& digest) {
    Sha256 hash;
    if (!HashFileRange(file, span.start, CommentOffset(span) - span.start, hash)) return false;
    digest = DigestText(hash.Finish());
    return true;
}

}  // namespace

SealState CheckArchiveSeal(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    ArchiveSpan span;
    // An archive that cannot be found is the extractor's to report, as for an unsealed one.
    if (!file || !FindArchive(file.get(), span)) return SealState::kUnsealed;
    const size_t prefix_size = sizeof kSealPrefix - 1;
    if (CommentSize(span) < prefix_size) return SealState::kUnsealed;
    char comment[kSealSize];
    if (!ReadFileAt(file.get(), CommentOffset(span), comment, static_cast<DWORD>(prefix_size))) {
        return SealState::kBroken;
    }
    if (std::memcmp(comment, kSealPrefix, prefix_size) != 0) return SealState::kUnsealed;
    // From here on the archive says it is sealed: anything that is not a matching seal is damage.
    std::string digest;
    if (CommentSize(span) != kSealSize ||
        !ReadFileAt(file.get(), CommentOffset(span), comment, static_cast<DWORD>(kSealSize)) ||
        !ArchiveDigest(file.get(), span, digest)) {
        return SealState::kBroken;
    }
    return digest.compare(0, kSealDigits, comment + prefix_size, kSealDigits) == 0
               ? SealState::kIntact
               : SealState::kBroken;
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
        !ArchiveDigest(file.get(), span, digest)) {
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
