// Finding the installations this uninstaller serves.
#include "uninstaller/discovery.h"

#include <windows.h>

#include <algorithm>

#include "host/host.h"
#include "package/package_format.h"
#include "utils/files.h"
#include "utils/registry.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

// Depth below a root where uinstall.ini is looked for: the root itself, Vendor\, Vendor\Type\.
constexpr int kDeepest = 2;

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The sub-folders of folder (ending in a backslash), links left out: a link could lead the search
// anywhere, and no installation puts its uinstall.ini behind one.
std::vector<std::string> SubFolders(const std::string& folder) {
    std::vector<std::string> folders;
    WIN32_FIND_DATAA entry;
    UniqueFindHandle search(FindFirstFileExA((folder + "*").c_str(), FindExInfoBasic, &entry,
                                             FindExSearchLimitToDirectories, nullptr, 0));
    if (!search) return folders;
    do {
        const std::string name = entry.cFileName;
        const DWORD attributes = entry.dwFileAttributes;
        if (name == "." || name == ".." || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            continue;
        }
        folders.push_back(folder + name + "\\");
    } while (FindNextFileA(search.get(), &entry));
    return folders;
}

void CollectInfoFiles(const std::string& folder, int depth, std::vector<std::string>& found) {
    if (IsFile(folder + kUninstallInfoName)) found.push_back(folder + kUninstallInfoName);
    if (depth == kDeepest) return;
    for (const std::string& sub : SubFolders(folder)) CollectInfoFiles(sub, depth + 1, found);
}

void CollectRunRecords(const std::string& folder, std::vector<std::string>& found) {
    WIN32_FIND_DATAA entry;
    const std::string pattern = folder + kRunRecordPrefix + "*.ini";
    UniqueFindHandle search(FindFirstFileA(pattern.c_str(), &entry));
    if (!search) return;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const std::string path = folder + entry.cFileName;
        if (!IsHeldByItsRun(path)) found.push_back(path);
    } while (FindNextFileA(search.get(), &entry));
}

bool ContainsPath(const std::vector<std::string>& paths, const std::string& path) {
    for (const std::string& known : paths) {
        if (SamePath(known, path)) return true;
    }
    return false;
}

void AddOnce(std::vector<std::string>& paths, const std::string& path) {
    if (!path.empty() && !ContainsPath(paths, path)) paths.push_back(path);
}

// Our entries in Windows' list: each one's uinstall.ini and its uninstall command.
struct ListEntry {
    std::string info;
    std::string command;
};
std::vector<ListEntry> ListEntries() {
    std::vector<ListEntry> entries;
    UniqueHKey list = OpenRegKey(HKEY_CURRENT_USER, kUninstallListKey, KEY_READ);
    if (!list) return entries;
    const std::string prefix = kUninstallEntryPrefix;
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(list.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        if (std::string(name, size).compare(0, prefix.size(), prefix) == 0) names.emplace_back(name, size);
    }
    for (const std::string& entry_name : names) {
        UniqueHKey entry = OpenRegKey(HKEY_CURRENT_USER, JoinText({kUninstallListKey, "\\", entry_name}), KEY_READ);
        if (entry) {
            entries.push_back({ReadRegString(entry.get(), kUninstallInfoValue, ""),
                               ReadRegString(entry.get(), "UninstallString", "")});
        }
    }
    return entries;
}

}  // namespace

std::vector<std::string> SearchRoots(const std::string& own_folder) {
    std::vector<std::string> roots;
    AddOnce(roots, AddBackslash(own_folder));
    AddOnce(roots, AddBackslash(GetHostFolder(true)));
    return roots;
}

std::vector<std::string> ListedUninstallInfos() {
    std::vector<std::string> infos;
    for (const ListEntry& entry : ListEntries()) {
        if (!entry.info.empty()) infos.push_back(entry.info);
    }
    return infos;
}

bool ListEntryNamesProgram(const std::string& own_path) {
    for (const ListEntry& entry : ListEntries()) {
        // "PROGRAM" "uinstall.ini": the program's path between the first pair of quotes.
        const std::string& command = entry.command;
        const size_t close = command.find('"', 1);
        if (!command.empty() && command[0] == '"' && close != std::string::npos &&
            SamePath(command.substr(1, close - 1), own_path)) {
            return true;
        }
    }
    return false;
}

bool RemoveStaleListEntry(const std::string& info_path) {
    if (GetFileAttributesA(info_path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const std::string key = UninstallEntryKey(info_path);
    {
        UniqueHKey entry = OpenRegKey(HKEY_CURRENT_USER, key, KEY_READ);
        if (!entry || !SamePath(ReadRegString(entry.get(), kUninstallInfoValue, ""), info_path)) {
            return false;
        }
    }
    return RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str()) == ERROR_SUCCESS;
}

std::vector<Installation> FindInstallations(const std::vector<std::string>& roots) {
    std::vector<std::string> info_files = ListedUninstallInfos();
    for (const std::string& root : roots) CollectInfoFiles(AddBackslash(root), 0, info_files);

    std::vector<Installation> found;
    std::vector<std::string> seen;
    std::vector<std::string> record_folders = roots;
    for (const std::string& path : info_files) {
        Installation installation;
        if (ContainsPath(seen, path) || !ReadInstallation(path, installation)) continue;
        seen.push_back(path);
        AddOnce(record_folders, installation.install_dir);
        found.push_back(std::move(installation));
    }
    // The records that complete installations took in are part of those.
    for (const Installation& installation : found) {
        for (const std::string& record : installation.run_records) seen.push_back(record);
    }
    std::vector<std::string> records;
    for (const std::string& folder : record_folders) CollectRunRecords(AddBackslash(folder), records);
    for (const std::string& path : records) {
        Installation installation;
        if (ContainsPath(seen, path) || !ReadInstallation(path, installation)) continue;
        seen.push_back(path);
        found.push_back(std::move(installation));
    }
    return found;
}

bool IsServedBy(const Installation& installation, const std::string& own_folder) {
    return installation.kind == InstallationKind::kInstalled &&
           !installation.uninstaller_dir.empty() &&
           SamePath(installation.uninstaller_dir, own_folder);
}

std::vector<Installation> FindServedInstallations(const std::string& own_folder) {
    std::vector<Installation> served;
    for (Installation& installation : FindInstallations(SearchRoots(own_folder))) {
        if (installation.kind == InstallationKind::kInterrupted ||
            IsServedBy(installation, own_folder)) {
            served.push_back(std::move(installation));
        }
    }
    // By name, as the list shows them (folders are listed in no particular order).
    std::sort(served.begin(), served.end(), [](const Installation& a, const Installation& b) {
        return a.app_name != b.app_name ? a.app_name < b.app_name : a.record < b.record;
    });
    return served;
}
