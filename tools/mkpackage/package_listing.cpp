// Listing a built package.
#include "package_listing.h"

#include <cstdint>
#include <vector>

#include "archive/zip_reader.h"
#include "console_output.h"
#include "package/ini_text.h"
#include "package/package_format.h"
#include "package/setting_keys.h"
#include "utils/text.h"

namespace {

// A setting file is a few kilobytes; a member claiming more is not read for the listing.
constexpr uLong kMaxSettingSize = 16 * 1024 * 1024;
constexpr size_t kSizeColumns = 12;

// The current member's data; false when it cannot be read whole.
bool ReadCurrentMember(unzFile zip, uLong size, std::string& data) {
    if (size > kMaxSettingSize || unzOpenCurrentFile(zip) != UNZ_OK) return false;
    data.assign(size, '\0');
    const int read = size == 0 ? 0 : unzReadCurrentFile(zip, data.data(), static_cast<unsigned>(size));
    const bool whole = unzCloseCurrentFile(zip) == UNZ_OK && read == static_cast<int>(size);
    return whole;
}

bool IsSettingMember(const std::string& name) {
    return LowerCaseText(ToBackslashes(name)) == LowerCaseText(kSettingMemberName);
}

// "     123456  name": the size right-aligned; a folder has none.
std::string MemberLine(const std::string& name, uLong size) {
    const std::string figure = name.empty() || name.back() != '/' ? UInt64ToText(size) : "";
    const size_t pad = figure.size() < kSizeColumns ? kSizeColumns - figure.size() : 0;
    return std::string(pad, ' ') + figure + "  " + name + "\n";
}

const char* InstallModeName(const std::string& value) {
    if (value.empty() || value == "0") return " (character)";
    if (value == "1") return " (plug-in)";
    if (value == "2") return " (other files; LastViewText is run)";
    return " (not 0, 1 or 2)";
}

// "Key=value" of [options] as the installer reads it, or "Key is not set"; value receives the
// value ("" when not set).
std::string SettingLine(const IniText& ini, const char* key, std::string& value) {
    if (!ini.Value(kOptionsSection, key, value)) {
        value.clear();
        return std::string(key) + " is not set";
    }
    return std::string(key) + "=" + value;
}

// The settings an author checks, from the packed setting file, read as the installer reads them.
void PrintSettings(const std::string& setting_text) {
    const IniText ini(setting_text);
    std::string value;
    std::string text = SettingLine(ini, kAppNameKey, value) + "\n";
    text += SettingLine(ini, kInstallModeKey, value);
    text += InstallModeName(value) + std::string("\n");
    text += SettingLine(ini, kDialogsKey, value);
    text += value.empty() ? " (no pages)\n" : "\n";
    WriteOutput(OutputStream::kOut, text);
}

}  // namespace

bool ListPackage(const std::string& path) {
    UniqueUnzFile zip(OpenZipReader(path));
    if (!zip) {
        PrintError("no archive found in " + path);
        return false;
    }
    std::string listing;
    std::string setting_text;
    bool has_setting = false;
    uint64_t total = 0;
    size_t count = 0;
    int status = unzGoToFirstFile(zip.get());
    for (; status == UNZ_OK; status = unzGoToNextFile(zip.get())) {
        unz_file_info info{};
        if (unzGetCurrentFileInfo(zip.get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
            break;
        }
        std::string name(info.size_filename + 1, '\0');
        if (unzGetCurrentFileInfo(zip.get(), &info, name.data(), static_cast<uLong>(name.size()),
                                  nullptr, 0, nullptr, 0) != UNZ_OK) {
            break;
        }
        name.resize(info.size_filename);
        listing += MemberLine(name, info.uncompressed_size);
        total += info.uncompressed_size;
        ++count;
        if (!has_setting && IsSettingMember(name)) {
            has_setting = ReadCurrentMember(zip.get(), info.uncompressed_size, setting_text);
        }
    }
    WriteOutput(OutputStream::kOut, listing);
    if (status != UNZ_END_OF_LIST_OF_FILE) {
        PrintError("cannot read the archive's member list in " + path);
        return false;
    }
    WriteOutput(OutputStream::kOut, "\n" + UInt64ToText(count) + " members, " +
                                        UInt64ToText(total) + " bytes\n");
    if (has_setting) {
        PrintSettings(setting_text);
    } else {
        WriteOutput(OutputStream::kOut, std::string("no setting file ") + kSettingMemberName + "\n");
    }
    return true;
}
