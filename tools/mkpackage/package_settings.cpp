// Reading and checking the setting file of a package.
#include "package_settings.h"

#include <windows.h>

#include <iterator>
#include <unordered_map>

#include "member_names.h"
#include "package/download_name.h"
#include "package/package_format.h"
#include "package/setting_keys.h"
#include "utils/file_hash.h"
#include "utils/files.h"
#include "utils/profile.h"
#include "utils/text.h"

namespace {

// Same buffer as the installer's profile reads.
constexpr DWORD kValueBufferSize = kProfileValueBufferSize;

std::string ReadValue(const std::string& file, const char* section, const std::string& key) {
    std::string buffer(kValueBufferSize, '\0');
    const DWORD length = GetPrivateProfileStringA(section, key.c_str(), "", buffer.data(),
                                                  kValueBufferSize, file.c_str());
    buffer.resize(length);
    return buffer;
}

// The key names of a section (or, for no section, the section names), in file order.
std::vector<std::string> ReadNames(const std::string& file, const char* section) {
    std::string buffer(4096, '\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length =
            section != nullptr
                ? GetPrivateProfileStringA(section, nullptr, "", buffer.data(), size, file.c_str())
                : GetPrivateProfileSectionNamesA(buffer.data(), size, file.c_str());
        // A full buffer is reported as its size minus 2.
        if (length + 2 < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.assign(buffer.size() * 2, '\0');
    }
    std::vector<std::string> names;
    for (size_t start = 0; start < buffer.size();) {
        const size_t end = buffer.find('\0', start);
        const size_t stop = end == std::string::npos ? buffer.size() : end;
        if (stop > start) names.push_back(buffer.substr(start, stop - start));
        start = stop + 1;
    }
    return names;
}

bool IsItemKey(const std::string& key) {
    return key.size() > 4 && EqualsIgnoringAsciiCase(key.substr(0, 4), "item");
}

// File-name part of a pre-extract member: where it lands in the installer's temporary folder.
std::string ItemFileName(const std::string& value) {
    return FileNameOf(ToBackslashes(value));
}

bool IsPreExtracted(const std::string& file_name, const PackageSettings& settings) {
    for (const PreExtractItem& item : settings.items) {
        if (EqualsIgnoringAsciiCase(ItemFileName(item.value), file_name)) return true;
    }
    return false;
}

// Page names are compared exactly, as the installer matches them against its page table.
bool IsPageName(const std::string& field) {
    for (const char* name : kPageNames) {
        if (field == name) return true;
    }
    return false;
}

// "A, B, C or D": the installer's page names, in table order.
std::string PageNameList() {
    std::string list;
    const size_t count = std::size(kPageNames);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) list += i + 1 == count ? " or " : ", ";
        list += kPageNames[i];
    }
    return list;
}

void CheckDialogs(const PackageSettings& settings, std::vector<std::string>& problems) {
    // Fields split exactly as the installer splits them.
    std::string field;
    for (int k = 0; GetField(settings.dialogs, ",", k, field); ++k) {
        if (k == kPageSlots) {
            problems.push_back("[options] Dialogs: more than " + std::to_string(kPageSlots) +
                               " pages; the installer ignores " + Quoted(field) +
                               " and everything after it");
            return;
        }
        if (!IsPageName(field)) {
            problems.push_back("[options] Dialogs: field " + std::to_string(k + 1) + " " +
                               Quoted(field) +
                               " is not a page name; use " + PageNameList() +
                               " exactly (upper case, no blanks)");
        }
    }
}

void CheckItems(const PackageSettings& settings, std::vector<std::string>& problems) {
    for (const PreExtractItem& item : settings.items) {
        const std::string prefix = "[preextractlist] " + item.key + ": " + Quoted(item.value);
        const std::string name = ItemMemberName(item.value);
        const std::string refusal = RefusalReason(name);
        if (!refusal.empty()) {
            problems.push_back(prefix + " is a member name the installer refuses to extract: " +
                               refusal);
        } else if (ItemFileName(item.value).empty()) {
            problems.push_back(prefix + " names a folder, not a file");
        } else if (name.size() > kMaxMemberName) {
            problems.push_back(prefix + " is longer than " + std::to_string(kMaxMemberName) +
                               " bytes, which the installer cuts");
        }
    }
    const std::string end_key = "item" + std::to_string(settings.items.size());
    for (const std::string& key : settings.unread_item_keys) {
        problems.push_back("[preextractlist] " + key + " is never read: the installer stops at " +
                           end_key + ", which is missing or empty");
    }
}

// Pre-extract items land in the installer's temporary folder under their file names, beside the
// setting file: two with one file name (in Windows' letter case) would replace each other.
void CheckItemCollisions(const PackageSettings& settings, std::vector<std::string>& problems) {
    std::unordered_map<std::wstring, std::string> taken;  // file name key -> who lands there
    taken[CaseKey(kSettingFileName)] = std::string("the setting file ") + kSettingFileName;
    for (const PreExtractItem& item : settings.items) {
        const std::string file_name = ItemFileName(item.value);
        if (file_name.empty()) continue;  // reported as a folder
        const std::string who = "[preextractlist] " + item.key + " " + Quoted(item.value);
        const auto [found, added] = taken.emplace(CaseKey(file_name), who);
        if (!added) {
            problems.push_back(who + " lands on the same file " + Quoted(file_name) + " as " +
                               found->second +
                               " in the installer's temporary folder (items are taken out without "
                               "their folders); give the files different names");
        }
    }
}

// Why the installer refuses the file name a URL gives its download; empty when it takes it.
std::string DownloadNameRefusal(const std::string& name) {
    switch (CheckDownloadFileName(name)) {
        case TDownloadNameProblem::kSafe: return "";
        case TDownloadNameProblem::kEmpty: return "the address ends without a file name";
        case TDownloadNameProblem::kSeparator:
            return "it holds a backslash, which would put the file into another folder";
        case TDownloadNameProblem::kUnsafe: return RefusalReason(name);
    }
    return "the installer refuses it";
}

void CheckDownloadNames(const PackageSettings& settings, std::vector<std::string>& problems) {
    for (const DownloadUrl& url : settings.download_urls) {
        const std::string name = DownloadFileName(url.url);
        const std::string refusal = DownloadNameRefusal(name);
        if (refusal.empty()) continue;
        problems.push_back("[" + std::string(kModulePageName) + "] " + url.key + ": the file name " +
                           Quoted(name) + " of " + Quoted(url.url) +
                           " is refused by the installer before anything is fetched: " + refusal);
    }
}

bool IsAscii(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

bool IsInstallModeText(const std::string& text) {
    return text.empty() || text == "0" || text == "1" || text == "2";
}

std::string SectionList(const PackageSettings& settings) {
    std::string list;
    for (const std::string& section : settings.sections) {
        list += (list.empty() ? "" : ", ") + ("[" + section + "]");
    }
    return list.empty() ? "none" : list;
}

}  // namespace

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        if (IsLeadByte(x)) {
            // A two-byte character: both bytes must match as they stand.
            if (x != y) return false;
            if (i + 1 < a.size()) {
                if (a[i + 1] != b[i + 1]) return false;
                ++i;
            }
            continue;
        }
        const auto fold = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
        if (fold(x) != fold(y)) return false;
    }
    return true;
}

bool ShowsPage(const PackageSettings& settings, const char* page) {
    std::string field;
    for (int k = 0; k < kPageSlots && GetField(settings.dialogs, ",", k, field); ++k) {
        if (field == page) return true;
    }
    return false;
}

std::string ItemMemberName(const std::string& value) {
    return ToSlashes(value);
}

bool ReadPackageSettings(const std::string& path, PackageSettings& settings) {
    const std::string file = FullPath(path);
    const DWORD attributes = GetFileAttributesA(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }

    settings = PackageSettings{};
    settings.sections = ReadNames(file, nullptr);
    for (const std::string& section : settings.sections) {
        settings.has_options = settings.has_options || EqualsIgnoringAsciiCase(section, kOptionsSection);
    }
    settings.install_mode_text = ReadValue(file, kOptionsSection, kInstallModeKey);
    settings.install_mode = GetPrivateProfileIntA(kOptionsSection, kInstallModeKey, 0, file.c_str());
    settings.dialogs = ReadValue(file, kOptionsSection, kDialogsKey);
    settings.last_view_text = ReadValue(file, kOptionsSection, kLastViewTextKey);
    settings.uninstall_info_dir = ReadValue(file, kOptionsSection, kUninstallInfoDirKey);
    settings.uninstall_exe_dir = ReadValue(file, kOptionsSection, kUninstallExeDirKey);
    settings.app_name = ReadValue(file, kOptionsSection, kAppNameKey);
    settings.vendor = ReadValue(file, kOptionsSection, kVendorKey);
    settings.type = ReadValue(file, kOptionsSection, kTypeKey);
    for (int n = 0; n < kMenuEntries; ++n) {
        const std::string index = std::to_string(n);
        if (ReadValue(file, kOptionsSection, kMenuPathKey + index).empty()) break;
        settings.shortcuts.push_back({n, ReadValue(file, kOptionsSection, kMenuFileNameKey + index),
                                      ReadValue(file, kOptionsSection, kMenuIconFileKey + index)});
    }
    settings.license_text = ReadValue(file, kLicensePageName, kLicenseTextKey);

    // The installer reads item0, item1, ... and stops at the first missing or empty value.
    for (size_t i = 0;; ++i) {
        const std::string key = "item" + std::to_string(i);
        std::string value = ReadValue(file, kPreExtractListSection, key);
        if (value.empty()) break;
        settings.items.push_back({key, value, ""});
    }
    for (const std::string& key : ReadNames(file, kPreExtractListSection)) {
        if (!IsItemKey(key) || ReadValue(file, kPreExtractListSection, key).empty()) continue;
        bool read = false;
        for (const PreExtractItem& item : settings.items) {
            read = read || EqualsIgnoringAsciiCase(item.key, key);
        }
        if (!read) settings.unread_item_keys.push_back(key);
    }
    for (int n = 0; !ReadValue(file, kModulePageName, kDLViewNameKey + std::to_string(n)).empty(); ++n) {
        const std::string url_key = kDLDownloadFileKey + std::to_string(n);
        // A line without an address is a note in the list: nothing is fetched for it.
        const std::string url = ReadValue(file, kModulePageName, url_key);
        if (!url.empty()) settings.download_urls.push_back({url_key, url});
        const std::string key = kDLSha256Key + std::to_string(n);
        const std::string sha256 = ReadValue(file, kModulePageName, key);
        if (sha256.empty()) continue;
        settings.download_hashes.push_back(
            {key, url, sha256});
    }
    return true;
}

void CheckDownloadedFiles(const PackageSettings& settings, const std::string& downloaded_folder,
                          std::vector<std::string>& problems) {
    for (const DownloadHash& hash : settings.download_hashes) {
        const std::string path = downloaded_folder + DownloadFileName(hash.url);
        if (!IsSha256Text(hash.sha256) || !FileExists(path)) continue;
        if (FileSha256(path) != LowerCaseText(hash.sha256)) {
            problems.push_back("[SELINSTALLMODULE] " + hash.key + ": " + path +
                               " does not have this SHA-256; the installer would refuse to run it");
        }
    }
}

std::vector<std::string> SettingWarnings(const PackageSettings& settings) {
    std::vector<std::string> warnings;
    for (const DownloadUrl& url : settings.download_urls) {
        if (IsAscii(url.url)) continue;
        warnings.push_back("[" + std::string(kModulePageName) + "] " + url.key + ": " +
                           Quoted(url.url) +
                           " holds bytes outside ASCII, which servers read in different ways; "
                           "write them percent-encoded (%XX for each byte of the server's "
                           "encoding, usually UTF-8)");
    }
    return warnings;
}

std::vector<std::string> CheckPackageSettings(const PackageSettings& settings) {
    std::vector<std::string> problems;
    if (!settings.has_options) {
        problems.push_back("the setting file has no [options] section, where the installer reads "
                           "InstallMode, AppName, Dialogs and its other options (sections found: " +
                           SectionList(settings) + ")");
    }
    const bool mode_known = IsInstallModeText(settings.install_mode_text);
    if (!mode_known) {
        problems.push_back("[options] InstallMode " + Quoted(settings.install_mode_text) +
                           " is not 0 (character package), 1 (plug-in package) or 2 (package whose "
                           "LastViewText is a program to run); the installer would read it as " +
                           std::to_string(settings.install_mode));
    }
    CheckDialogs(settings, problems);
    for (const DownloadHash& hash : settings.download_hashes) {
        if (!IsSha256Text(hash.sha256)) {
            problems.push_back("[SELINSTALLMODULE] " + hash.key + ": " + Quoted(hash.sha256) +
                               " is not a SHA-256 (64 hexadecimal digits)");
        }
    }
    CheckDownloadNames(settings, problems);
    CheckItems(settings, problems);
    CheckItemCollisions(settings, problems);

    if (ShowsPage(settings, kLicensePageName)) {
        // The agreement page loads only the file-name part, from the temporary folder.
        const std::string text = FileNameOf(settings.license_text);
        if (text.empty()) {
            problems.push_back(
                "[LICENSEAGREE] Text is missing or empty, but Dialogs shows the LICENSEAGREE page");
        } else if (!IsPreExtracted(text, settings)) {
            problems.push_back("[LICENSEAGREE] Text: " + Quoted(settings.license_text) +
                               " is not among the [preextractlist] items (compared by file "
                               "name), so the agreement page would have no text");
        }
    }
    if (!settings.last_view_text.empty()) {
        const std::string view = FileNameOf(settings.last_view_text);
        if (view.empty() || !IsPreExtracted(view, settings)) {
            problems.push_back("[options] LastViewText: " + Quoted(settings.last_view_text) +
                               " is not among the [preextractlist] items (compared by file name)");
        }
    }
    // Without [options] or with an unknown InstallMode, the missing keys below are consequences
    // of the mistake already reported.
    if (settings.has_options && mode_known && settings.install_mode == 0) {
        const std::string reason = "; a character package (InstallMode 0) needs it";
        if (settings.uninstall_info_dir.empty()) {
            problems.push_back("[options] UninstallInfoDir is missing or empty" + reason);
        }
        if (settings.uninstall_exe_dir.empty()) {
            problems.push_back("[options] UninstallExeDir is missing or empty" + reason);
        }
        if (!IsPreExtracted(kPackagedUninstaller, settings)) {
            problems.push_back(std::string("[preextractlist] no item names the uninstaller \"") +
                               kPackagedUninstaller + "\"" + reason);
        }
    }
    return problems;
}
