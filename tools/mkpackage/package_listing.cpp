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
constexpr uint64_t kMaxSettingSize = 16 * 1024 * 1024;
constexpr size_t kSizeColumns = 12;

// The current member's data; false when it cannot be read whole.
bool ReadCurrentMember(ZipReader& zip, std::string& data) {
    const uint64_t size = zip.Current().size;
    if (size > kMaxSettingSize || !zip.OpenMember()) return false;
    data.assign(static_cast<size_t>(size), '\0');
    for (size_t done = 0; done < data.size();) {
        const int read = zip.Read(&data[done], static_cast<unsigned>(data.size() - done));
        if (read <= 0) return false;
        done += static_cast<size_t>(read);
    }
    return zip.MemberIsIntact();
}

bool IsSettingMember(const std::string& name) {
    return LowerCaseText(ToBackslashes(name)) == LowerCaseText(kSettingMemberName);
}

// "     123456  name": the size right-aligned; a folder has none.
std::string MemberLine(const std::string& name, uint64_t size) {
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
    ZipReader zip;
    if (!zip.Open(path)) {
        PrintError("no archive found in " + path);
        return false;
    }
    std::string listing;
    std::string setting_text;
    bool has_setting = false;
    uint64_t total = 0;
    size_t count = 0;
    bool more = zip.First();
    for (; more; more = zip.Next()) {
        const ZipMember& member = zip.Current();
        listing += MemberLine(member.name, member.size);
        total += member.size;
        ++count;
        if (!has_setting && IsSettingMember(member.name)) {
            has_setting = ReadCurrentMember(zip, setting_text);
        }
    }
    WriteOutput(OutputStream::kOut, listing);
    if (count != zip.EntryCount()) {
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
