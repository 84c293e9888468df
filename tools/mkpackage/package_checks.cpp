// The package as the host and the installer's pages will see it.
#include "package_checks.h"

#include <windows.h>

#include "archive/zip_reader.h"
#include "host/host.h"
#include "package/package_format.h"
#include "setting_encoding.h"
#include "setting_lines.h"
#include "utils/files.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

// Agreement lines reported one by one; the rest are counted.
constexpr size_t kAgreementLinesShown = 5;

bool IsPackageMember(const std::string& relative, const std::vector<PackageMember>& members,
                     size_t package_count) {
    const std::string name = ToSlashes(relative);
    for (size_t i = 0; i < package_count && i < members.size(); ++i) {
        if (EqualsIgnoringAsciiCase(members[i].name, name)) return true;
    }
    return false;
}

// The character files (".mrl") among the package members, for the message.
std::string CharacterFilesFound(const std::vector<PackageMember>& members, size_t package_count) {
    std::string found;
    for (size_t i = 0; i < package_count && i < members.size(); ++i) {
        if (!EqualsIgnoringAsciiCase(ExtensionOf(members[i].name), ".mrl")) continue;
        found += (found.empty() ? "" : ", ") + Quoted(ToBackslashes(members[i].name));
    }
    return found.empty() ? "it holds no .mrl file" : "it holds " + found;
}

// The host program itself, in the install folder of a character (the host's folder).
bool IsHostProgram(const std::string& relative) {
    return EqualsIgnoringAsciiCase(relative, kHostExeName);
}

void CheckShortcutFile(const std::string& key, int index, const std::string& relative,
                       const std::vector<PackageMember>& members, size_t package_count,
                       std::vector<std::string>& warnings) {
    if (relative.empty() || IsHostProgram(relative) ||
        IsPackageMember(relative, members, package_count)) {
        return;
    }
    warnings.push_back("[options] " + key + std::to_string(index) + ": " + Quoted(relative) +
                       " is not in the package: the shortcut points at nothing unless the file "
                       "is in the install folder already");
}

}  // namespace

void CheckNotEmpty(const std::string& package_dir, size_t package_count,
                   std::vector<std::string>& problems) {
    if (package_count > 0) return;
    problems.push_back("the package folder " + package_dir +
                       " holds nothing to install (no file or folder outside $preextractdir$)");
}

void CheckCharacterFile(const PackageSettings& settings, const std::vector<PackageMember>& members,
                        size_t package_count, std::vector<std::string>& problems) {
    if (!settings.has_options || settings.install_mode != 0) return;
    const std::string reason =
        " is missing or empty; a character package (InstallMode 0) needs it: the host finds the "
        "character by Vendor-Type, in Vendor\\Type\\Vendor-Type.mrl of its folder";
    if (settings.vendor.empty()) problems.push_back("[options] Vendor" + reason);
    if (settings.type.empty()) problems.push_back("[options] Type" + reason);
    if (settings.vendor.empty() || settings.type.empty()) return;
    const std::string expected = settings.vendor + "\\" + settings.type + "\\" + settings.vendor +
                                 "-" + settings.type + ".mrl";
    if (IsPackageMember(expected, members, package_count)) return;
    problems.push_back("[options] Vendor " + Quoted(settings.vendor) + " and Type " +
                       Quoted(settings.type) + ": the package has no " + Quoted(expected) +
                       ", where the host looks for the character (" +
                       CharacterFilesFound(members, package_count) + ")");
}

void CheckShortcutFiles(const PackageSettings& settings, const std::vector<PackageMember>& members,
                        size_t package_count, std::vector<std::string>& warnings) {
    for (const Shortcut& shortcut : settings.shortcuts) {
        CheckShortcutFile("MenuFileName_", shortcut.index, shortcut.target, members, package_count,
                          warnings);
        CheckShortcutFile("MenuIconFile_", shortcut.index, shortcut.icon, members, package_count,
                          warnings);
    }
}

void CheckUnsignedInstaller(const std::string& path, std::vector<std::string>& problems) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    ProgramLayout layout;
    if (!file || !GetFileSizeEx(file.get(), &size) ||
        !ReadProgramLayout(file.get(), static_cast<uint64_t>(size.QuadPart), layout) ||
        layout.certificate_entry == 0) {
        return;
    }
    unsigned char entry[8] = {};
    if (!ReadFileAt(file.get(), layout.certificate_entry, entry, sizeof entry)) return;
    const uint32_t table_size = entry[4] | entry[5] << 8 | entry[6] << 16 |
                                static_cast<uint32_t>(entry[7]) << 24;
    if (table_size == 0) return;
    problems.push_back(path +
                       " is signed (it carries an Authenticode certificate table): the archive "
                       "appended to it would break the signature. Build from the unsigned "
                       "setup.exe and sign the built installer afterwards");
}

size_t AgreementColumns(const std::string& line) {
    size_t columns = 0;
    for (const char c : line) {
        columns = c == '\t' ? (columns / kAgreementTabColumns + 1) * kAgreementTabColumns
                            : columns + 1;
    }
    return columns;
}

void CheckAgreementWidth(const std::string& text, const std::string& path,
                         std::vector<std::string>& warnings) {
    size_t wide = 0;
    ForEachTextLine(text, [&](size_t number, const std::string& line) {
        const size_t columns = AgreementColumns(line);
        if (columns <= kAgreementColumns) return;
        if (++wide > kAgreementLinesShown) return;
        warnings.push_back(path + ":" + std::to_string(number) + ": the agreement line is " +
                           std::to_string(columns) + " columns wide (half-width characters; a "
                           "full-width one counts 2): the agreement field shows " +
                           std::to_string(kAgreementColumns) +
                           " and neither wraps nor scrolls sideways; break the line");
    });
    if (wide > kAgreementLinesShown) {
        warnings.push_back(path + ": " + std::to_string(wide - kAgreementLinesShown) +
                           " more agreement lines are wider than " +
                           std::to_string(kAgreementColumns) + " columns");
    }
}

void CheckAgreementText(const PackageSettings& settings, const std::vector<PackageMember>& members,
                        size_t first, std::vector<std::string>& warnings) {
    const std::string name = FileNameOf(settings.license_text);
    if (name.empty() || !ShowsPage(settings, kLicensePageName)) return;
    for (size_t i = first; i < members.size(); ++i) {
        const PackageMember& member = members[i];
        if (member.source.empty() ||
            !EqualsIgnoringAsciiCase(FileNameOf(ToBackslashes(member.name)), name)) {
            continue;
        }
        std::string bytes;
        if (!ReadWholeFile(member.source, bytes)) return;
        const TextEncoding encoding = DetectTextEncoding(bytes);
        std::string text = bytes;
        std::string problem;  // a text that cannot be converted is reported when it is packed
        if (encoding != TextEncoding::kShiftJis && !ConvertToShiftJis(bytes, encoding, text, problem)) {
            return;
        }
        CheckAgreementWidth(text, member.source, warnings);
        return;
    }
}
