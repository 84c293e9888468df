// SHA-256, computed by the program itself: with the processor's SHA instructions where it has
// them (several times faster than any portable code), otherwise in portable C++.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
public:
    static constexpr size_t kDigestSize = 32;
    using Digest = std::array<uint8_t, kDigestSize>;

    enum class Engine {
        kFastest,   // the SHA instructions when the processor has them
        kPortable,  // always the portable code
    };

    explicit Sha256(Engine engine = Engine::kFastest);

    void Update(const void* data, size_t size);
    // The digest of everything passed to Update; the object is then spent.
    Digest Finish();

    // True when this processor runs the SHA instructions (the kFastest engine uses them).
    static bool HasShaInstructions();

private:
    using Compress = void (*)(uint32_t* state, const uint8_t* blocks, size_t count);

    Compress compress_;
    uint32_t state_[8];
    uint64_t length_ = 0;  // bytes passed to Update
    uint8_t pending_[64];  // the start of a block not yet complete
    size_t pending_size_ = 0;
};

// The digest as 64 lower-case hexadecimal digits.
std::string DigestText(const Sha256::Digest& digest);
