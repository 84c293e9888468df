// A small mutation fuzzer that drives LLVMFuzzerTestOneInput where libFuzzer is not at hand (the
// cross-built program under Wine): seeds from a folder, random mutations of them, a time limit.
// A crash leaves the input that caused it as crash-N.bin in the output folder.
//   archive_fuzz SEED_FOLDER OUTPUT_FOLDER SECONDS [RANDOM_SEED]
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "utils/files.h"
#include "utils/text.h"
#include "utils/unique_any.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
const std::string& FuzzInputPath();

namespace {

std::string g_output;

std::vector<std::string> ReadSeeds(const std::string& folder) {
    std::vector<std::string> seeds;
    WIN32_FIND_DATAA entry;
    UniqueFindHandle search(FindFirstFileA((folder + "*").c_str(), &entry));
    if (!search) return seeds;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        UniqueFile file(CreateFileA((folder + entry.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
        const DWORD size = GetFileSize(file.get(), nullptr);
        if (!file || size == INVALID_FILE_SIZE || size > (1u << 20)) continue;
        std::string data(size, '\0');
        DWORD read = 0;
        if (ReadFile(file.get(), data.data(), size, &read, nullptr) && read == size) seeds.push_back(data);
    } while (FindNextFileA(search.get(), &entry));
    return seeds;
}

// Values that tend to find the edges of sizes, offsets and counts.
const uint32_t kInteresting[] = {0, 1, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFF, 0x10000,
                                 0x7FFFFFFF, 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF};

void Mutate(std::string& data, const std::vector<std::string>& seeds, std::mt19937& random) {
    const int steps = 1 + static_cast<int>(random() % 8);
    for (int step = 0; step < steps; ++step) {
        if (data.empty()) data.push_back('\0');
        const size_t at = random() % data.size();
        switch (random() % 6) {
        case 0:  // flip a bit
            data[at] = static_cast<char>(data[at] ^ (1 << (random() % 8)));
            break;
        case 1:  // a random byte
            data[at] = static_cast<char>(random());
            break;
        case 2: {  // an interesting little-endian number, often where sizes and offsets lie
            const uint32_t value = kInteresting[random() % (sizeof kInteresting / sizeof kInteresting[0])];
            for (int i = 0; i < 4 && at + i < data.size(); ++i) data[at + i] = static_cast<char>(value >> (8 * i));
            break;
        }
        case 3:  // cut a piece out
            data.erase(at, random() % 64 + 1);
            break;
        case 4:  // repeat a piece
            data.insert(at, data.substr(at, random() % 64 + 1));
            break;
        default: {  // splice with another seed
            const std::string& other = seeds[random() % seeds.size()];
            if (!other.empty()) data = data.substr(0, at) + other.substr(random() % other.size());
            break;
        }
        }
    }
}

// Keeps the input that crashed the target, then lets the process die as it would.
LONG WINAPI SaveCrash(EXCEPTION_POINTERS*) {
    static int crashes = 0;
    const std::string copy = g_output + "crash-" + std::to_string(++crashes) + ".bin";
    CopyFileA(FuzzInputPath().c_str(), copy.c_str(), FALSE);
    std::fprintf(stderr, "crash: input kept as %s\n", copy.c_str());
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: archive_fuzz SEED_FOLDER OUTPUT_FOLDER SECONDS [RANDOM_SEED]\n");
        return 2;
    }
    const std::string seed_folder = AddBackslash(argv[1]);
    g_output = AddBackslash(argv[2]);
    ForceFolders(g_output);
    const DWORD limit_ms = static_cast<DWORD>(std::stoul(argv[3]) * 1000);
    std::mt19937 random(argc > 4 ? static_cast<uint32_t>(std::stoul(argv[4])) : GetTickCount());
    const std::vector<std::string> seeds = ReadSeeds(seed_folder);
    if (seeds.empty()) {
        std::fprintf(stderr, "no seeds in %s\n", seed_folder.c_str());
        return 2;
    }
    SetUnhandledExceptionFilter(SaveCrash);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);

    const DWORD start = GetTickCount();
    uint64_t executions = 0;
    for (const std::string& seed : seeds) {
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(seed.data()), seed.size());
        ++executions;
    }
    while (GetTickCount() - start < limit_ms) {
        std::string input = seeds[random() % seeds.size()];
        Mutate(input, seeds, random);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        ++executions;
    }
    const double seconds = (GetTickCount() - start) / 1000.0;
    std::printf("seeds: %zu\nexecutions: %llu in %.0f s (%.0f per second)\ncrashes: 0\n", seeds.size(),
                static_cast<unsigned long long>(executions), seconds, executions / seconds);
    return 0;
}
