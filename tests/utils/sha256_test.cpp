// SHA-256: both engines against the standard's examples and messages around the padding's
// block boundaries, fed whole and in pieces; a file range.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "utils/file_hash.h"
#include "utils/sha256.h"

namespace {

std::string Digest(Sha256::Engine engine, const std::string& message, size_t piece) {
    Sha256 hash(engine);
    for (size_t at = 0; at < message.size(); at += piece) {
        hash.Update(message.data() + at, std::min(piece, message.size() - at));
    }
    return DigestText(hash.Finish());
}

TEST(Sha256, KnownDigestsWithEitherEngineAndAnyPieces) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        // The length no longer fits the first block from 56 bytes on; 64 bytes fill it exactly.
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
        {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
        {std::string(128, 'a'), "6836cf13bac400e9105071cd6af47084dfacad4e5e302c94bfed24e013afb73e"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        for (Sha256::Engine engine : {Sha256::Engine::kFastest, Sha256::Engine::kPortable}) {
            for (size_t piece : {size_t{1}, size_t{7}, size_t{63}, size_t{64}, size_t{65}, size_t{1} << 20}) {
                if (c.message.size() > 1000 && piece < 63) continue;  // a million one-byte calls
                EXPECT_EQ(c.digest, Digest(engine, c.message, piece))
                    << c.message.size() << " bytes in pieces of " << piece << ", engine "
                    << static_cast<int>(engine);
            }
        }
    }
}

TEST(Sha256, EnginesAgreeOnEveryByteValue) {
    std::string message;
    uint32_t x = 12345;
    for (int i = 0; i < 300000; ++i) {
        x = x * 1103515245 + 12345;
        message += static_cast<char>(x >> 24);
    }
    EXPECT_EQ(Digest(Sha256::Engine::kPortable, message, 4096),
              Digest(Sha256::Engine::kFastest, message, 1000));
}

TEST(Sha256, FileAndFileRange) {
    TestFolder dir;
    WriteTextFile(dir / "abc.txt", "xxabcyy");
    UniqueFile file(CreateFileA((dir / "abc.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    Sha256 range;
    ASSERT_TRUE(HashFileRange(file.get(), 2, 3, range));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", DigestText(range.Finish()));
    Sha256 beyond;
    EXPECT_FALSE(HashFileRange(file.get(), 2, 6, beyond));  // the file ends first
    EXPECT_EQ("", FileSha256(dir / "missing.txt"));
}

}  // namespace
