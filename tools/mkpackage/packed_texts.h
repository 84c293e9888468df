// The files packed in place of the author's: the setting file and the texts it names converted to
// Shift-JIS with CR LF when the author saved them in UTF-8 or UTF-16, and the setting file with
// the item of our uninstaller. The author's files are never changed: the copies are temporary
// files in the output folder, gone with their owner.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "package_members.h"
#include "package_settings.h"
#include "setting_encoding.h"
#include "zip_writer.h"

class PackedCopies {
public:
    explicit PackedCopies(std::string folder) : folder_(std::move(folder)) {}

    // A new temporary file holding bytes: its path, or empty when it cannot be written.
    std::string Add(const std::string& bytes);

private:
    std::string folder_;
    std::vector<std::unique_ptr<TemporaryFile>> files_;
};

// The setting file as packed.
struct SettingText {
    std::string source;  // the author's file: the member's name, time and attributes come from it
    std::string copy;    // the file packed instead of it, or empty when it is packed as it is
    std::string bytes;   // the text packed, in Shift-JIS
    TextEncoding encoding = TextEncoding::kShiftJis;  // as the author saved it

    // The file that holds the text as packed, for reading its keys.
    const std::string& packed() const { return copy.empty() ? source : copy; }
};

// What mkpackage tells the author about the texts: one line for each converted file, warnings.
struct TextReport {
    std::vector<std::string> converted;
    std::vector<std::string> warnings;
};

// Reads the setting file at source and, when it is UTF-8 or UTF-16, converts it into a copy.
// False with problem set (naming the file) when it cannot be read, is neither UTF-8, UTF-16 nor
// Shift-JIS text, holds a character Shift-JIS cannot hold, or the copy cannot be written.
bool ReadSettingText(const std::string& source, PackedCopies& copies, SettingText& text,
                     TextReport& report, std::string& problem);

// Writes text.bytes (changed by the caller) into the copy, made now when there is none yet.
bool StoreSettingText(PackedCopies& copies, SettingText& text);

// Points the setting member and the pre-extract members at what is packed: the setting file's
// copy, and converted copies of the texts that [LICENSEAGREE] Text and LastViewText name (not
// LastViewText of InstallMode 2, which is a program). members[first, end) are the setting file
// and the pre-extract items. A text that cannot be converted adds a message to problems; a file
// that is neither UTF-8, UTF-16 nor Shift-JIS text is packed as it is, with a warning.
void PackConvertedTexts(const PackageSettings& settings, const SettingText& setting, size_t first,
                        std::vector<PackageMember>& members, PackedCopies& copies,
                        TextReport& report, std::vector<std::string>& problems);

// The host's texts among the package members [0, package_count): character files (".mrl"),
// descriptions ("descript.txt") and installed copies of the texts the settings name. The host
// reads them as Shift-JIS. One saved as UTF-8 or UTF-16 is packed converted when convert is set
// (one line says so; a character Shift-JIS cannot hold adds a message to problems), and as it is
// with a warning otherwise.
void PackHostTexts(const PackageSettings& settings, size_t package_count, bool convert,
                   std::vector<PackageMember>& members, PackedCopies& copies, TextReport& report,
                   std::vector<std::string>& problems);
