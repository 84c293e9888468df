// The uninstaller removing its own file through a copy of itself.
#include "uninstaller/self_removal.h"

#include <windows.h>

#include "utils/contained_files.h"
#include "utils/process.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kRemoveOriginalSwitch[] = "--remove-original";
// The copy waits this long (ms) for the original to end; a program that never ends keeps its file.
constexpr DWORD kOriginalEndWait = 60000;
// Larger than the program (the build keeps it under 95 KB): a bigger file is not a copy of it.
constexpr size_t kLargestProgram = 1024 * 1024;

// A new file in the temporary folder holding a copy of this program; empty on failure.
std::string CopyToTemporaryFolder(const std::string& own) {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH) return "";
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string copy = AddBackslash(temp) + "chruinst-" +
                                 IntToHexText(GetCurrentProcessId(), 8) + "-" +
                                 IntToHexText(GetTickCount() + static_cast<DWORD>(attempt), 8) +
                                 ".exe";
        // Never over an existing file: that could be anybody's.
        if (CopyFileA(own.c_str(), copy.c_str(), TRUE)) return copy;
        if (GetLastError() != ERROR_FILE_EXISTS) return "";
    }
    return "";
}

// The whole file through the open handle, up to the limit; false when it is longer.
bool ReadThrough(const CheckedFile& file, std::string& content) {
    return file.ReadSmall(kLargestProgram, content);
}

}  // namespace

bool StartSelfRemoval() {
    const std::string own = OwnProgramPath();
    if (own.empty()) return false;
    const std::string copy = CopyToTemporaryFolder(own);
    if (copy.empty()) return false;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    // Read and delete sharing: the system opens the copy to run it while this handle is open.
    UniqueFile copy_file(CreateFileA(copy.c_str(), GENERIC_READ | DELETE,
                                     FILE_SHARE_READ | FILE_SHARE_DELETE, &inherited, OPEN_EXISTING,
                                     FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!copy_file) {
        DeleteFileA(copy.c_str());
        return false;
    }
    HANDLE process = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &process,
                         SYNCHRONIZE, TRUE, 0)) {
        return false;  // the copy goes with copy_file
    }
    UniqueHandle own_process(process);
    std::string command_line =
        CommandLineFor(copy, std::string(kRemoveOriginalSwitch) + " " +
                                 std::to_string(reinterpret_cast<uintptr_t>(process)) + " \"" +
                                 own + "\"");
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // The copy's current folder is the temporary one, so that it holds no folder of the removal.
    if (!CreateProcessA(copy.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, temp,
                        &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

bool IsSelfRemovalCopy(const std::vector<std::string>& arguments) {
    return arguments.size() == 3 && arguments[0] == kRemoveOriginalSwitch;
}

int RunSelfRemovalCopy(const std::vector<std::string>& arguments) {
    const std::string& handle_text = arguments[1];
    uintptr_t value = 0;
    for (const char c : handle_text) {
        if (c < '0' || c > '9') return 1;
        value = value * 10 + static_cast<uintptr_t>(c - '0');
    }
    UniqueHandle original_process(reinterpret_cast<HANDLE>(value));
    if (WaitForSingleObject(original_process.get(), kOriginalEndWait) != WAIT_OBJECT_0) return 1;

    const std::string& original = arguments[2];
    CheckedFolder folder;
    CheckedFile original_file;
    CheckedFolder own_folder;
    CheckedFile own_file;
    const std::string own = OwnProgramPath();
    std::string original_bytes;
    std::string own_bytes;
    if (CheckedFolder::OpenRoot(FolderOf(original), folder) != Reach::kOpened ||
        CheckedFile::Open(folder, FileNameOf(original), original_file) != Reach::kOpened ||
        CheckedFolder::OpenRoot(FolderOf(own), own_folder) != Reach::kOpened ||
        CheckedFile::Open(own_folder, FileNameOf(own), own_file) != Reach::kOpened ||
        !ReadThrough(original_file, original_bytes) || !ReadThrough(own_file, own_bytes) ||
        original_bytes != own_bytes) {
        return 1;
    }
    return original_file.Delete() ? 0 : 1;
}
