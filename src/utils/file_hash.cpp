// SHA-256 through the system's cryptographic provider, read in blocks so memory stays flat.
#include "utils/file_hash.h"

#include <windows.h>

#include <wincrypt.h>

#include <cctype>
#include <vector>

#include "utils/unique_any.h"

namespace {

struct CryptProviderTraits {
    using Type = HCRYPTPROV;
    static Type Empty() { return 0; }
    static bool Close(Type provider) { return ::CryptReleaseContext(provider, 0) != FALSE; }
};
struct CryptHashTraits {
    using Type = HCRYPTHASH;
    static Type Empty() { return 0; }
    static bool Close(Type hash) { return ::CryptDestroyHash(hash) != FALSE; }
};

constexpr DWORD kBlockSize = 64 * 1024;
constexpr DWORD kDigestSize = 32;

}  // namespace

std::string FileSha256(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return {};
    UniqueAny<CryptProviderTraits> provider;
    UniqueAny<CryptHashTraits> hash;
    if (!CryptAcquireContextA(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ||
        !CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put())) {
        return {};
    }
    std::vector<BYTE> block(kBlockSize);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), block.data(), kBlockSize, &read, nullptr)) return {};
        if (read == 0) break;
        if (!CryptHashData(hash.get(), block.data(), read, 0)) return {};
    }
    BYTE digest[kDigestSize] = {};
    DWORD size = sizeof digest;
    if (!CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &size, 0) || size != kDigestSize) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (BYTE b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 0xF];
    }
    return text;
}

bool IsSha256Text(const std::string& text) {
    if (text.size() != 2 * kDigestSize) return false;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}
