// The run's temporary folder and held archive.
#include "driver/run/run_files.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "archive/zarchive.h"
#include "utils/files.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

constexpr int kRunFolderAttempts = 100;
const char kRunFolderPrefix[] = "$$TMP$$";
// A file in the run folder that the run holds open, without sharing deletion, until Teardown:
// the folder is live as long as nobody can delete it.
const char kLiveMarkerName[] = "_$$$running$$$_";

// What the run holds, until Teardown lets it all go.
struct HeldByTheRun {
    UniqueFile live_marker;
    UniqueFile archive;
    std::vector<std::pair<std::string, UniqueFile>> files;  // pre-extracted, by name
};
HeldByTheRun g_held;

// A new folder under the temporary path, named "$$TMP$$" and the tick count, never one that
// exists already (whoever made it may control what is in it): a name that is taken is followed
// by the next number. Empty when the temporary path does not fit (the folder would otherwise
// land in the current folder) or nothing can be created.
std::string CreateRunFolder() {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return {};
    uint32_t number = GetTickCount();
    for (int attempt = 0; attempt < kRunFolderAttempts; ++attempt, ++number) {
        const std::string folder =
            JoinText({temp, kRunFolderPrefix, UInt64ToText(number), "\\"});
        if (CreateFolder(folder)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

// Marks the run's folder as live for the whole run (the stale-folder sweep of other runs leaves
// it alone). Without the mark the run goes on: a day later its folder may go.
void MarkRunFolderLive(const std::string& folder) {
    g_held.live_marker.reset(CreateFileA((folder + kLiveMarkerName).c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
}

// True while a run holds the folder's marker: it cannot be opened for deletion.
bool IsLiveRunFolder(const std::string& folder) {
    UniqueFile marker(CreateFileA((AddBackslash(folder) + kLiveMarkerName).c_str(), DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return !marker && GetLastError() == ERROR_SHARING_VIOLATION;
}

// Ours beyond doubt: "$$TMP$$" followed by a decimal number and nothing else.
bool IsRunFolderName(const std::string& name) {
    const size_t prefix = sizeof kRunFolderPrefix - 1;
    if (name.size() <= prefix || name.compare(0, prefix, kRunFolderPrefix) != 0) return false;
    return name.find_first_not_of("0123456789", prefix) == std::string::npos;
}

uint64_t AsNumber(const FILETIME& time) {
    return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

}  // namespace

std::string CreateLiveRunFolder() {
    const std::string folder = CreateRunFolder();
    if (!folder.empty()) MarkRunFolderLive(folder);
    return folder;
}

bool HoldRunArchive(const std::string& path) {
    return TZlibArchiver::HoldArchiveFile(path, g_held.archive);
}

void RemoveStaleTemporaryFolders(const std::string& temp_path) {
    // Without a temporary path there is nothing to sweep: an empty one would make the search
    // below look at the root of the current drive.
    if (temp_path.empty()) return;
    // A run ends by deleting its folder; one still there a day after it was last touched, and
    // not marked live, belongs to a run that was killed.
    constexpr uint64_t kDay = 24ULL * 60 * 60 * 10000000;  // in 100-ns units
    FILETIME now_time{};
    GetSystemTimeAsFileTime(&now_time);
    const uint64_t now = AsNumber(now_time);
    const std::string base = AddBackslash(temp_path);
    std::vector<std::string> stale;
    WIN32_FIND_DATAA entry;
    {
        UniqueFindHandle search(FindFirstFileA(JoinText({base, kRunFolderPrefix, "*"}).c_str(), &entry));
        if (!search) return;
        do {
            // A folder's last-write time moves whenever a file is added to it or removed.
            const uint64_t touched = AsNumber(entry.ftLastWriteTime);
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                IsRunFolderName(entry.cFileName) && touched + kDay < now) {
                stale.push_back(base + entry.cFileName);
            }
        } while (FindNextFileA(search.get(), &entry));
    }
    for (const std::string& folder : stale) {
        if (!IsLiveRunFolder(folder)) DeleteTree(folder);
    }
}

HANDLE HeldArchiveFile() {
    return g_held.archive ? g_held.archive.get() : INVALID_HANDLE_VALUE;
}

void HoldRunFile(const std::string& name, UniqueFile file) {
    ReleaseRunFile(name);
    g_held.files.emplace_back(name, std::move(file));
}

void ReleaseRunFile(const std::string& name) {
    for (auto& [held_name, file] : g_held.files) {
        if (held_name == name) file.reset();
    }
}

void ReleaseRunFiles() {
    g_held = HeldByTheRun{};
}
