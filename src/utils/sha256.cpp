// SHA-256 as FIPS 180-4 gives it: the block compression twice, once with the SHA extensions'
// instructions and once in portable C++, behind one streaming interface.
#include "utils/sha256.h"

#include <cpuid.h>
#include <immintrin.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr uint32_t kInitialState[8] = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};

inline uint32_t Rotate(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

inline uint32_t LoadBigEndian(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

void CompressPortable(uint32_t* state, const uint8_t* blocks, size_t count) {
    for (; count > 0; --count, blocks += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i) w[i] = LoadBigEndian(blocks + 4 * i);
        for (int i = 16; i < 64; ++i) {
            const uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            const uint32_t s1 = Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25);
            const uint32_t choice = (e & f) ^ (~e & g);
            const uint32_t t1 = h + s1 + choice + kRoundConstants[i] + w[i];
            const uint32_t s0 = Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22);
            const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + s0 + majority;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

// The SHA extensions keep the state as two registers, ABEF and CDGH, and do two rounds an
// instruction; the message schedule has instructions of its own. Windows keeps the stack 4-byte
// aligned on x86: the function aligns it for the registers it spills.
__attribute__((target("sha,sse4.1,ssse3"), force_align_arg_pointer))
void CompressWithShaInstructions(uint32_t* state, const uint8_t* blocks, size_t count) {
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    const __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    const __m128i hgfe = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(dcba, hgfe, 8);
    __m128i cdgh = _mm_blend_epi16(hgfe, dcba, 0xF0);

    for (; count > 0; --count, blocks += 64) {
        const __m128i abef_before = abef;
        const __m128i cdgh_before = cdgh;
        __m128i w[4];  // the schedule's last 16 words, four a register
#pragma GCC unroll 16
        for (int group = 0; group < 16; ++group) {
            __m128i& words = w[group & 3];
            if (group < 4) {
                words = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * group)),
                    byte_swap);
            } else {
                words = _mm_sha256msg1_epu32(words, w[(group - 3) & 3]);
                words = _mm_add_epi32(words, _mm_alignr_epi8(w[(group - 1) & 3], w[(group - 2) & 3], 4));
                words = _mm_sha256msg2_epu32(words, w[(group - 1) & 3]);
            }
            __m128i input = _mm_add_epi32(
                words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRoundConstants + 4 * group)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, input);
            input = _mm_shuffle_epi32(input, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, input);
        }
        abef = _mm_add_epi32(abef, abef_before);
        cdgh = _mm_add_epi32(cdgh, cdgh_before);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

}  // namespace

bool Sha256::HasShaInstructions() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid(1, eax, ebx, ecx, edx);
    const bool ssse3_and_sse41 = (ecx & bit_SSSE3) && (ecx & bit_SSE4_1);
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return ssse3_and_sse41 && (ebx & bit_SHA);
}

Sha256::Sha256(Engine engine)
    : compress_(engine == Engine::kFastest && HasShaInstructions() ? CompressWithShaInstructions
                                                                   : CompressPortable) {
    std::memcpy(state_, kInitialState, sizeof state_);
}

void Sha256::Update(const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    length_ += size;
    if (pending_size_ > 0) {
        const size_t take = std::min(size, sizeof pending_ - pending_size_);
        std::memcpy(pending_ + pending_size_, bytes, take);
        pending_size_ += take;
        bytes += take;
        size -= take;
        if (pending_size_ < sizeof pending_) return;
        compress_(state_, pending_, 1);
        pending_size_ = 0;
    }
    const size_t whole = size / 64;
    if (whole > 0) compress_(state_, bytes, whole);
    pending_size_ = size - whole * 64;
    std::memcpy(pending_, bytes + whole * 64, pending_size_);
}

Sha256::Digest Sha256::Finish() {
    // The padding: a 1 bit, zeros up to 8 bytes before a block's end, then the length in bits.
    const uint64_t bits = length_ * 8;
    uint8_t tail[128] = {0x80};
    const size_t tail_size = (pending_size_ < 56 ? 64 : 128) - pending_size_;
    for (int i = 0; i < 8; ++i) tail[tail_size - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    Update(tail, tail_size);
    Digest digest{};
    for (size_t i = 0; i < 8; ++i) {
        for (size_t j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
    }
    return digest;
}

std::string DigestText(const Sha256::Digest& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * digest.size());
    for (uint8_t b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 0xF];
    }
    return text;
}
