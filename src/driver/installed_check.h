// What the uninstaller needs to tell an installed file from one the user changed since: the
// install folder as resolved and each installed file's size and CRC-32, kept in a section of the
// setting file of its own (it becomes part of uinstall.ini).
#pragma once

#include <cstdint>
#include <string>

#include "archive/zarchive.h"

class InstalledFileCheck {
public:
    InstalledFileCheck(std::string setting_file, const std::string& install_dir);
    // Writes the section in one go, whichever way the run ended: key by key would rewrite the
    // whole file each time, quadratic in the number of entries.
    ~InstalledFileCheck();
    InstalledFileCheck(const InstalledFileCheck&) = delete;
    InstalledFileCheck& operator=(const InstalledFileCheck&) = delete;

    // The entry listed next in INSTALLEDFILE (same key); a folder entry gets no line.
    void Add(const TZlibArchiver::EntryData& entry);

private:
    std::string setting_file_;
    std::string lines_;  // "InstallDir=...\r\n", then "itemN=SIZE,CRC\r\n" for each file
    int32_t index_ = 0;
};

// "SIZE,CRC" as the section holds it.
std::string FileCheckText(uint64_t size, uint32_t crc);
