// SHA-256 of files, read in large blocks.
#include "utils/file_hash.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <new>

#include "zlib.h"

#include "utils/unique_any.h"

namespace {

constexpr DWORD kBlockSize = 256 * 1024;

}  // namespace

bool HashFileRange(HANDLE file, uint64_t offset, uint64_t length, Sha256& hash) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return false;
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[kBlockSize]);
    if (!block) return false;
    while (length > 0) {
        const DWORD want = static_cast<DWORD>(std::min<uint64_t>(length, kBlockSize));
        DWORD read = 0;
        if (!ReadFile(file, block.get(), want, &read, nullptr) || read == 0) return false;
        hash.Update(block.get(), read);
        length -= read;
    }
    return true;
}

std::string HandleSha256(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return {};
    Sha256 hash;
    if (!HashFileRange(file, 0, static_cast<uint64_t>(size.QuadPart), hash)) return {};
    return DigestText(hash.Finish());
}

std::string FileSha256(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return file ? HandleSha256(file.get()) : std::string();
}

bool FileSizeAndCrc32(const std::string& path, uint64_t& size, uint32_t& crc) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[kBlockSize]);
    if (!file || !block) return false;
    uLong sum = crc32(0, nullptr, 0);
    uint64_t total = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), block.get(), kBlockSize, &read, nullptr)) return false;
        if (read == 0) break;
        sum = crc32(sum, block.get(), read);
        total += read;
    }
    size = total;
    crc = static_cast<uint32_t>(sum);
    return true;
}

bool IsSha256Text(const std::string& text) {
    if (text.size() != 2 * Sha256::kDigestSize) return false;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}
