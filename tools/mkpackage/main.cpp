// mkpackage: builds a package for package authors (a copy of setup.exe with the package archive
// appended, or the archive alone) after checking it the way the installer will read it, and lists
// the members of a built package.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/seal.h"
#include "archive/zip_reader.h"
#include "our_uninstaller.h"
#include "package/package_format.h"
#include "package_init.h"
#include "package_members.h"
#include "package_settings.h"
#include "packed_texts.h"
#include "utils/files.h"
#include "utils/text.h"
#include "zip_writer.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kDefaultLevel = 6;

const char kUsage[] =
    "Usage:\n"
    "  mkpackage [--level N] [--uninstaller FILE] PACKAGE_DIR SETTING_INI INSTALLER_EXE OUTPUT_EXE\n"
    "  mkpackage --zip [--level N] [--uninstaller FILE] PACKAGE_DIR SETTING_INI OUTPUT_ZIP\n"
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
    "Nothing is written when the installer would fail on the package: a member name it refuses\n"
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
    "More than 65,535 entries get ZIP64 end records; each member and the archive stay under\n"
    "4 GiB.\n"
    "\n"
    "Options:\n"
    "  --zip        write the archive alone instead of an installer\n"
    "  --level N    deflate level 1 to 9 (default 6); 0 stores the files uncompressed\n"
    "  --uninstaller FILE\n"
    "               the uninstaller for character packages that bring none (default: chruinst.exe\n"
    "               beside mkpackage.exe)\n"
    "  --list FILE  print the member names of a package (installer or archive), one per line,\n"
    "               in archive order\n"
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
    std::string init_kind;
    int level = kDefaultLevel;
    std::string uninstaller = DefaultUninstaller();
    std::vector<std::string> paths;
};

void PrintError(const std::string& message) {
    std::fprintf(stderr, "mkpackage: %s\n", message.c_str());
}

int UsageError(const std::string& message) {
    PrintError(message);
    std::fputs("Run \"mkpackage --help\" for the usage.\n", stderr);
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
    if (UniqueUnzFile(OpenZipReader(path))) {
        problems.push_back(path + " already carries an archive; give the plain installer");
    }
}

int ListPackage(const std::string& path) {
    UniqueUnzFile zip(OpenZipReader(path));
    if (!zip) {
        PrintError("no archive found in " + path);
        return kExitFailed;
    }
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
        std::printf("%s\n", name.c_str());
    }
    if (status != UNZ_END_OF_LIST_OF_FILE) {
        PrintError("cannot read the archive's member list in " + path);
        return kExitFailed;
    }
    return kExitOk;
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
    std::printf("mkpackage: wrote a starting %s package in %s:\n", KindName(kind), folder.c_str());
    for (const std::string& file : written) std::printf("  %s\n", file.c_str());
    std::printf("mkpackage: its texts are UTF-8: edit them in any editor, then build it with\n"
                "  mkpackage \"%spackage\" \"%ssetting.ini\" setup.exe OUTPUT.exe\n",
                folder.c_str(), folder.c_str());
    return kExitOk;
}

void PrintNotes(const TextReport& report) {
    for (const std::string& line : report.converted) std::printf("mkpackage: %s\n", line.c_str());
    for (const std::string& warning : report.warnings) PrintError("warning: " + warning);
}

int Refused(const std::vector<std::string>& problems) {
    for (const std::string& problem : problems) PrintError(problem);
    PrintError("nothing written");
    return kExitFailed;
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
    PackageSettings settings;
    if (!ReadPackageSettings(setting.packed(), settings)) {
        return Refused({"setting file not found: " + setting_file});
    }
    for (const std::string& warning : SettingWarnings(settings)) PrintError("warning: " + warning);
    std::vector<std::string> problems;
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
            std::printf("mkpackage: the package brings no uninstaller: packing %s as %s\n",
                        uninstaller.c_str(), kPackagedUninstallerMember);
        }
    }
    for (std::string& problem : CheckPackageSettings(settings)) problems.push_back(std::move(problem));

    std::vector<PackageMember> members;
    std::string error;
    if (!CollectPackageFiles(package_dir, members, problems, error)) return Refused({error});
    const size_t package_count = members.size();
    CheckMemberNames(members, problems);
    CheckLetterCase(package_dir, members, problems);
    // The setting member takes its name, time and attributes from the author's file.
    AddPreExtractMembers(package_dir, setting_file, settings, members, problems);
    TextReport text_report;
    PackConvertedTexts(settings, setting, package_count, members, copies, text_report, problems);
    PrintNotes(text_report);

    if (!options.zip_only) CheckInstaller(installer, problems);
    CheckDownloadedFiles(settings, FolderOf(output) + "downloaded\\", problems);
    std::string inside;
    if (IsInsideFolder(output, package_dir, inside)) {
        problems.push_back("the output " + output + " lies inside the package folder");
    }
    if (!problems.empty()) return Refused(problems);

    TemporaryFile archive;
    if (!archive.Create(output_folder)) {
        PrintError("cannot create a temporary file in " + output_folder);
        return kExitFailed;
    }
    if (!WriteZipArchive(archive.path(), members, options.level, error)) {
        PrintError(error);
        return kExitFailed;
    }
    // The seal covers the whole file up to the archive's comment: it is written last.
    if (options.zip_only) {
        if (!SealArchive(archive.path())) {
            PrintError("cannot seal the archive " + archive.path());
            return kExitFailed;
        }
        if (!archive.MoveTo(output)) {
            PrintError("cannot write " + output);
            return kExitFailed;
        }
    } else {
        TemporaryFile package;
        if (!package.Create(output_folder)) {
            PrintError("cannot create a temporary file in " + output_folder);
            return kExitFailed;
        }
        if (!ConcatenateFiles(package.path(), {installer, archive.path()}, error)) {
            PrintError(error);
            return kExitFailed;
        }
        if (!SealArchive(package.path())) {
            PrintError("cannot seal the package " + package.path());
            return kExitFailed;
        }
        if (!package.MoveTo(output)) {
            PrintError("cannot write " + output);
            return kExitFailed;
        }
    }
    std::printf("mkpackage: wrote %s: %u package members, the setting file, %u pre-extract items\n",
                output.c_str(), static_cast<unsigned>(package_count),
                static_cast<unsigned>(settings.items.size()));
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
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (arg == "--zip") {
            options.zip_only = true;
        } else if (arg == "--list") {
            options.list = true;
        } else if (arg == "--init") {
            if (i + 1 >= argc) return UsageError("--init needs character, plugin or skin");
            options.init = true;
            options.init_kind = argv[++i];
        } else if (arg == "--uninstaller") {
            if (i + 1 >= argc) return UsageError("--uninstaller needs a file");
            options.uninstaller = argv[++i];
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
        return ListPackage(options.paths[0]);
    }
    const size_t expected = options.zip_only ? 3 : 4;
    if (options.paths.size() != expected) {
        return UsageError(options.zip_only
                              ? "--zip needs PACKAGE_DIR, SETTING_INI and OUTPUT_ZIP"
                              : "needs PACKAGE_DIR, SETTING_INI, INSTALLER_EXE and OUTPUT_EXE");
    }
    return BuildPackage(options);
}
