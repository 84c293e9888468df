// Converted copies of the setting file and the texts it names, packed in place of the author's.
#include "packed_texts.h"

#include <windows.h>

#include "package/package_format.h"
#include "utils/files.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

std::string ConvertedLine(const std::string& path, TextEncoding encoding) {
    return path + " is " + EncodingName(encoding) +
           ": converted to Shift-JIS (code page 932) with CR LF line ends for the package";
}

// The file-name part of a member name or setting value, as the installer takes it.
std::string FileNamePart(const std::string& name) {
    return FileNameOf(ToBackslashes(name));
}

// Whether the setting file names the pre-extract member as a text the installer shows.
bool IsShownText(const PackageSettings& settings, const std::string& member_name) {
    const std::string name = FileNamePart(member_name);
    const auto names = [&name](const std::string& value) {
        const std::string named = FileNamePart(value);
        return !named.empty() && EqualsIgnoringAsciiCase(named, name);
    };
    // InstallMode 2 runs its LastViewText file as a program.
    return names(settings.license_text) ||
           (settings.install_mode != 2 && names(settings.last_view_text));
}

// The text of one pre-extract member as packed: its source is pointed at a converted copy when it
// is UTF-8 or UTF-16.
void PackText(PackageMember& member, PackedCopies& copies, TextReport& report,
              std::vector<std::string>& problems) {
    std::string bytes;
    if (!ReadWholeFile(member.source, bytes)) {
        problems.push_back("cannot read " + member.source);
        return;
    }
    const TextEncoding encoding = DetectTextEncoding(bytes);
    if (encoding == TextEncoding::kShiftJis) {
        const size_t bad = FirstNonShiftJisByte(bytes);
        if (bad != std::string::npos) {
            report.warnings.push_back(
                member.source + " is neither UTF-8, UTF-16 nor Shift-JIS text (line " +
                std::to_string(LineAt(bytes, bad)) +
                "): packed as it is, and the installer would show it garbled");
        }
        return;
    }
    std::string converted;
    std::string problem;
    if (!ConvertToShiftJis(bytes, encoding, converted, problem)) {
        problems.push_back(member.source + " is " + EncodingName(encoding) + ": " + problem);
        return;
    }
    const std::string copy = copies.Add(converted);
    if (copy.empty()) {
        problems.push_back("cannot write a converted copy of " + member.source);
        return;
    }
    report.converted.push_back(ConvertedLine(member.source, encoding));
    member.source = copy;
    member.size = converted.size();
}

// A text the host reads, among the package members.
bool IsHostText(const PackageSettings& settings, const std::string& member_name) {
    const std::string name = FileNamePart(member_name);
    return EqualsIgnoringAsciiCase(ExtensionOf(name), ".mrl") ||
           EqualsIgnoringAsciiCase(name, "descript.txt") || IsShownText(settings, member_name);
}

bool IsUnicode(TextEncoding encoding) {
    return encoding != TextEncoding::kShiftJis && encoding != TextEncoding::kUtf8OrShiftJis;
}

}  // namespace

std::string PackedCopies::Add(const std::string& bytes) {
    auto file = std::make_unique<TemporaryFile>();
    if (!file->Create(folder_) || !WriteWholeFile(file->path(), bytes)) return "";
    files_.push_back(std::move(file));
    return files_.back()->path();
}

bool ReadSettingText(const std::string& source, PackedCopies& copies, SettingText& text,
                     TextReport& report, std::string& problem) {
    text = SettingText{};
    text.source = source;
    std::string bytes;
    if (!ReadWholeFile(source, bytes)) {
        problem = "setting file not found: " + source;
        return false;
    }
    text.encoding = DetectTextEncoding(bytes);
    const std::string subject = "setting file " + source;
    if (text.encoding == TextEncoding::kShiftJis) {
        const size_t bad = FirstNonShiftJisByte(bytes);
        if (bad != std::string::npos) {
            problem = subject + " is neither UTF-8, UTF-16 nor Shift-JIS (code page 932) text: line " +
                      std::to_string(LineAt(bytes, bad)) +
                      " holds bytes that are no Shift-JIS character (" + ByteText(bytes, bad, 2) +
                      " at offset " + std::to_string(bad) + "); save it as UTF-8 or Shift-JIS";
            return false;
        }
        text.bytes = std::move(bytes);
        return true;
    }
    std::string reason;
    if (!ConvertToShiftJis(bytes, text.encoding, text.bytes, reason)) {
        problem = subject + " is " + EncodingName(text.encoding) + ": " + reason;
        return false;
    }
    if (!StoreSettingText(copies, text)) {
        problem = "cannot write a converted copy of " + source;
        return false;
    }
    report.converted.push_back(ConvertedLine(source, text.encoding));
    return true;
}

bool StoreSettingText(PackedCopies& copies, SettingText& text) {
    if (!text.copy.empty()) return WriteWholeFile(text.copy, text.bytes);
    text.copy = copies.Add(text.bytes);
    return !text.copy.empty();
}

void PackConvertedTexts(const PackageSettings& settings, const SettingText& setting, size_t first,
                        std::vector<PackageMember>& members, PackedCopies& copies,
                        TextReport& report, std::vector<std::string>& problems) {
    const std::string setting_member = ItemMemberName(kSettingMemberName);
    for (size_t i = first; i < members.size(); ++i) {
        PackageMember& member = members[i];
        if (member.source.empty()) continue;  // a folder
        if (member.name == setting_member) {
            if (!setting.copy.empty()) {
                member.source = setting.copy;
                member.size = setting.bytes.size();
            }
        } else if (IsShownText(settings, member.name)) {
            PackText(member, copies, report, problems);
        }
    }
}

void PackHostTexts(const PackageSettings& settings, size_t package_count, bool convert,
                   std::vector<PackageMember>& members, PackedCopies& copies, TextReport& report,
                   std::vector<std::string>& problems) {
    for (size_t i = 0; i < package_count && i < members.size(); ++i) {
        PackageMember& member = members[i];
        if (member.source.empty() || !IsHostText(settings, member.name)) continue;
        if (convert) {
            PackText(member, copies, report, problems);
            continue;
        }
        std::string bytes;
        if (!ReadWholeFile(member.source, bytes)) continue;  // reported when it is packed
        const TextEncoding encoding = DetectTextEncoding(bytes);
        if (!IsUnicode(encoding)) continue;
        report.warnings.push_back(member.source + " is " + EncodingName(encoding) +
                                  ": packed as it is, while the host reads it as Shift-JIS "
                                  "(code page 932) and would show it garbled; save it as "
                                  "Shift-JIS, or build with --convert-texts to pack it converted");
    }
}
