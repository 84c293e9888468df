// Fuzz target: arbitrary bytes as a package archive (its seal checked, then opened, walked and
// extracted by the installer's extractor into a scratch folder) and as a member name (the name
// check).
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/seal.h"
#include "archive/zarchive.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/unique_any.h"

namespace {

constexpr int kMaxMembers = 64;    // members extracted per input: enough to reach every path
constexpr size_t kMaxName = 1024;  // bytes of the input also checked as a name

std::string ScratchFolder() {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "archive_fuzz_" + std::to_string(GetCurrentProcessId()) + "\\";
}

}  // namespace

// The file the current input is written to; kept for a crash report.
const std::string& FuzzInputPath() {
    static const std::string path = ScratchFolder() + "input.zip";
    return path;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    TZlibArchiver::CheckEntryName(bytes.substr(0, kMaxName));

    const std::string scratch = ScratchFolder();
    const std::string out = scratch + "out\\";
    ForceFolders(out);
    {
        UniqueFile file(CreateFileA(FuzzInputPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file || !WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr)) return 0;
    }
    CheckArchiveSeal(FuzzInputPath());
    ScopedBoxAnswers boxes;  // every error box answered, overwrite questions with "no"
    TZlibArchiver archiver(FuzzInputPath());
    const int count = archiver.OpenArchive();
    for (int i = 0; i < count && i < kMaxMembers; ++i) {
        std::string name;
        if (archiver.ExtractNext(name, out) != 1) break;
    }
    archiver.CloseArchive();
    DeleteTree(out);
    return 0;
}
