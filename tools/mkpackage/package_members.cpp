// Collecting the members of a package archive from the package folder.
#include "package_members.h"

#include <algorithm>

#include "archive/zarchive.h"
#include "package_format.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

// No 64-bit ZIP extensions: the installer's reader expects 32-bit sizes.
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull;

// Sort key: ASCII letters in upper case; the second byte of a two-byte character unchanged.
std::string SortKey(const std::string& name) {
    std::string key = name;
    for (size_t i = 0; i < key.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(key[i]);
        if (IsLeadByte(c)) {
            ++i;
        } else if (c >= 'a' && c <= 'z') {
            key[i] = static_cast<char>(c - 'a' + 'A');
        }
    }
    return key;
}

// Byte order of the sort keys; names that differ only in case fall back to their bytes, so
// the order never depends on the order the file system lists them in.
bool NameLess(const std::string& a, const std::string& b) {
    const std::string key_a = SortKey(a);
    const std::string key_b = SortKey(b);
    return key_a != key_b ? key_a < key_b : a < b;
}

bool IsDots(const char* name) {
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

PackageMember FileMember(const std::string& name, const std::string& source,
                         const WIN32_FILE_ATTRIBUTE_DATA& data) {
    PackageMember member;
    member.name = name;
    member.source = source;
    member.last_write = data.ftLastWriteTime;
    member.attributes = data.dwFileAttributes;
    member.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return member;
}

struct Entry {
    std::string name;
    WIN32_FILE_ATTRIBUTE_DATA data;
};

bool ListFolder(const std::string& folder, std::vector<Entry>& files, std::vector<Entry>& folders,
                std::string& error) {
    WIN32_FIND_DATAA found{};
    UniqueFindHandle find(FindFirstFileA((folder + "*").c_str(), &found));
    if (!find) {
        error = "cannot read the folder " + folder;
        return false;
    }
    do {
        if (IsDots(found.cFileName)) continue;
        Entry entry{found.cFileName, {}};
        entry.data.dwFileAttributes = found.dwFileAttributes;
        entry.data.ftLastWriteTime = found.ftLastWriteTime;
        entry.data.nFileSizeHigh = found.nFileSizeHigh;
        entry.data.nFileSizeLow = found.nFileSizeLow;
        const bool is_folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        (is_folder ? folders : files).push_back(entry);
    } while (FindNextFileA(find.get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        error = "cannot read the folder " + folder;
        return false;
    }
    const auto less = [](const Entry& a, const Entry& b) { return NameLess(a.name, b.name); };
    std::sort(files.begin(), files.end(), less);
    std::sort(folders.begin(), folders.end(), less);
    return true;
}

// folder: path with trailing backslash; prefix: its member name ("" at the top, "a/b/" below).
bool CollectFolder(const std::string& folder, const std::string& prefix,
                   const WIN32_FILE_ATTRIBUTE_DATA& folder_data, std::vector<PackageMember>& members,
                   std::string& error) {
    std::vector<Entry> files;
    std::vector<Entry> folders;
    if (!ListFolder(folder, files, folders, error)) return false;

    const bool top = prefix.empty();
    if (top) {
        folders.erase(std::remove_if(folders.begin(), folders.end(),
                                     [](const Entry& entry) {
                                         return EqualsIgnoringAsciiCase(entry.name, kPreExtractFolder);
                                     }),
                      folders.end());
    }
    // Files create their folders as they are extracted; only an empty folder needs a member.
    if (!top && files.empty() && folders.empty()) {
        members.push_back(FileMember(prefix, "", folder_data));
        members.back().size = 0;
    }
    for (const Entry& file : files) {
        members.push_back(FileMember(prefix + file.name, folder + file.name, file.data));
    }
    for (const Entry& sub : folders) {
        if (!CollectFolder(folder + sub.name + "\\", prefix + sub.name + "/", sub.data, members,
                           error)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool CollectPackageFiles(const std::string& package_dir, std::vector<PackageMember>& members,
                         std::string& error) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(StripTrailingDelimiter(package_dir).c_str(), GetFileExInfoStandard,
                              &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = "package folder not found: " + package_dir;
        return false;
    }
    return CollectFolder(package_dir, "", data, members, error);
}

void AddPreExtractMembers(const std::string& package_dir, const std::string& setting_file,
                          const PackageSettings& settings, std::vector<PackageMember>& members,
                          std::vector<std::string>& problems) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExA(setting_file.c_str(), GetFileExInfoStandard, &data) &&
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        members.push_back(FileMember(ItemMemberName(kSettingMemberName), setting_file, data));
    } else {
        problems.push_back("setting file not found: " + setting_file);
    }

    for (const PreExtractItem& item : settings.items) {
        // A name the installer refuses is reported by CheckPackageSettings; its path is not
        // looked at, since it may point outside the package folder.
        if (TZlibArchiver::IsUnsafeEntryName(ItemMemberName(item.value))) continue;
        const std::string source = package_dir + ToBackslashes(item.value);
        if (!GetFileAttributesExA(source.c_str(), GetFileExInfoStandard, &data)) {
            problems.push_back("[preextractlist] " + item.key + ": file not found: " + source);
        } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            problems.push_back("[preextractlist] " + item.key + ": " + source +
                               " is a folder, not a file");
        } else {
            members.push_back(FileMember(ItemMemberName(item.value), source, data));
        }
    }
}

void CheckMemberNames(const std::vector<PackageMember>& members,
                      std::vector<std::string>& problems) {
    for (const PackageMember& member : members) {
        const std::string where = member.source.empty() ? member.name : member.source;
        if (TZlibArchiver::IsUnsafeEntryName(member.name)) {
            problems.push_back("member name \"" + member.name + "\" (" + where +
                               ") is a name the installer refuses to extract");
        } else if (member.name.size() > kMaxMemberName) {
            problems.push_back("member name \"" + member.name + "\" is longer than " +
                               std::to_string(kMaxMemberName) + " bytes, which the installer cuts");
        }
        if (member.size >= kMaxFileSize) {
            problems.push_back(where + " is 4 GiB or larger; the installer reads no larger member");
        }
    }
}
