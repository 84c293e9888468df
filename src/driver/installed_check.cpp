// The installed files' sizes and CRCs, for the uninstaller.
#include "driver/installed_check.h"

#include "package/package_format.h"
#include "utils/profile.h"
#include "utils/text.h"

std::string FileCheckText(uint64_t size, uint32_t crc) {
    return std::to_string(size) + "," + IntToHexText(crc, 8);
}

InstalledFileCheck::InstalledFileCheck(std::string setting_file, const std::string& install_dir)
    : setting_file_(std::move(setting_file)),
      lines_(std::string(kInstallDirKey) + "=" + install_dir + "\r\n") {}

InstalledFileCheck::~InstalledFileCheck() {
    if (index_ == 0) return;
    SelectProfile(setting_file_, kInstalledCheckSection);
    ReplaceProfileSectionText(kInstalledCheckSection, lines_);
}

void InstalledFileCheck::Add(const TZlibArchiver::EntryData& entry) {
    const int32_t index = index_++;
    if (entry.folder) return;
    lines_ += kItemKeyPrefix + IntToText(index) + "=" + FileCheckText(entry.size, entry.crc) + "\r\n";
}
