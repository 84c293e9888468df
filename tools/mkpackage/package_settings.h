// The setting file as mkpackage sees it: the keys that decide what the archive must hold, and
// the checks that refuse a package the installer would fail on (or half-install).
#pragma once

#include <string>
#include <vector>

// One [preextractlist] entry as the installer reads it.
struct PreExtractItem {
    std::string key;     // "item0", "item1", ...
    std::string value;   // member name as written: backslashes or slashes
    std::string source;  // the file that supplies its data; empty: PACKAGE_DIR + the value
};

// A prerequisite of the download list that gives the SHA-256 its installer must have.
struct DownloadHash {
    std::string key;     // "DLSha256_0", ...
    std::string url;     // DLDownloadFile_n
    std::string sha256;  // as written
};

// A prerequisite's URL, as DLDownloadFile_n gives it.
struct DownloadUrl {
    std::string key;  // "DLDownloadFile_0", ...
    std::string url;
};

// A start-menu shortcut: MenuFileName_n and MenuIconFile_n of a MenuPath_n the installer reads.
struct Shortcut {
    int index = 0;
    std::string target;  // relative to the install folder
    std::string icon;    // relative to the install folder; empty for the target's own icon
};

struct PackageSettings {
    std::vector<std::string> sections;  // the section names, in file order
    bool has_options = false;           // there is an [options] section (any letter case)
    std::string install_mode_text;      // [options] InstallMode as written; empty when missing
    unsigned install_mode = 0;          // [options] InstallMode as the installer reads it
    std::string dialogs;             // [options] Dialogs
    std::string last_view_text;      // [options] LastViewText
    std::string uninstall_info_dir;  // [options] UninstallInfoDir
    std::string uninstall_exe_dir;   // [options] UninstallExeDir
    std::string app_name;            // [options] AppName
    std::string vendor;              // [options] Vendor
    std::string type;                // [options] Type
    // MenuPath_0, ... up to the first empty one, as the installer makes them.
    std::vector<Shortcut> shortcuts;
    std::string license_text;        // [LICENSEAGREE] Text
    // item0, item1, ... up to the first missing or empty key, where the installer stops.
    std::vector<PreExtractItem> items;
    // Other non-empty keys of [preextractlist]: the installer never reads them.
    std::vector<std::string> unread_item_keys;
    // [SELINSTALLMODULE] DLSha256_n of the listed programs (up to the first empty DLViewName_n).
    std::vector<DownloadHash> download_hashes;
    // [SELINSTALLMODULE] DLDownloadFile_n of the listed programs.
    std::vector<DownloadUrl> download_urls;
};

// Reads the keys above from the INI file at path (any path; it is made absolute first, since the
// profile functions look for a bare name in the Windows folder). False when the file is missing.
bool ReadPackageSettings(const std::string& path, PackageSettings& settings);

// Everything in the settings that the installer would trip over, one message per problem, each
// naming the section and key; empty when the settings are fine. Looks at the settings alone.
std::vector<std::string> CheckPackageSettings(const PackageSettings& settings);

// Warnings about settings the installer takes but that may not work everywhere, one message per
// setting: URLs with bytes outside ASCII, which servers read in different ways.
std::vector<std::string> SettingWarnings(const PackageSettings& settings);

// For every DLSha256_n whose program lies in downloaded_folder (the "downloaded" folder that is
// shipped beside the installer), a message when the file does not have that SHA-256.
void CheckDownloadedFiles(const PackageSettings& settings, const std::string& downloaded_folder,
                          std::vector<std::string>& problems);

// Whether Dialogs shows the page (fields compared exactly, as the installer does).
bool ShowsPage(const PackageSettings& settings, const char* page);

// The member name under which a [preextractlist] value is stored: "/" separators.
std::string ItemMemberName(const std::string& value);

// Compares ASCII letters without regard to case, as the file system and the archive look-up do;
// the second byte of a two-byte character is compared as it stands.
bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b);
