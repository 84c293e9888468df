// mkpackage: builds a package for package authors (a copy of setup.exe with the package archive
// appended, or the archive alone) after checking it the way the installer will read it, and lists
// the members of a built package.
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/seal.h"
#include "archive/zip_reader.h"
#include "console_output.h"
#include "icon_stamp.h"
#include "our_uninstaller.h"
#include "package/package_format.h"
#include "package_checks.h"
#include "package_init.h"
#include "package_listing.h"
#include "package_members.h"
#include "package_settings.h"
#include "packed_texts.h"
#include "resource.h"
#include "resource_update.h"
#include "setting_lines.h"
#include "utils/files.h"
#include "utils/text.h"
#include "version_stamp.h"
#include "zip_writer.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kDefaultLevel = 6;

const char kUsage[] =
    "Usage:\n"
    "  mkpackage [OPTIONS] PACKAGE_DIR SETTING_INI INSTALLER_EXE OUTPUT_EXE\n"
    "  mkpackage --zip [OPTIONS] PACKAGE_DIR SETTING_INI OUTPUT_ZIP\n"
    "  mkpackage --list FILE\n"
    "  mkpackage --init character|plugin|skin DIR\n"
    "  mkpackage --help\n"
    "\n"
    "Builds a package: OUTPUT_EXE is a copy of INSTALLER_EXE (the plain setup.exe) with the\n"
    "package archive appended. With --zip, OUTPUT_ZIP is the archive alone, for running the\n"
    "installer as \"setup.exe OUTPUT_ZIP\". The output is written under a temporary name and\n"
    "renamed at the end, so a failed build leaves no output behind.\n"
    "\n"
    "The archive holds, in this order:\n"
    "  1. every file under PACKAGE_DIR, deflated (stored where that would not make it smaller);\n"
    "     in each folder its files, then its sub-folders, both sorted by name; an empty folder as\n"
    "     a folder member. The top-level folder PACKAGE_DIR\\$preextractdir$ is left out here;\n"
    "  2. SETTING_INI, stored as \"$preextractdir$/_$$$setting$$$_.ini\";\n"
    "  3. one member for each [preextractlist] item of SETTING_INI (item0, item1, ...), stored\n"
    "     under the name the item gives, with \"/\" for \"\\\". Its data is the file of that path\n"
    "     under PACKAGE_DIR: item0=$preextractdir$\\readme.txt is taken from\n"
    "     PACKAGE_DIR\\$preextractdir$\\readme.txt. An item outside $preextractdir$ names a package\n"
    "     file, which is then stored twice: installed, and pre-extracted.\n"
    "\n"
    "A character package (InstallMode 0) whose items name no chruinst.ex_ gets the project's\n"
    "uninstaller: chruinst.exe from mkpackage's own folder (or the --uninstaller FILE) is stored as\n"
    "\"$preextractdir$/chruinst.ex_\", and the packed setting file gets its [preextractlist]\n"
    "item (the next free itemN); the file SETTING_INI itself is not changed. An item naming\n"
    "chruinst.ex_ packs the author's own uninstaller instead.\n"
    "\n"
    "SETTING_INI and the files that [LICENSEAGREE] Text and LastViewText name may be UTF-8 (with or\n"
    "without a byte-order mark), UTF-16 with a byte-order mark, or Shift-JIS (code page 932). UTF-8\n"
    "and UTF-16 are packed converted to Shift-JIS with CR LF line ends (one line says so for each\n"
    "file; the files themselves are not changed); Shift-JIS is packed as it is.\n"
    "\n"
    "Nothing is written when the installer would fail on the package, or the package would not\n"
    "do what its setting file says: an empty package; a setting file line the installer passes\n"
    "over (an unknown or misspelt key or section, a full-width ＝ for \"=\", a key or section\n"
    "given twice: the file and line are given, with the known name meant where one is close);\n"
    "a character package without Vendor and Type or without Vendor\\Type\\Vendor-Type.mrl;\n"
    "a signed INSTALLER_EXE (sign the built installer instead); --product-version without AppName;\n"
    "an --icon file that is not an icon (.ico);\n"
    "a member name the installer refuses\n"
    "(the reason is given) or one Shift-JIS cannot hold; two names that differ only in letter\n"
    "case; a setting file that is neither UTF-8, UTF-16 nor Shift-JIS text, or a setting file or\n"
    "text in UTF-8 or UTF-16 with a character Shift-JIS cannot hold (its line is given); no [options]\n"
    "section; an InstallMode other than 0, 1 or 2; a [preextractlist] item whose file is missing,\n"
    "an item after a gap (item3 without item2), or two items with one file name (they meet in the\n"
    "installer's temporary folder); for InstallMode 0 (the default) a missing UninstallInfoDir or\n"
    "UninstallExeDir, or no item named chruinst.ex_ and no uninstaller to pack in its place; a\n"
    "Dialogs field other than LICENSEAGREE, FOLDERSELECT, FIRST or SELINSTALLMODULE; an agreement\n"
    "text ([LICENSEAGREE] Text) or LastViewText file that is not among the items.\n"
    "\n"
    "Warnings (the package is built): a shortcut target or icon not in the package (but the\n"
    "host's marleth.exe); a .mrl, descript.txt or installed agreement text in UTF-8 or UTF-16,\n"
    "which the host reads as Shift-JIS (see --convert-texts); an agreement line wider than the\n"
    "agreement field.\n"
    "\n"
    "More than 65,535 entries get ZIP64 end records; each member and the archive stay under\n"
    "4 GiB.\n"
    "\n"
    "Options:\n"
    "  --zip        write the archive alone instead of an installer\n"
    "  --level N    deflate level 1 to 9 (default 6); 0 stores the files uncompressed\n"
    "  --uninstaller FILE\n"
    "               the uninstaller for character packages that bring none (default: chruinst.exe\n"
    "               beside mkpackage.exe)\n"
    "  --allow-key NAME\n"
    "               keep a key the installer does not read (NAME, in any section) or a whole\n"
    "               section ([NAME]) without an error: for names kept on purpose; repeatable\n"
    "  --convert-texts\n"
    "               pack the host's texts (.mrl, descript.txt, installed copies of the agreement\n"
    "               and LastViewText texts) saved in UTF-8 or UTF-16 converted to Shift-JIS\n"
    "  --product-version N.N.N.N\n"
    "               stamp the author's product into OUTPUT_EXE: its version resource (what the\n"
    "               file's properties and a signing tool show) names [options] AppName as product\n"
    "               and description, this version (1 to 4 numbers up to 65535) as product and file\n"
    "               version, and the publisher as company, in place of the installer's own\n"
    "  --publisher NAME\n"
    "               the company of the stamp (code page 932, as the setting file); default: [options]\n"
    "               Vendor, the publisher the uninstall entry shows. Needs --product-version\n"
    "  --icon FILE.ico\n"
    "               the installer's icon (file properties, Explorer, its windows) taken from this\n"
    "               icon file in place of setup.exe's own; a file that is not an icon is refused\n"
    "  --list FILE  print the members of a package (installer or archive) in archive order with\n"
    "               their sizes, then AppName, InstallMode and Dialogs of its setting file\n"
    "  --init KIND DIR\n"
    "               write a starting package of that kind (character, plugin or skin) into the\n"
    "               new or empty folder DIR: setting.ini with every key the installer reads for\n"
    "               the kind, commented, and the folder package with a sample agreement text, in\n"
    "               UTF-8; it builds as it is (mkpackage DIR\\package DIR\\setting.ini ...)\n"
    "  -h, --help   print this text\n"
    "\n"
    "Exit status: 0 done; 1 refused or failed (the reasons on standard error); 2 wrong usage.\n";

struct Options {
    bool zip_only = false;
    bool list = false;
    bool init = false;
    bool convert_texts = false;
    AllowedNames allowed;
    std::string init_kind;
    int level = kDefaultLevel;
    std::string uninstaller = DefaultUninstaller();
    bool stamp = false;  // --product-version given
    std::array<uint16_t, 4> product_version{};
    std::string publisher;
    std::string icon;  // --icon FILE
    std::vector<std::string> paths;
};

int UsageError(const std::string& message) {
    PrintError(message);
    WriteOutput(OutputStream::kErr, "Run \"mkpackage --help\" for the usage.\n");
    return kExitUsage;
}

// A single digit, 0 to 9.
bool ParseLevel(const std::string& text, int& level) {
    if (text.size() != 1 || text[0] < '0' || text[0] > '9') return false;
    level = text[0] - '0';
    return true;
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Checks INSTALLER_EXE: a program file that does not carry an archive already (a package built
// from a package would carry both, and the installer reads only the last).
void CheckInstaller(const std::string& path, std::vector<std::string>& problems) {
    if (!IsFile(path)) {
        problems.push_back("installer not found: " + path);
        return;
    }
    if (ZipReader().Open(path)) {
        problems.push_back(path + " already carries an archive; give the plain installer");
    }
    CheckUnsignedInstaller(path, problems);
}

const char* KindName(PackageKind kind) {
    switch (kind) {
        case PackageKind::kCharacter: return "character";
        case PackageKind::kPlugin: return "plug-in";
        case PackageKind::kSkin: return "skin";
    }
    return "";
}

int InitPackage(PackageKind kind, const std::string& path) {
    const std::string folder = AddBackslash(FullPath(path));
    std::vector<std::string> written;
    std::string error;
    if (!WriteStartingPackage(kind, folder, written, error)) {
        PrintError(error);
        PrintError("nothing written");
        return kExitFailed;
    }
    std::string text = std::string("wrote a starting ") + KindName(kind) + " package in " + folder + ":\n";
    for (const std::string& file : written) text += "  " + file + "\n";
    text += "mkpackage: its texts are UTF-8: edit them in any editor, then build it with\n"
            "  mkpackage \"" + folder + "package\" \"" + folder + "setting.ini\" setup.exe OUTPUT.exe";
    PrintLine(text);
    return kExitOk;
}

void PrintWarnings(const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings) PrintError("warning: " + warning);
}

void PrintNotes(const TextReport& report) {
    for (const std::string& line : report.converted) PrintLine(line);
    PrintWarnings(report.warnings);
}

int Refused(const std::vector<std::string>& problems) {
    for (const std::string& problem : problems) PrintError(problem);
    PrintError("nothing written");
    return kExitFailed;
}

// The archive of members, with a placeholder seal, written under a temporary name in the output's folder: true
// with its path in archive; false after a message.
bool WriteUnsealedArchive(const std::vector<PackageMember>& members, int level,
                        const std::string& folder, TemporaryFile& archive) {
    std::string error;
    if (!archive.Create(folder)) {
        PrintError("cannot create a temporary file in " + folder);
        return false;
    }
    if (!WriteZipArchive(archive.path(), members, level, error)) {
        PrintError(error);
        return false;
    }
    return true;
}

// The package as an archive alone; the seal covers it up to its comment and is written last.
bool WriteArchive(const std::vector<PackageMember>& members, int level, const std::string& output) {
    TemporaryFile archive;
    if (!WriteUnsealedArchive(members, level, FolderOf(output), archive)) return false;
    if (!SealArchive(archive.path())) {
        PrintError("cannot seal the archive " + archive.path());
        return false;
    }
    if (!archive.MoveTo(output)) {
        PrintError("cannot write " + output);
        return false;
    }
    return true;
}

// What a built installer changes in its copy of setup.exe: nothing when both are missing.
struct InstallerChanges {
    const ProductStamp* stamp = nullptr;
    const IconFile* icon = nullptr;
    bool any() const { return stamp || icon; }
};

// A copy of the installer with the author's product in its version resource and the author's
// icon, under a temporary name in folder: a resource update rewrites the file, so it is done
// before the archive is appended. False after a message.
bool WriteChangedInstaller(const std::string& installer, const InstallerChanges& changes,
                           const std::string& folder, TemporaryFile& changed) {
    std::string error;
    if (!changed.Create(folder) || !CopyFileA(installer.c_str(), changed.path().c_str(), FALSE)) {
        PrintError("cannot copy " + installer + " into " + folder);
        return false;
    }
    std::vector<Resource> resources;
    if (!ReadResources(changed.path(), resources)) {
        PrintError("cannot read the resources of " + installer);
        return false;
    }
    if (changes.stamp) StampProduct(resources, *changes.stamp);
    if (changes.icon) StampIcon(resources, IDI_INSTALLER, *changes.icon);
    if (!WriteResources(changed.path(), resources, error)) {
        PrintError(error);
        return false;
    }
    return true;
}

// The package as a copy of the installer (changed as changes say) with the archive appended; the
// seal covers the program too and is written last.
bool WriteInstaller(const std::vector<PackageMember>& members, int level,
                    const std::string& installer, const InstallerChanges& changes,
                    const std::string& output) {
    TemporaryFile changed;
    if (changes.any() && !WriteChangedInstaller(installer, changes, FolderOf(output), changed)) {
        return false;
    }
    const std::string program = changes.any() ? changed.path() : installer;
    TemporaryFile archive;
    if (!WriteUnsealedArchive(members, level, FolderOf(output), archive)) return false;
    TemporaryFile package;
    std::string error;
    if (!package.Create(FolderOf(output))) {
        PrintError("cannot create a temporary file in " + FolderOf(output));
        return false;
    }
    if (!ConcatenateFiles(package.path(), {program, archive.path()}, error)) {
        PrintError(error);
        return false;
    }
    if (!SealArchive(package.path())) {
        PrintError("cannot seal the package " + package.path());
        return false;
    }
    if (!package.MoveTo(output)) {
        PrintError("cannot write " + output);
        return false;
    }
    return true;
}

int BuildPackage(const Options& options) {
    const std::string package_dir = AddBackslash(FullPath(options.paths[0]));
    const std::string setting_file = FullPath(options.paths[1]);
    const std::string installer = options.zip_only ? std::string() : FullPath(options.paths[2]);
    const std::string output = FullPath(options.paths.back());
    const std::string output_folder = FolderOf(output);

    // What is packed in place of the author's files (converted texts, the setting file with our
    // uninstaller's item): temporary files in the output folder, gone on every way out.
    PackedCopies copies(output_folder);
    SettingText setting;
    TextReport setting_report;
    std::string unreadable;
    if (!ReadSettingText(setting_file, copies, setting, setting_report, unreadable)) {
        return Refused({unreadable});
    }
    PrintNotes(setting_report);
    // Line numbers are the author's: a converted copy keeps its lines.
    std::vector<std::string> problems = CheckSettingLines(setting.bytes, setting_file, options.allowed);
    PackageSettings settings;
    if (!ReadPackageSettings(setting.packed(), settings)) {
        return Refused({"setting file not found: " + setting_file});
    }
    std::vector<std::string> warnings = SettingWarnings(settings);
    if (BringsNoUninstaller(settings)) {
        const std::string uninstaller = FullPath(options.uninstaller);
        if (!IsFile(uninstaller)) {
            problems.push_back("no uninstaller to pack in its place: " + uninstaller +
                               " not found (give one with --uninstaller FILE)");
        } else {
            AddOurUninstaller(uninstaller, setting.bytes, settings);
            if (!StoreSettingText(copies, setting)) {
                PrintError("cannot create a temporary file in " + output_folder);
                return kExitFailed;
            }
            PrintLine("the package brings no uninstaller: packing " + uninstaller + " as " +
                      kPackagedUninstallerMember);
        }
    }
    for (std::string& problem : CheckPackageSettings(settings)) problems.push_back(std::move(problem));

    std::vector<PackageMember> members;
    std::string error;
    if (!CollectPackageFiles(package_dir, members, problems, error)) return Refused({error});
    const size_t package_count = members.size();
    CheckNotEmpty(package_dir, package_count, problems);
    CheckMemberNames(members, problems);
    CheckLetterCase(package_dir, members, problems);
    CheckCharacterFile(settings, members, package_count, problems);
    CheckShortcutFiles(settings, members, package_count, warnings);
    // The setting member takes its name, time and attributes from the author's file.
    AddPreExtractMembers(package_dir, setting_file, settings, members, problems);
    CheckAgreementText(settings, members, package_count, warnings);
    TextReport text_report;
    PackConvertedTexts(settings, setting, package_count, members, copies, text_report, problems);
    PackHostTexts(settings, package_count, options.convert_texts, members, copies, text_report,
                  problems);
    PrintNotes(text_report);
    PrintWarnings(warnings);

    if (!options.zip_only) CheckInstaller(installer, problems);
    ProductStamp stamp;
    if (options.stamp) {
        stamp.version = options.product_version;
        stamp.product_name = settings.app_name;
        stamp.publisher = options.publisher.empty() ? settings.vendor : options.publisher;
        if (stamp.product_name.empty()) {
            problems.push_back("--product-version needs [options] AppName, the product's name");
        }
    }
    IconFile icon;
    if (!options.icon.empty() && !ReadIconFile(FullPath(options.icon), icon, error)) {
        problems.push_back(error);
    }
    CheckDownloadedFiles(settings, FolderOf(output) + "downloaded\\", problems);
    std::string inside;
    if (IsInsideFolder(output, package_dir, inside)) {
        problems.push_back("the output " + output + " lies inside the package folder");
    }
    if (!problems.empty()) return Refused(problems);

    const bool written = options.zip_only ? WriteArchive(members, options.level, output)
                                          : WriteInstaller(members, options.level, installer,
                                                           {options.stamp ? &stamp : nullptr,
                                                            options.icon.empty() ? nullptr : &icon},
                                                           output);
    if (!written) return kExitFailed;
    PrintLine("wrote " + output + ": " + std::to_string(package_count) +
              " package members, the setting file, " + std::to_string(settings.items.size()) +
              " pre-extract items");
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_ended || arg.empty() || arg[0] != '-') {
            options.paths.push_back(arg);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "-h" || arg == "--help") {
            WriteOutput(OutputStream::kOut, kUsage);
            return kExitOk;
        } else if (arg == "--zip") {
            options.zip_only = true;
        } else if (arg == "--list") {
            options.list = true;
        } else if (arg == "--init") {
            if (i + 1 >= argc) return UsageError("--init needs character, plugin or skin");
            options.init = true;
            options.init_kind = argv[++i];
        } else if (arg == "--convert-texts") {
            options.convert_texts = true;
        } else if (arg == "--allow-key") {
            if (i + 1 >= argc) return UsageError("--allow-key needs a key name or a [section]");
            options.allowed.push_back(argv[++i]);
        } else if (arg == "--uninstaller") {
            if (i + 1 >= argc) return UsageError("--uninstaller needs a file");
            options.uninstaller = argv[++i];
        } else if (arg == "--product-version") {
            if (i + 1 >= argc || !ParseProductVersion(argv[i + 1], options.product_version)) {
                return UsageError("--product-version needs 1 to 4 numbers from 0 to 65535, as 1.2.3.4");
            }
            options.stamp = true;
            ++i;
        } else if (arg == "--publisher") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') return UsageError("--publisher needs a name");
            options.publisher = argv[++i];
        } else if (arg == "--icon") {
            if (i + 1 >= argc) return UsageError("--icon needs an icon file (.ico)");
            options.icon = argv[++i];
        } else if (arg == "--level") {
            if (i + 1 >= argc || !ParseLevel(argv[i + 1], options.level)) {
                return UsageError("--level needs a number from 0 to 9");
            }
            ++i;
        } else {
            return UsageError("unknown option " + arg);
        }
    }

    if (options.init) {
        PackageKind kind = PackageKind::kCharacter;
        if (!ParsePackageKind(options.init_kind, kind)) {
            return UsageError("--init needs character, plugin or skin, not " + options.init_kind);
        }
        if (options.zip_only || options.list || options.paths.size() != 1) {
            return UsageError("--init takes a kind and one folder, and no other option");
        }
        return InitPackage(kind, options.paths[0]);
    }
    if (options.list) {
        if (options.zip_only || options.paths.size() != 1) {
            return UsageError("--list takes one file and no other option");
        }
        return ListPackage(options.paths[0]) ? kExitOk : kExitFailed;
    }
    if (!options.publisher.empty() && !options.stamp) {
        return UsageError("--publisher needs --product-version");
    }
    if ((options.stamp || !options.icon.empty()) && options.zip_only) {
        return UsageError("--product-version and --icon change an installer, not an archive (--zip)");
    }
    const size_t expected = options.zip_only ? 3 : 4;
    if (options.paths.size() != expected) {
        return UsageError(options.zip_only
                              ? "--zip needs PACKAGE_DIR, SETTING_INI and OUTPUT_ZIP"
                              : "needs PACKAGE_DIR, SETTING_INI, INSTALLER_EXE and OUTPUT_EXE");
    }
    return BuildPackage(options);
}
