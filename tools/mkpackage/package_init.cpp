// The starting packages of "mkpackage --init": their setting files, texts and folders.
#include "package_init.h"

#include <windows.h>

#include "utils/files.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

constexpr UINT kCodePage = 932;
const char kUtf8Bom[] = "\xEF\xBB\xBF";

// Which kinds' setting files hold a line.
constexpr unsigned kCharacter = 1;
constexpr unsigned kPlugin = 2;
constexpr unsigned kSkin = 4;
constexpr unsigned kAll = kCharacter | kPlugin | kSkin;

unsigned KindBit(PackageKind kind) {
    switch (kind) {
        case PackageKind::kCharacter: return kCharacter;
        case PackageKind::kPlugin: return kPlugin;
        case PackageKind::kSkin: return kSkin;
    }
    return 0;
}

// One line of a starting setting file: a comment line ("; " added), a section, a key with the
// comment above it, or an empty line (both null).
struct SettingLine {
    unsigned kinds;
    const char* comment;
    const char* line;
};

// The keys the installer reads, with their defaults; values are the starting package's. The
// texts are code page 932, written out as UTF-8.
const SettingLine kSettingLines[] = {
    {kCharacter, "Setting file of a character package, made by \"mkpackage --init character\".",
     nullptr},
    {kPlugin, "Setting file of a plug-in package, made by \"mkpackage --init plugin\".", nullptr},
    {kSkin, "Setting file of a skin package, made by \"mkpackage --init skin\".", nullptr},
    {kAll,
     "An INI file: [section], Key=value; a line that begins with \";\" is a comment.", nullptr},
    {kAll, "Save it in UTF-8, UTF-16 or Shift-JIS: mkpackage packs it in Shift-JIS.", nullptr},
    {kAll, "Build in this folder: mkpackage package setting.ini setup.exe OUTPUT.exe", nullptr},
    {kAll, nullptr, nullptr},
    {kAll, nullptr, "[options]"},
    {kAll, "The name in the messages, pages and progress title (default: *(character not set)*).",
     nullptr},
    {kCharacter, nullptr, "AppName=新しいキャラクター"},
    {kPlugin, nullptr, "AppName=新しいプラグイン"},
    {kSkin, nullptr, "AppName=新しいスキン"},
    {kAll, "0 character; 1 plug-in; 2 other files, LastViewText run as a program (default: 0).",
     nullptr},
    {kCharacter, nullptr, "InstallMode=0"},
    {kPlugin, nullptr, "InstallMode=1"},
    {kSkin, nullptr, "InstallMode=2"},
    {kCharacter,
     "The maker, a folder name; the host knows the character as Vendor-Type (default: empty).",
     "Vendor=yourname"},
    {kCharacter,
     "The character, a folder name; package\\Vendor\\Type\\ holds Vendor-Type.mrl (default: empty).",
     "Type=newcharacter"},
    {kAll,
     "The install folder; ($MARLETHDIR) is the host's folder (default: empty, the host's folder).",
     nullptr},
    {kCharacter, nullptr, "DefaultInstallDir=($MARLETHDIR)"},
    {kPlugin, nullptr, "DefaultInstallDir=($MARLETHDIR)\\plugin\\newplugin"},
    {kSkin, nullptr, "DefaultInstallDir=($MARLETHDIR)\\skin\\newskin"},
    {kAll,
     "Pages in order: LICENSEAGREE,FOLDERSELECT,FIRST,SELINSTALLMODULE, no blanks (default: none).",
     nullptr},
    {kCharacter | kPlugin, nullptr, "Dialogs=LICENSEAGREE,FOLDERSELECT"},
    {kSkin, nullptr, "Dialogs=LICENSEAGREE"},
    {kCharacter | kPlugin,
     "A text opened in Notepad at the end, silent runs too (they wait); an item (default: empty).",
     "LastViewText="},
    {kSkin, "A program run at the end, silent runs too (they wait); an item (default: empty).",
     "LastViewText="},
    {kAll, "The platform that the FIRST page asks to install first (default: Ombrevine).",
     "Marlethware=Ombrevine"},
    {kCharacter,
     "The folder for uinstall.ini; ($INSTALLDIR) is the install folder (a character needs it).",
     "UninstallInfoDir=($INSTALLDIR)\\yourname\\newcharacter"},
    {kCharacter, "The folder for the uninstaller chruinst.exe (a character needs it).",
     "UninstallExeDir=($INSTALLDIR)"},
    {kCharacter, "The start-menu group, under Programs, for the shortcuts (default: Ombrevine).",
     "shortcut_group=Ombrevine 新しいキャラクター"},
    {kCharacter,
     "Shortcut 0 in the group; 1 to 9 likewise; an empty MenuPath ends the list (default: none).",
     "MenuPath_0=新しいキャラクターを起動.lnk"},
    {kCharacter, "Its target, relative to the install folder (default: empty).",
     "MenuFileName_0=marleth.exe"},
    {kCharacter, "Its arguments; the host starts the character Vendor-Type (default: empty).",
     "MenuArgs_0=yourname-newcharacter"},
    {kCharacter,
     "Its icon file, relative to the install folder (default: empty).", "MenuIconFile_0="},
    {kCharacter,
     "Written into the host's registry key (default: calderex).", "Distributor=calderex"},
    {kCharacter, "Written into the host's registry key (default: empty).", "Attr="},
    {kCharacter, "1: write marleth.rc, which has the host start this character (default: 0).",
     "WriteRCFile=0"},
    {kAll, nullptr, nullptr},
    {kAll, nullptr, "[LICENSEAGREE]"},
    {kAll, "The agreement, read to its end before one can agree; an item below (default: empty).",
     "Text=license.txt"},
    {kAll, nullptr, nullptr},
    {kAll, nullptr, "[preextractlist]"},
    {kAll,
     "Files taken out before the pages: item0, item1, ... without gaps, from package\\.", nullptr},
    {kCharacter,
     "Without an item for chruinst.ex_, the build adds the project's uninstaller.", nullptr},
    {kAll, nullptr, "item0=$preextractdir$\\license.txt"},
    {kAll, nullptr, nullptr},
    {kAll, nullptr, "[SELINSTALLMODULE]"},
    {kAll,
     "Programs needed first, offered with Dialogs=FIRST,SELINSTALLMODULE,...; keys _0, _1, ...",
     nullptr},
    {kAll, "The program's line in the list; an empty one ends the list (default: empty).",
     "DLViewName_0="},
    {kAll, "The address of its installer, http://... (default: empty).", "DLDownloadFile_0="},
    {kAll, "Its size in bytes, for the size shown (default: 0).", "DLSize_0=0"},
    {kAll, "The SHA-256 its installer must have, 64 hex digits (default: empty, not checked).",
     "DLSha256_0="},
    {kAll, "The arguments its installer is run with (default: empty).", "DLParameter_0="},
    {kAll,
     "A file under the host's folder once installed; FILE@VERSION, A|B (default: empty, never).",
     "DLInstallCheck_0="},
    {kAll, "0 checked, 1 unchecked, 2 checked and fixed, other: a note without a box (default: 0).",
     "DLStyle_0=0"},
};

const char kLicenseText[] =
    "利用規約（見本）\r\n"
    "\r\n"
    "この文章は、インストーラーの同意ページに\r\n"
    "表示される見本です。パッケージに合わせて\r\n"
    "書き換えてください。\r\n"
    "\r\n"
    "1. このパッケージは無償で利用できます。\r\n"
    "2. 作者は、このパッケージの利用によって\r\n"
    "   生じたいかなる損害についても、責任を\r\n"
    "   負いません。\r\n"
    "3. パッケージを改変せずに再配布すること\r\n"
    "   は自由です。\r\n"
    "\r\n"
    "以上に同意いただける場合は「同意する」を、\r\n"
    "同意いただけない場合は「同意しない」を\r\n"
    "押してください。\r\n";

// The character file the host reads (and the installer looks for to see an earlier installation).
const char kCharacterFile[] =
    "[character]\r\n"
    "name=newcharacter\r\n"
    "vendor=yourname\r\n"
    "type=newcharacter\r\n"
    "version=1.0\r\n";

const char kPluginPlaceholder[] =
    "Put the plug-in's files into this folder (package): they are installed into\r\n"
    "DefaultInstallDir with their folders, as they are.\r\n";
const char kSkinPlaceholder[] =
    "Put the skin's files into this folder (package): they are installed into\r\n"
    "DefaultInstallDir with their folders, as they are.\r\n";

const char kSettingFile[] = "setting.ini";
const char kLicenseFile[] = "package\\$preextractdir$\\license.txt";

// A file of the starting package and its text; as_utf8: written in UTF-8 (text is code page 932).
struct StartingFile {
    std::string path;
    std::string text;
    bool as_utf8;
};

std::string SettingText(PackageKind kind) {
    const unsigned bit = KindBit(kind);
    std::string text;
    for (const SettingLine& line : kSettingLines) {
        if ((line.kinds & bit) == 0) continue;
        if (line.comment != nullptr) text += std::string("; ") + line.comment + "\r\n";
        if (line.line != nullptr) text += std::string(line.line) + "\r\n";
        if (line.comment == nullptr && line.line == nullptr) text += "\r\n";
    }
    return text;
}

std::vector<StartingFile> StartingFiles(PackageKind kind) {
    std::vector<StartingFile> files = {
        {kSettingFile, SettingText(kind), true},
        {kLicenseFile, kLicenseText, true},
    };
    switch (kind) {
        case PackageKind::kCharacter:
            files.push_back({"package\\yourname\\newcharacter\\yourname-newcharacter.mrl",
                             kCharacterFile, false});
            break;
        case PackageKind::kPlugin:
            files.push_back({"package\\readme.txt", kPluginPlaceholder, false});
            break;
        case PackageKind::kSkin:
            files.push_back({"package\\readme.txt", kSkinPlaceholder, false});
            break;
    }
    return files;
}

bool ToUtf8WithBom(const std::string& text, std::string& utf8) {
    const int length = static_cast<int>(text.size());
    const int wide_size = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text.data(), length,
                                              nullptr, 0);
    std::wstring wide(static_cast<size_t>(wide_size), L'\0');
    if (wide_size == 0 || MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text.data(), length,
                                              wide.data(), wide_size) != wide_size) {
        return false;
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    if (size == 0 || WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, out.data(), size,
                                         nullptr, nullptr) != size) {
        return false;
    }
    utf8 = kUtf8Bom + out;
    return true;
}

// True when the folder holds nothing but "." and ".."; false also when it cannot be listed.
bool IsEmptyFolder(const std::string& folder) {
    WIN32_FIND_DATAA found{};
    UniqueFindHandle find(FindFirstFileA((AddBackslash(folder) + "*").c_str(), &found));
    if (!find) return false;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") return false;
    } while (FindNextFileA(find.get(), &found));
    return true;
}

// The folder being filled: unless kept, everything written into it goes again (it was empty or
// missing), and the folder itself when it was made here.
class FolderBeingFilled {
public:
    FolderBeingFilled(std::string folder, bool made) : folder_(std::move(folder)), made_(made) {}
    ~FolderBeingFilled() {
        if (kept_) return;
        if (made_) {
            DeleteTree(folder_);
            return;
        }
        for (const std::string& name : {std::string(kSettingFile), std::string("package")}) {
            const std::string path = AddBackslash(folder_) + name;
            if (FolderExists(path)) {
                DeleteTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        }
    }
    FolderBeingFilled(const FolderBeingFilled&) = delete;
    FolderBeingFilled& operator=(const FolderBeingFilled&) = delete;

    void Keep() { kept_ = true; }

private:
    std::string folder_;
    bool made_;
    bool kept_ = false;
};

}  // namespace

bool ParsePackageKind(const std::string& text, PackageKind& kind) {
    if (text == "character") {
        kind = PackageKind::kCharacter;
    } else if (text == "plugin") {
        kind = PackageKind::kPlugin;
    } else if (text == "skin") {
        kind = PackageKind::kSkin;
    } else {
        return false;
    }
    return true;
}

bool WriteStartingPackage(PackageKind kind, const std::string& folder,
                          std::vector<std::string>& written, std::string& error) {
    const std::string base = AddBackslash(folder);
    const std::string name = StripTrailingDelimiter(folder);
    const DWORD attributes = GetFileAttributesA(name.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = name + " is a file; give a new or empty folder";
        return false;
    }
    if (exists && !IsEmptyFolder(folder)) {
        error = name + " is not empty; give a new or empty folder (nothing in it is replaced)";
        return false;
    }
    if (!exists && !ForceFolders(folder)) {
        error = "cannot create the folder " + name;
        return false;
    }
    FolderBeingFilled filling(folder, !exists);
    written.clear();
    for (const StartingFile& file : StartingFiles(kind)) {
        const std::string path = base + file.path;
        std::string bytes = file.text;
        if (file.as_utf8 && !ToUtf8WithBom(file.text, bytes)) {
            error = "cannot convert the text of " + path + " to UTF-8";
            return false;
        }
        if (!ForceFolders(FolderOf(path)) || !WriteWholeFile(path, bytes, CREATE_NEW)) {
            error = "cannot write " + path;
            return false;
        }
        written.push_back(file.path);
    }
    filling.Keep();
    return true;
}
