// The install record, written by the installer and read back by the installer and the
// uninstaller: the list of installed entries with the size and CRC-32 of what was written to
// each, as uinstall.ini keeps it (sections INSTALLEDFILE and INSTALLEDFILECHECK) and as the run
// record of an installation in progress keeps it (section run, then INSTALLEDFILE, appended to
// entry by entry). One writer and one reader of each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "package/ini_text.h"
#include "package/package_format.h"

// What one of our installations wrote into a file: its size and CRC-32.
struct FileCheck {
    uint64_t size = 0;
    uint32_t crc = 0;
    bool operator==(const FileCheck& other) const { return size == other.size && crc == other.crc; }
};

// An entry as a record lists it: its name relative to the install folder (a folder entry ends
// with a backslash) and, as the record writes them, the contents that installations of ours wrote
// to it (FileChecksText; empty for a folder, for an entry of an older record, or where the record
// was cut).
struct RecordedEntry {
    std::string name;
    std::string checks;
    size_t index = 0;  // its item number in the record it was read from
    bool IsFolder() const;
};

// The names of the record, here alone.
// uinstall.ini's installed entries: "item" followed by 0, 1, ..., their names relative to the
// install folder with backslashes; a folder entry ends with a backslash.
inline constexpr char kInstalledFileSection[] = "INSTALLEDFILE";
// Beside INSTALLEDFILE, what the installer records for its uninstaller: the install folder as
// resolved (key InstallDir, with its trailing backslash), and under the key of each installed
// file in INSTALLEDFILE what was written to it (FileChecksText). Folder entries have no key here.
// Older installers did not write this section.
inline constexpr char kInstalledCheckSection[] = "INSTALLEDFILECHECK";
inline constexpr char kInstallDirKey[] = "InstallDir";
// The record a run keeps in its install folder while it extracts: this prefix, 8 hexadecimal
// digits naming the package, ".ini" (RunRecordName). A run that completes removes it; a run that
// stops, fails or is killed leaves it. Its section "run" names the package; INSTALLEDFILE follows.
inline constexpr char kRunRecordPrefix[] = "_$$$installing$$$_";
inline constexpr char kRunRecordSection[] = "run";
// Windows' list of installed programs, per user (HKEY_CURRENT_USER): each character installation
// has a key of its own below this one (UninstallEntryKey), with Windows' values and one naming
// its uinstall.ini, by which the uninstaller finds every installation it serves.
inline constexpr char kUninstallListKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char kUninstallEntryPrefix[] = "OmbrevineCharacter_";
inline constexpr char kUninstallInfoValue[] = "OmbrevineUninstallInfo";
// The run record's keys in its section "run", and its check keys beside the items.
inline constexpr char kRunAppNameKey[] = "AppName";
inline constexpr char kRunVendorKey[] = "Vendor";
inline constexpr char kRunTypeKey[] = "Type";
inline constexpr char kRunCheckKeyPrefix[] = "check";

// "SIZE,CRC" (decimal; eight hexadecimal digits), several joined by "|".
std::string FileChecksText(const std::vector<FileCheck>& checks);
// Adds the checks the text holds; false (nothing added) when it is not of that form.
bool ParseFileChecks(std::string_view text, std::vector<FileCheck>& checks);

// uinstall.ini's two sections, built entry by entry in one text each (a package of many files
// would otherwise hold a string per line): INSTALLEDFILE's "itemN=NAME" lines and, after its
// "InstallDir=" line, INSTALLEDFILECHECK's "itemN=SIZE,CRC" lines (none for a folder entry, or
// an entry whose content nobody knows).
class InstalledListWriter {
public:
    explicit InstalledListWriter(const std::string& install_dir);
    // checks: FileChecksText, empty when nobody knows what the entry holds.
    void Add(std::string_view name, std::string_view checks);
    size_t count() const { return count_; }
    const std::string& items() const { return items_; }
    const std::string& checks() const { return checks_; }

private:
    std::string items_;
    std::string checks_;
    size_t count_ = 0;
};

// uinstall.ini's text with the checks added to the items of its check section (item number,
// FileChecksText): what another installation wrote to a file this one keeps becomes this one's
// too. Items without a line get one at the end of the section.
std::string WithAddedChecks(const std::string& text,
                            const std::vector<std::pair<size_t, std::string>>& additions);

// The entries of uinstall.ini, item by item (every "itemN" of INSTALLEDFILE, gaps in the
// numbering stepped over), each with the checks its INSTALLEDFILECHECK line gives.
std::vector<RecordedEntry> ReadInstalledEntries(const IniText& ini);

// The run record's file name, for the package: the prefix and the CRC-32 of its name, vendor
// and type, so that runs of other packages into the same folder keep records of their own.
std::string RunRecordName(const std::string& app_name, const std::string& vendor,
                          const std::string& type);
// Its beginning: section run with the package's name, vendor and type, and INSTALLEDFILE's header.
std::string RunRecordHeader(const std::string& app_name, const std::string& vendor,
                            const std::string& type);
// One entry of it: "itemN=NAME", then "checkN=SIZE,CRC" when the checks are known.
std::string RunRecordEntry(size_t index, std::string_view name, std::string_view checks);
// Its text without a last line that a killed run left unfinished (a name cut short could name
// another file).
std::string_view RunRecordWholeLines(std::string_view text);
// Its entries, item by item, each with the check that follows it.
std::vector<RecordedEntry> ReadRunRecordEntries(const IniText& ini);

// The key of the installation whose uinstall.ini is info_path in Windows' list of installed
// programs, below HKEY_CURRENT_USER: kUninstallListKey, a backslash, the prefix and the CRC-32
// of the full path (letter case folded), so that an installation there again takes the same key.
std::string UninstallEntryKey(const std::string& info_path);
