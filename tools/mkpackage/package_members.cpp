// Collecting the members of a package archive from the package folder.
#include "package_members.h"

#include <algorithm>
#include <unordered_map>

#include "member_names.h"
#include "package/package_format.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

// The installer reads 32-bit member sizes.
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

bool IsDots(const wchar_t* name) {
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
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

// Lists the folder through the wide API: the file system's names are Unicode, and a name that
// code page 932 cannot hold must be reported, not read as "?" (which no file is called).
bool ListFolder(const std::string& folder, std::vector<Entry>& files, std::vector<Entry>& folders,
                std::vector<std::string>& problems, std::string& error) {
    WIN32_FIND_DATAW found{};
    UniqueFindHandle find(FindFirstFileW(FromCodePage932(folder + "*").c_str(), &found));
    if (!find) {
        error = "cannot read the folder " + folder;
        return false;
    }
    do {
        if (IsDots(found.cFileName)) continue;
        Entry entry{};
        uint32_t unmappable = 0;
        if (!ToCodePage932(found.cFileName, entry.name, unmappable)) {
            problems.push_back(folder + ToCodePage932Lossy(found.cFileName) + ": the name holds " +
                               CodePointText(unmappable) +
                               ", which Shift-JIS (code page 932) cannot hold; the installer "
                               "writes names in code page 932 only, so rename it");
            continue;
        }
        entry.data.dwFileAttributes = found.dwFileAttributes;
        entry.data.ftLastWriteTime = found.ftLastWriteTime;
        entry.data.nFileSizeHigh = found.nFileSizeHigh;
        entry.data.nFileSizeLow = found.nFileSizeLow;
        const bool is_folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        (is_folder ? folders : files).push_back(entry);
    } while (FindNextFileW(find.get(), &found));
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
                   std::vector<std::string>& problems, std::string& error) {
    std::vector<Entry> files;
    std::vector<Entry> folders;
    if (!ListFolder(folder, files, folders, problems, error)) return false;

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
                           problems, error)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool CollectPackageFiles(const std::string& package_dir, std::vector<PackageMember>& members,
                         std::vector<std::string>& problems, std::string& error) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(StripTrailingDelimiter(package_dir).c_str(), GetFileExInfoStandard,
                              &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = "package folder not found: " + package_dir;
        return false;
    }
    return CollectFolder(package_dir, "", data, members, problems, error);
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
        if (!RefusalReason(ItemMemberName(item.value)).empty()) continue;
        const std::string source =
            item.source.empty() ? package_dir + ToBackslashes(item.value) : item.source;
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
        const std::string refusal = RefusalReason(member.name);
        if (!refusal.empty()) {
            problems.push_back("member name " + Quoted(member.name) + " (" + where +
                               ") is a name the installer refuses to extract: " + refusal);
        } else if (member.name.size() > kMaxMemberName) {
            problems.push_back("member name " + Quoted(member.name) + " is longer than " +
                               std::to_string(kMaxMemberName) + " bytes, which the installer cuts");
        }
        if (member.size >= kMaxFileSize) {
            problems.push_back(where + " is 4 GiB or larger; the installer reads no larger member");
        }
    }
}

void CheckLetterCase(const std::string& package_dir, const std::vector<PackageMember>& members,
                     std::vector<std::string>& problems) {
    // Every file and folder path of the package by its case key; a second spelling of one key is
    // a clash. Folders are entered once per member below them, so this stays linear in the total
    // length of the names.
    std::unordered_map<std::wstring, std::string> spellings;
    const auto enter = [&](const std::string& path) {
        const auto [found, added] = spellings.emplace(CaseKey(path), path);
        if (!added && found->second != path) {
            problems.push_back(package_dir + ToBackslashes(found->second) + " and " + package_dir +
                               ToBackslashes(path) +
                               " differ only in letter case, which Windows does not tell apart: "
                               "the installer would put both in one place, one file over the "
                               "other");
        }
    };
    for (const PackageMember& member : members) {
        const std::string path = member.name.back() == '/' ? member.name.substr(0, member.name.size() - 1)
                                                            : member.name;
        for (size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            enter(path.substr(0, slash));
        }
        enter(path);
    }
}
