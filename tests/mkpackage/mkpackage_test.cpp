// mkpackage run as a program: the archive order of a built package, installer and plain archive
// alike, every refusal (exit code, the cause and the key or file named, no output), Shift-JIS
// names and large members read back by the installer's own extractor, texts saved in UTF-8 or
// UTF-16 packed as their Shift-JIS forms, the author's product and icon written into the installer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "archive/seal.h"
#include "archive/zarchive.h"
#include "archive/zip_reader.h"
#include "support/test_support.h"
#include "unzip.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kSettingMember[] = "$preextractdir$/_$$$setting$$$_.ini";

struct ToolRun {
    DWORD exit_code = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// Quotes an argument for the C runtime's command-line parser: backslashes before the closing
// quote are doubled, so that a folder path ending in a backslash stays one argument.
std::string Quote(const std::string& arg) {
    size_t trailing = 0;
    while (trailing < arg.size() && arg[arg.size() - 1 - trailing] == '\\') ++trailing;
    return "\"" + arg + std::string(trailing, '\\') + "\"";
}

UniqueFile CreateCapture(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return UniqueFile(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The member names of a --list output: its lines up to the first empty one, without the sizes.
std::vector<std::string> ListedNames(const std::string& out) {
    std::vector<std::string> names;
    for (const std::string& line : Lines(out)) {
        if (line.empty()) break;
        names.push_back(line.size() > 14 ? line.substr(14) : line);
    }
    return names;
}

// Member names of the archive in path, in central-directory order, read with the installer's
// reader; empty when it does not open.
std::vector<std::string> ReadMemberNames(const std::string& path) {
    std::vector<std::string> names;
    ZipReader zip;
    if (!zip.Open(path)) return names;
    for (bool more = zip.First(); more; more = zip.Next()) names.push_back(zip.Current().name);
    return names;
}

bool ReadMemberInfo(const std::string& path, const std::string& member, ZipMember& info) {
    ZipReader zip;
    if (!zip.Open(path) || !zip.Locate(member)) return false;
    info = zip.Current();
    return true;
}

// Names of the entries directly in folder.
std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    UniqueFindHandle find(FindFirstFileA((folder + "*").c_str(), &found));
    if (!find) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find.get(), &found));
    return names;
}

// Every file under root (relative path) with its content.
void Snapshot(const std::string& root, const std::string& relative,
              std::map<std::string, std::string>& out) {
    for (const std::string& name : FolderEntries(root + relative)) {
        const std::string path = root + relative + name;
        if (FolderExists(path)) {
            Snapshot(root, relative + name + "\\", out);
        } else {
            out[relative + name] = ReadTextFile(path);
        }
    }
}

std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    Snapshot(root, "", out);
    return out;
}

// A sequential pass as the installation run does it; true when every member was extracted.
bool ExtractAll(const std::string& archive, const std::string& destination) {
    TZlibArchiver archiver(archive);
    archiver.SetKeepFolders(1);
    archiver.SetConfirmOverwrite(0);
    if (archiver.OpenArchive() == 0) return false;
    for (;;) {
        std::string name;
        const int result = archiver.ExtractNext(name, destination);
        if (result == -1) return true;
        if (result != 1) {
            archiver.CloseArchive();
            return false;
        }
    }
}

void SetLastWriteTime(const std::string& path, const SYSTEMTIME& local_time) {
    FILETIME local{};
    FILETIME universal{};
    SystemTimeToFileTime(&local_time, &local);
    LocalFileTimeToFileTime(&local, &universal);
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    SetFileTime(file.get(), nullptr, nullptr, &universal);
}

// Bytes that deflate cannot shrink, then bytes that it can.
std::string LargeContent(size_t size) {
    std::string data;
    data.reserve(size);
    uint32_t state = 12345;
    while (data.size() < size / 2) {
        state = state * 1103515245u + 12345u;
        data.push_back(static_cast<char>(state >> 24));
    }
    for (int line = 0; data.size() < size; ++line) {
        data += "line " + std::to_string(line) + ": the character waves from the desktop corner\r\n";
    }
    data.resize(size);
    return data;
}

// Package folders with names only the Linux side can create (make_fixtures.py).
std::string Fixture(const std::string& name) {
    return FullPath(TestBinDir() + "..\\test-data\\mkpackage\\" + name) + "\\";
}

class MkpackageTest : public testing::Test {
public:  // the refusal cases change the package through the fixture
    void SetUp() override { ResetPackage(); }

    // The good package folder, and an empty output folder.
    void ResetPackage() {
        DeleteTree(package_);
        DeleteTree(output_folder_);
        DeleteFileA(setting_.c_str());
        ForceFolders(package_ + "$preextractdir$");
        ForceFolders(output_folder_);
        WriteFile("a.txt", "a");
        WriteFile("B.txt", "b");
        WriteFile("sub\\z.txt", "z");
        WriteFile("sub\\deeper\\x.bin", std::string("x\0y", 3));
        WriteFile("v\\t\\v-t.mrl", "[character]");
        ForceFolders(package_ + "empty");
        WriteFile("$preextractdir$\\readme.txt", "read me");
        WriteFile("$preextractdir$\\license.txt", "terms");
        WriteFile("$preextractdir$\\chruinst.ex_", "uninstaller");
        WriteFile("$preextractdir$\\unlisted.txt", "never packed");
    }

    void WriteFile(const std::string& relative, const std::string& content) {
        const std::string path = package_ + relative;
        ForceFolders(FolderOfNoSlash(path));
        WriteTextFile(path, content);
    }

    // A setting file: options lines, then the items, then the agreement page's section.
    void WriteSetting(const std::string& options, const std::string& items,
                      const std::string& license = "Text=license.txt\r\n") {
        WriteTextFile(setting_, "[options]\r\n" + options + "[preextractlist]\r\n" + items +
                                    "[LICENSEAGREE]\r\n" + license);
    }

    void WriteGoodSetting() {
        WriteSetting(kGoodOptions, kGoodItems);
    }

    ToolRun Run(const std::vector<std::string>& args) {
        ToolRun run;
        const std::string out_path = captures_ / "out.txt";
        const std::string err_path = captures_ / "err.txt";
        {
            UniqueFile out = CreateCapture(out_path);
            UniqueFile err = CreateCapture(err_path);
            std::string command = Quote(TestBinDir() + "mkpackage.exe");
            for (const std::string& arg : args) command += " " + Quote(arg);
            STARTUPINFOA startup{};
            startup.cb = sizeof startup;
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = out.get();
            startup.hStdError = err.get();
            PROCESS_INFORMATION process{};
            if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                nullptr, nullptr, &startup, &process)) {
                ADD_FAILURE() << "cannot start " << command;
                return run;
            }
            UniqueHandle process_handle(process.hProcess);
            UniqueHandle thread_handle(process.hThread);
            EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
            GetExitCodeProcess(process.hProcess, &run.exit_code);
        }
        run.out = ReadTextFile(out_path);
        run.err = ReadTextFile(err_path);
        return run;
    }

    ToolRun BuildInstaller(const std::string& package_dir = "") {
        return Run({package_dir.empty() ? package_ : package_dir, setting_, setup_exe_, output_});
    }

    static constexpr const char* kGoodOptions =
        "InstallMode=0\r\n"
        "Vendor=v\r\n"
        "Type=t\r\n"
        "UninstallInfoDir=($INSTALLDIR)\r\n"
        "UninstallExeDir=($INSTALLDIR)\r\n"
        "Dialogs=LICENSEAGREE,FOLDERSELECT\r\n"
        "LastViewText=docs\\README.TXT\r\n";
    static constexpr const char* kGoodItems =
        "item0=$preextractdir$\\readme.txt\r\n"
        "item1=$preextractdir$/license.txt\r\n"
        "item2=$preextractdir$\\chruinst.ex_\r\n";
    const std::vector<std::string> kGoodMembers{
        "a.txt",
        "B.txt",
        "empty/",
        "sub/z.txt",
        "sub/deeper/x.bin",
        "v/t/v-t.mrl",
        kSettingMember,
        "$preextractdir$/readme.txt",
        "$preextractdir$/license.txt",
        "$preextractdir$/chruinst.ex_",
    };

    TestFolder folder_;
    TestFolder captures_;
    const std::string package_ = folder_ / "pkg\\";
    const std::string setting_ = folder_ / "setting.ini";
    const std::string output_folder_ = folder_ / "out\\";
    const std::string output_ = output_folder_ + "package.exe";
    std::string setup_exe_ = TestBinDir() + "setup.exe";
};

// --- building and reading back ----------------------------------------------------------------

TEST_F(MkpackageTest, InstallerListsMembersInArchiveOrder) {
    WriteSetting(std::string(kGoodOptions) + "AppName=見本\r\n", kGoodItems);
    const ToolRun run = BuildInstaller();
    ASSERT_EQ(run.exit_code, 0u) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    // The author's own uninstaller is packed: nothing is said of ours.
    EXPECT_EQ(run.out.find("uninstaller"), std::string::npos) << run.out;

    EXPECT_EQ(ReadMemberNames(output_), kGoodMembers);
    const ToolRun list = Run({"--list", output_});
    EXPECT_EQ(list.exit_code, 0u) << list.err;
    EXPECT_EQ(ListedNames(list.out), kGoodMembers);
    // Each member with its size (a folder without one), then the count and the settings.
    const std::vector<std::string> lines = Lines(list.out);
    ASSERT_EQ(lines.size(), kGoodMembers.size() + 5) << list.out;
    EXPECT_EQ(lines[0], "           1  a.txt");
    EXPECT_EQ(lines[2], "              empty/");
    EXPECT_EQ(lines[4], "           3  sub/deeper/x.bin");
    EXPECT_EQ(lines[kGoodMembers.size() + 1].rfind("10 members, ", 0), 0u) << list.out;
    EXPECT_EQ(lines[kGoodMembers.size() + 2], "AppName=見本");
    EXPECT_EQ(lines[kGoodMembers.size() + 3], "InstallMode=0 (character)");
    EXPECT_EQ(lines[kGoodMembers.size() + 4], "Dialogs=LICENSEAGREE,FOLDERSELECT");
    EXPECT_EQ(FolderEntries(output_folder_), std::vector<std::string>{"package.exe"});
}

TEST_F(MkpackageTest, InstallerIsSetupFollowedByThePlainSealedArchive) {
    WriteGoodSetting();
    ASSERT_EQ(BuildInstaller().exit_code, 0u);
    const std::string zip_path = output_folder_ + "package.zip";
    const ToolRun run = Run({"--zip", package_, setting_, zip_path});
    ASSERT_EQ(run.exit_code, 0u) << run.err;

    const std::string setup = ReadTextFile(setup_exe_);
    const std::string installer = ReadTextFile(output_);
    const std::string zip = ReadTextFile(zip_path);
    ASSERT_EQ(installer.size(), setup.size() + zip.size());
    EXPECT_TRUE(installer.compare(0, setup.size(), setup) == 0);
    // The same archive but for the seal's digits: the installer's seal covers the program too.
    const size_t digits = 64;
    EXPECT_EQ(0, installer.compare(setup.size(), zip.size() - digits, zip, 0, zip.size() - digits));
    EXPECT_NE(installer.substr(installer.size() - digits), zip.substr(zip.size() - digits));

    // Both are sealed.
    EXPECT_EQ(SealState::kIntact, CheckArchiveSeal(output_));
    EXPECT_EQ(SealState::kIntact, CheckArchiveSeal(zip_path));

    // minizip's own file functions find the archive behind the program image too.
    const unzFile plain_reader = unzOpen(output_.c_str());
    EXPECT_NE(nullptr, plain_reader);
    if (plain_reader != nullptr) unzClose(plain_reader);
    EXPECT_EQ(ReadMemberNames(zip_path), kGoodMembers);
    EXPECT_EQ(ListedNames(Run({"--list", zip_path}).out), kGoodMembers);

    TestFolder from_installer;
    TestFolder from_zip;
    ScopedBoxAnswers boxes;
    ASSERT_TRUE(ExtractAll(output_, from_installer.path()));
    ASSERT_TRUE(ExtractAll(zip_path, from_zip.path()));
    EXPECT_TRUE(boxes.asked().empty());
    const auto files = Snapshot(from_installer.path());
    EXPECT_EQ(files, Snapshot(from_zip.path()));
    EXPECT_EQ(files.at("sub\\deeper\\x.bin"), std::string("x\0y", 3));
    EXPECT_EQ(files.at("$preextractdir$\\chruinst.ex_"), "uninstaller");
    EXPECT_TRUE(FolderExists(from_zip / "empty"));
    EXPECT_EQ(files.count("$preextractdir$\\unlisted.txt"), 0u);
}

TEST_F(MkpackageTest, PreExtractMembersComeOutByName) {
    WriteGoodSetting();
    ASSERT_EQ(BuildInstaller().exit_code, 0u);
    TestFolder temp;
    ScopedBoxAnswers boxes;
    TZlibArchiver archiver(output_);
    archiver.SetConfirmOverwrite(0);
    archiver.SetKeepFolders(0);
    EXPECT_TRUE(archiver.ExtractFile("$preextractdir$\\_$$$setting$$$_.ini", temp.path()));
    EXPECT_TRUE(archiver.ExtractFile("$preextractdir$\\license.txt", temp.path()));
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_EQ(ReadTextFile(temp / "_$$$setting$$$_.ini"), ReadTextFile(setting_));
    EXPECT_EQ(ReadTextFile(temp / "license.txt"), "terms");
}

TEST_F(MkpackageTest, MemberTimesAreLastWriteTimesInLocalTime) {
    WriteGoodSetting();
    SYSTEMTIME when{};
    when.wYear = 2021;
    when.wMonth = 3;
    when.wDay = 4;
    when.wHour = 5;
    when.wMinute = 6;
    when.wSecond = 8;
    SetLastWriteTime(package_ + "a.txt", when);
    ASSERT_EQ(BuildInstaller().exit_code, 0u);

    ZipMember info;
    ASSERT_TRUE(ReadMemberInfo(output_, "a.txt", info));
    // MS-DOS date and time: 2021-03-04 05:06:08.
    const uint32_t date = (2021 - 1980) << 9 | 3 << 5 | 4;
    const uint32_t time = 5 << 11 | 6 << 5 | 8 / 2;
    EXPECT_EQ(date << 16 | time, info.dos_time);
}

TEST_F(MkpackageTest, ItemOutsidePreExtractFolderIsStoredTwice) {
    WriteFile("docs\\guide.txt", "guide");
    WriteSetting(kGoodOptions, std::string(kGoodItems) + "item3=docs\\guide.txt\r\n");
    ASSERT_EQ(BuildInstaller().exit_code, 0u);
    const std::vector<std::string> names = ReadMemberNames(output_);
    ASSERT_EQ(names.size(), kGoodMembers.size() + 2);
    EXPECT_EQ(std::count(names.begin(), names.end(), "docs/guide.txt"), 2);
    EXPECT_EQ(names.back(), "docs/guide.txt");
}

TEST_F(MkpackageTest, ShiftJisNamesRoundTrip) {
    // 表 and ソ end in 0x5C, the backslash byte: no separator inside a character.
    WriteFile("表示\\ソフト.txt", "ソフトの説明");
    WriteFile("$preextractdir$\\表紙.txt", "表紙");
    WriteSetting(kGoodOptions, std::string(kGoodItems) + "item3=$preextractdir$\\表紙.txt\r\n");
    const ToolRun run = BuildInstaller();
    ASSERT_EQ(run.exit_code, 0u) << run.err;

    const std::vector<std::string> listed = ListedNames(Run({"--list", output_}).out);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "表示/ソフト.txt"), listed.end());
    EXPECT_EQ(listed.back(), "$preextractdir$/表紙.txt");
    EXPECT_EQ(ReadMemberNames(output_), listed);

    TestFolder installed;
    TestFolder temp;
    ScopedBoxAnswers boxes;
    ASSERT_TRUE(ExtractAll(output_, installed.path()));
    EXPECT_EQ(ReadTextFile(installed / "表示\\ソフト.txt"), "ソフトの説明");
    TZlibArchiver archiver(output_);
    archiver.SetKeepFolders(0);
    EXPECT_TRUE(archiver.ExtractFile("$preextractdir$\\表紙.txt", temp.path()));
    EXPECT_EQ(ReadTextFile(temp / "表紙.txt"), "表紙");
    EXPECT_TRUE(boxes.asked().empty());
}

TEST_F(MkpackageTest, LargeFileIsDeflatedAndRoundTrips) {
    const std::string content = LargeContent(4 * 1024 * 1024 + 123);
    WriteFile("data\\big.bin", content);
    WriteGoodSetting();
    ASSERT_EQ(BuildInstaller().exit_code, 0u);

    ZipMember info;
    ASSERT_TRUE(ReadMemberInfo(output_, "data/big.bin", info));
    EXPECT_EQ(info.method, Z_DEFLATED);
    EXPECT_EQ(info.size, content.size());
    EXPECT_LT(info.compressed_size, content.size());

    TestFolder destination;
    ScopedBoxAnswers boxes;
    TZlibArchiver archiver(output_);
    archiver.SetKeepFolders(0);
    ASSERT_TRUE(archiver.ExtractFile("data\\big.bin", destination.path()));
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_TRUE(ReadTextFile(destination / "big.bin") == content);
}

TEST_F(MkpackageTest, SmallFilesAreDeflatedUnlessThatWouldGrowThem) {
    const std::string compressible(1000, 'x');
    const std::string random = LargeContent(64 * 1024).substr(0, 30000);  // deflate cannot shrink
    WriteFile("small\\x.txt", compressible);
    WriteFile("small\\random.bin", random);
    WriteGoodSetting();
    ASSERT_EQ(BuildInstaller().exit_code, 0u);

    const struct {
        const char* name;
        uLong method;
        const std::string& content;
    } expected[] = {{"a.txt", 0, "a"},
                    {"small/x.txt", Z_DEFLATED, compressible},
                    {"small/random.bin", 0, random}};
    TestFolder destination;
    ScopedBoxAnswers boxes;
    ASSERT_TRUE(ExtractAll(output_, destination.path()));
    for (const auto& member : expected) {
        ZipMember info;
        ASSERT_TRUE(ReadMemberInfo(output_, member.name, info)) << member.name;
        EXPECT_EQ(member.method, info.method) << member.name;
        EXPECT_EQ(member.content.size(), info.size) << member.name;
        EXPECT_TRUE(ReadTextFile(destination / ToBackslashes(member.name)) == member.content)
            << member.name;
    }
    EXPECT_TRUE(boxes.asked().empty());
}

TEST_F(MkpackageTest, LevelZeroStoresMembers) {
    WriteGoodSetting();
    ASSERT_EQ(Run({"--level", "0", package_, setting_, setup_exe_, output_}).exit_code, 0u);
    ZipMember info;
    ASSERT_TRUE(ReadMemberInfo(output_, "sub/z.txt", info));
    EXPECT_EQ(info.method, 0);
}

TEST_F(MkpackageTest, PluginPackageNeedsNoUninstaller) {
    WriteSetting("InstallMode=1\r\n", "item0=$preextractdir$\\readme.txt\r\n", "");
    const ToolRun run = BuildInstaller();
    EXPECT_EQ(run.exit_code, 0u) << run.err;
}

// A character package that brings no uninstaller gets ours, its item added to the packed setting
// file wherever the author's [preextractlist] stands (or does not); the author's file stays.
TEST_F(MkpackageTest, CharacterPackageWithoutUninstallerGetsOurs) {
    const std::string options =
        "[options]\r\nVendor=v\r\nType=t\r\nUninstallInfoDir=x\r\nUninstallExeDir=x\r\n";
    struct Case {
        const char* what;
        std::string setting;
        std::vector<std::string> items;  // the packed [preextractlist], item0 onwards
    };
    const Case cases[] = {
        {"items, then another section",
         options + "[preextractlist]\r\nitem0=$preextractdir$\\readme.txt\r\n\r\n[FIRST]\r\n",
         {"$preextractdir$\\readme.txt", "$preextractdir$\\chruinst.ex_"}},
        {"no item list", options, {"$preextractdir$\\chruinst.ex_"}},
        {"an empty key where the item goes",
         options + "[PreExtractList]\r\nitem0=$preextractdir$\\readme.txt\r\nitem1=\r\n",
         {"$preextractdir$\\readme.txt", "$preextractdir$\\chruinst.ex_"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetPackage();
        WriteTextFile(setting_, c.setting);
        const ToolRun run = BuildInstaller();
        ASSERT_EQ(run.exit_code, 0u) << run.err;
        EXPECT_EQ(Lines(run.out).size(), 2u) << run.out;  // this line and the summary
        EXPECT_NE(run.out.find("brings no uninstaller: packing " + TestBinDir() + "chruinst.exe"),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(ReadTextFile(setting_), c.setting);

        TestFolder temp;
        ScopedBoxAnswers boxes;
        TZlibArchiver archiver(output_);
        archiver.SetKeepFolders(0);
        ASSERT_TRUE(archiver.ExtractFile("$preextractdir$\\_$$$setting$$$_.ini", temp.path()));
        ASSERT_TRUE(archiver.ExtractFile("$preextractdir$\\chruinst.ex_", temp.path()));
        EXPECT_EQ(ReadTextFile(temp / "chruinst.ex_"), ReadTextFile(TestBinDir() + "chruinst.exe"));
        std::vector<std::string> packed;
        for (int i = 0;; ++i) {
            char value[300] = {};
            GetPrivateProfileStringA("preextractlist", ("item" + std::to_string(i)).c_str(), "",
                                     value, sizeof value, (temp / "_$$$setting$$$_.ini").c_str());
            if (value[0] == '\0') break;
            packed.push_back(value);
        }
        EXPECT_EQ(packed, c.items);
    }

    // Without an uninstaller to pack the package is refused, as before.
    ResetPackage();
    WriteTextFile(setting_, options);
    const ToolRun refused = Run({"--uninstaller", folder_ / "none.exe", package_, setting_,
                                 setup_exe_, output_});
    EXPECT_EQ(refused.exit_code, 1u);
    EXPECT_NE(refused.err.find("no item names the uninstaller \"chruinst.ex_\""), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find(folder_ / "none.exe" + " not found (give one with --uninstaller"),
              std::string::npos)
        << refused.err;
    EXPECT_TRUE(FolderEntries(output_folder_).empty());
}

TEST_F(MkpackageTest, ShiftJisSettingFileIsAccepted) {
    // Two-byte characters, one ending in 0x5C (表), half-width katakana and the tilde of code
    // page 932: none of them is taken for UTF-8 or for a broken character.
    WriteSetting(std::string(kGoodOptions) + "AppName=表示テスト ｶﾀｶﾅ ～\r\n", kGoodItems);
    const ToolRun run = BuildInstaller();
    EXPECT_EQ(run.exit_code, 0u) << run.err;
}

// The encodings an author's editor may save in, for the texts of the test below.
enum class Encoding { kUtf8, kUtf16Le, kUtf16Be };

struct TextForm {
    const char* name;  // as mkpackage names it
    Encoding encoding;
    bool byte_order_mark;
    const char* line_end;  // in place of CR LF
};

// text (code page 932, CR LF line ends) in form.
std::string InForm(const std::string& text, const TextForm& form) {
    std::string lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find("\r\n", start);
        lines += text.substr(start, end - start);
        if (end == std::string::npos) break;
        lines += form.line_end;
        start = end + 2;
    }
    std::wstring wide(lines.size(), L'\0');
    wide.resize(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, lines.data(),
                                    static_cast<int>(lines.size()), wide.data(),
                                    static_cast<int>(wide.size())));
    if (form.byte_order_mark) wide.insert(wide.begin(), L'\xFEFF');
    std::string out;
    if (form.encoding == Encoding::kUtf8) {
        out.resize(wide.size() * 3);
        out.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       out.data(), static_cast<int>(out.size()), nullptr, nullptr));
        return out;
    }
    for (wchar_t c : wide) {
        const char low = static_cast<char>(c & 0xFF);
        const char high = static_cast<char>(c >> 8);
        out += form.encoding == Encoding::kUtf16Le ? std::string{low, high} : std::string{high, low};
    }
    return out;
}

// The setting file, the agreement text and the LastViewText file saved in UTF-8 or UTF-16 build
// the very package their Shift-JIS forms build, say so in one line each and stay as they are; a
// package file is packed as it is, whatever it holds.
TEST_F(MkpackageTest, UtfTextsBuildThePackageOfTheirShiftJisForm) {
    // 表 ends in 0x5C, the backslash byte; ～ is U+FF5E; ｶﾅ are half-width.
    const std::string setting = "[options]\r\n" + std::string(kGoodOptions) +
                                "AppName=表示テスト ～ ｶﾅ\r\n[preextractlist]\r\n" + kGoodItems +
                                "[LICENSEAGREE]\r\nText=license.txt\r\n";
    const std::string license = "利用規約\r\n\r\n第1条 表示してください。～\r\n";
    // In UTF-8, お読みください alone would be Shift-JIS as well (and refused); with 。 it is not.
    const std::string readme = "お読みください。\r\n";
    const std::string package_file = "\xE3\x81\x82 UTF-8, not named by the settings\n";
    const struct {
        std::string path;
        const std::string& text;
    } texts[] = {{setting_, setting},
                 {package_ + "$preextractdir$\\license.txt", license},
                 {package_ + "$preextractdir$\\readme.txt", readme}};
    SYSTEMTIME when{};
    when.wYear = 2024, when.wMonth = 5, when.wDay = 6, when.wHour = 7, when.wMinute = 8;
    const auto write = [&](const TextForm* form) {
        for (const auto& text : texts) {
            WriteTextFile(text.path, form == nullptr ? text.text : InForm(text.text, *form));
            SetLastWriteTime(text.path, when);
        }
        WriteTextFile(package_ + "sub\\z.txt", package_file);
        SetLastWriteTime(package_ + "sub\\z.txt", when);
    };
    write(nullptr);
    const ToolRun shift_jis_run = BuildInstaller();
    ASSERT_EQ(shift_jis_run.exit_code, 0u) << shift_jis_run.err;
    EXPECT_EQ(shift_jis_run.out.find("converted to Shift-JIS"), std::string::npos) << shift_jis_run.out;
    const std::string shift_jis_package = ReadTextFile(output_);
    {
        TestFolder installed;
        ScopedBoxAnswers boxes;
        ASSERT_TRUE(ExtractAll(output_, installed.path()));
        EXPECT_EQ(ReadTextFile(installed / "sub\\z.txt"), package_file);
        EXPECT_EQ(ReadTextFile(installed / "$preextractdir$\\license.txt"), license);
    }

    const TextForm forms[] = {
        {"UTF-8", Encoding::kUtf8, false, "\n"},
        {"UTF-8 with a byte-order mark", Encoding::kUtf8, true, "\r\n"},
        {"UTF-16 (little-endian)", Encoding::kUtf16Le, true, "\r\n"},
        {"UTF-16 (big-endian)", Encoding::kUtf16Be, true, "\r"},
    };
    for (const TextForm& form : forms) {
        SCOPED_TRACE(form.name);
        ASSERT_TRUE(DeleteFileA(output_.c_str()));
        write(&form);
        const ToolRun run = BuildInstaller();
        ASSERT_EQ(run.exit_code, 0u) << run.err;
        EXPECT_TRUE(run.err.empty()) << run.err;
        EXPECT_TRUE(ReadTextFile(output_) == shift_jis_package);
        EXPECT_EQ(Lines(run.out).size(), 4u) << run.out;  // three texts and the summary
        for (const auto& text : texts) {
            const std::string line = text.path + " is " + form.name +
                                     ": converted to Shift-JIS (code page 932) with CR LF line "
                                     "ends for the package";
            EXPECT_NE(run.out.find(line), std::string::npos) << run.out;
            EXPECT_TRUE(ReadTextFile(text.path) == InForm(text.text, form)) << text.path;
        }
    }
}

// A text without a byte-order mark that reads both as UTF-8 and as Shift-JIS, differently, is
// refused in whichever file mkpackage converts: which one the author wrote cannot be told, and a
// guess would pack a text changed (ﾂｱ as ±) or refuse one for a character never written (ﾃｩ as
// é). Plain ASCII, and a text with a byte-order mark, say what they are.
TEST_F(MkpackageTest, TextsThatReadBothAsUtf8AndAsShiftJisAreRefused) {
    const std::string kTsua = "\xC2\xB1";  // ﾂｱ in Shift-JIS; ± in UTF-8
    const std::string kTea = "\xC3\xA9";   // ﾃｩ in Shift-JIS; é in UTF-8, which Shift-JIS lacks
    const std::string kSample = "\xE3\x82\xB5\xE3\x83\xB3\xE3\x83\x97\xE3\x83\xAB";  // サンプル in UTF-8
    const std::string kBom = "\xEF\xBB\xBF";
    struct Case {
        const char* what;
        std::string setting_head;  // before the setting file's first line
        std::string app_name;
        std::string license;
        std::string readme;  // the LastViewText file
        std::string refused;  // the file named, or empty when the package is built
    };
    const std::string license = package_ + "$preextractdir$\\license.txt";
    const std::string readme = package_ + "$preextractdir$\\readme.txt";
    const Case cases[] = {
        {"plain ASCII", "", "Sample", "terms", "read me", ""},
        {"half-width ﾂｱ in the setting file", "", kTsua, "terms", "read me", setting_},
        {"half-width ﾃｩ in the setting file", "", kTea, "terms", "read me", setting_},
        {"UTF-8 サンプル in the setting file", "", kSample, "terms", "read me", setting_},
        {"UTF-8 サンプル with a byte-order mark", kBom, kSample, "terms", "read me", ""},
        {"UTF-8 サンプル in the agreement text", "", "Sample", kSample, "read me", license},
        {"half-width ﾂｱ in the LastViewText file", "", "Sample", "terms", kTsua, readme},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetPackage();
        WriteTextFile(setting_, c.setting_head + "[options]\r\n" + kGoodOptions + "AppName=" +
                                    c.app_name + "\r\n[preextractlist]\r\n" + kGoodItems +
                                    "[LICENSEAGREE]\r\nText=license.txt\r\n");
        WriteTextFile(license, c.license);
        WriteTextFile(readme, c.readme);
        const ToolRun run = BuildInstaller();
        if (c.refused.empty()) {
            EXPECT_EQ(run.exit_code, 0u) << run.err;
            continue;
        }
        EXPECT_NE(run.exit_code, 0u);
        const std::string named = c.refused + " is UTF-8 or Shift-JIS: line ";
        EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(") reads one way as UTF-8 and another as Shift-JIS (code page 932), "
                               "and mkpackage does not guess: save it as UTF-8 with a byte-order "
                               "mark, or (if it was meant as UTF-8) as Shift-JIS"),
                  std::string::npos)
            << run.err;
        EXPECT_TRUE(FolderEntries(output_folder_).empty());
    }
}

TEST_F(MkpackageTest, AgreementTextIsCheckedOnlyWithItsPage) {
    WriteSetting("InstallMode=0\r\nVendor=v\r\nType=t\r\nUninstallInfoDir=x\r\nUninstallExeDir=x\r\n"
                 "Dialogs=FOLDERSELECT\r\n",
                 kGoodItems, "Text=not-packed.txt\r\n");
    const ToolRun run = BuildInstaller();
    EXPECT_EQ(run.exit_code, 0u) << run.err;
}

// --- refusals ---------------------------------------------------------------------------------

// One mistake of a package author: what the case does to the good package, the texts its
// message must hold (the cause and the key or file), and texts that must not appear (messages
// that would only be consequences of the mistake).
struct Mistake {
    const char* what;
    std::function<void(MkpackageTest&)> make;
    std::vector<std::string> named;
    std::vector<std::string> not_named = {};
    std::string package_dir = "";  // a package folder of make_fixtures.py instead of the good one
};

const char kPluginSetting[] = "[options]\r\nInstallMode=1\r\n";

TEST_F(MkpackageTest, RefusesEveryMistakeNamingItBeforeWritingAnything) {
    using T = MkpackageTest;
    const std::vector<Mistake> mistakes = {
        // Member names.
        {"item the installer refuses",
         [](T& t) { t.WriteSetting(kGoodOptions, std::string(kGoodItems) + "item3=..\\evil.txt\r\n"); },
         {"item3", "..\\evil.txt", "refuses to extract: it steps up a folder"}},
        {"item with a leading backslash",
         [](T& t) { t.WriteSetting(kGoodOptions, std::string(kGoodItems) + "item3=\\readme.txt\r\n"); },
         {"item3", "begins with"}},
        {"item that is a device name",
         [](T& t) {
             t.WriteSetting(kGoodOptions, std::string(kGoodItems) + "item3=$preextractdir$\\Aux.txt\r\n");
         },
         {"item3", "Aux.txt", "device name"}},
        {"package files the installer refuses",
         [](T& t) { WriteTextFile(t.setting_, kPluginSetting); },
         {"\"con.txt\"", "device name", "\"x.\"", "\"trail \"", "ends in a dot or a blank",
          "\"a:b\"", "colon", Fixture("refused_names") + "con.txt"},
         {"ok.txt"},
         Fixture("refused_names")},
        {"member name longer than the installer reads",
         [](T& t) {
             const std::string name = "$preextractdir$\\" + std::string(250, 'n') + ".txt";
             t.WriteFile(name, "long");
             t.WriteSetting(kGoodOptions, std::string(kGoodItems) + "item3=" + name + "\r\n");
         },
         {"item3", "longer than 261 bytes"}},
        {"name Shift-JIS cannot hold",
         [](T& t) { WriteTextFile(t.setting_, kPluginSetting); },
         {"U+301C", "cannot hold", Fixture("not_shift_jis")},
         {"ok.txt"},
         Fixture("not_shift_jis")},
        {"files that differ only in letter case",
         [](T& t) { WriteTextFile(t.setting_, kPluginSetting); },
         {Fixture("case_files") + "A.txt and " + Fixture("case_files") + "a.txt",
          "differ only in letter case"},
         {"other.txt"},
         Fixture("case_files")},
        {"folders that differ only in letter case",
         [](T& t) { WriteTextFile(t.setting_, kPluginSetting); },
         {Fixture("case_folders") + "Sub and " + Fixture("case_folders") + "sub",
          "differ only in letter case"},
         {"x.txt", "y.txt"},
         Fixture("case_folders")},
        {"a file and a folder that differ only in letter case",
         [](T& t) { WriteTextFile(t.setting_, kPluginSetting); },
         {Fixture("case_file_folder") + "data and " + Fixture("case_file_folder") + "DATA",
          "differ only in letter case"},
         {},
         Fixture("case_file_folder")},
        {"full-width letters that differ only in case",
         [](T& t) { WriteTextFile(t.setting_, kPluginSetting); },
         {"Ａ.txt and ", "ａ.txt differ only in letter case"},
         {},
         Fixture("case_full_width")},
        // The setting file's encoding, and the texts it names.
        {"UTF-8 setting file with a character Shift-JIS cannot hold",
         [](T& t) {
             // テスト〜: U+301C WAVE DASH, which code page 932 holds only as U+FF5E.
             WriteTextFile(t.setting_, std::string(kPluginSetting) +
                                           "AppName=\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\xE3\x80\x9C\r\n");
         },
         {"setting file " + setting_ + " is UTF-8: line 3 holds U+301C, which Shift-JIS",
          "write ～ (U+FF5E) instead"}},
        {"UTF-16 agreement text with a character best fit would replace",
         [](T& t) {
             t.WriteGoodSetting();
             // "ok", then ¥100 (U+00A5, which best fit makes a backslash) on line 2.
             t.WriteFile("$preextractdir$\\license.txt",
                         std::string("\xFF\xFEo\0k\0\r\0\n\0\xA5\0" "1\0" "0\0" "0\0", 18));
         },
         {"license.txt is UTF-16 (little-endian): line 2 holds U+00A5", "write ￥ (U+FFE5) instead"}},
        {"UTF-8 setting file with a byte-order mark and a broken character",
         [](T& t) {
             WriteTextFile(t.setting_, "\xEF\xBB\xBF" + std::string(kPluginSetting) + "AppName=\xE3\x83\r\n");
         },
         {"setting.ini is UTF-8 with a byte-order mark: line 3 holds bytes that are no UTF-8 "
          "character (0xE3 0x83"}},
        {"UTF-16 setting file cut in half a character",
         [](T& t) { WriteTextFile(t.setting_, std::string("\xFF\xFE[\0o\0p", 7)); },
         {"setting.ini is UTF-16 (little-endian): it ends in half a UTF-16 character"}},
        {"setting file with bytes that are no Shift-JIS",
         [](T& t) { WriteTextFile(t.setting_, std::string(kPluginSetting) + "AppName=\x85\x40\r\n"); },
         {"setting.ini is neither UTF-8, UTF-16 nor Shift-JIS", "line 3", "0x85 0x40"}},
        // The options.
        {"no [options] section",
         [](T& t) {
             WriteTextFile(t.setting_, "[option]\r\nInstallMode=1\r\n[preextractlist]\r\n" +
                                           std::string(kGoodItems));
         },
         {"no [options] section", "[option], [preextractlist]"},
         {"UninstallInfoDir", "chruinst.ex_"}},
        {"InstallMode that is a word",
         [](T& t) { t.WriteSetting("InstallMode=plugin\r\n", kGoodItems); },
         {"InstallMode \"plugin\" is not 0", "would read it as 0"},
         {"UninstallInfoDir"}},
        {"InstallMode out of range",
         [](T& t) { t.WriteSetting("InstallMode=7\r\n", kGoodItems); },
         {"InstallMode \"7\"", "would read it as 7"}},
        {"character package without UninstallInfoDir",
         [](T& t) { t.WriteSetting("InstallMode=0\r\nUninstallExeDir=x\r\n", kGoodItems); },
         {"UninstallInfoDir"}},
        {"character package without UninstallExeDir",
         [](T& t) { t.WriteSetting("UninstallInfoDir=x\r\n", kGoodItems); },  // InstallMode 0
         {"UninstallExeDir"}},
        {"Dialogs field in lower case",
         [](T& t) {
             t.WriteSetting("UninstallInfoDir=x\r\nUninstallExeDir=x\r\nDialogs=LICENSEAGREE,folderselect\r\n",
                            kGoodItems);
         },
         {"Dialogs", "folderselect"}},
        {"Dialogs field with a blank",
         [](T& t) {
             t.WriteSetting("UninstallInfoDir=x\r\nUninstallExeDir=x\r\nDialogs=LICENSEAGREE, FOLDERSELECT\r\n",
                            kGoodItems);
         },
         {"Dialogs", "\" FOLDERSELECT\""}},
        {"agreement text that is not pre-extracted",
         [](T& t) { t.WriteSetting(kGoodOptions, kGoodItems, "Text=terms.txt\r\n"); },
         {"Text", "terms.txt"}},
        {"agreement page without text",
         [](T& t) { t.WriteSetting(kGoodOptions, kGoodItems, ""); },
         {"[LICENSEAGREE] Text"}},
        {"LastViewText that is not pre-extracted",
         [](T& t) {
             t.WriteSetting("UninstallInfoDir=x\r\nUninstallExeDir=x\r\nLastViewText=manual.txt\r\n",
                            kGoodItems);
         },
         {"LastViewText", "manual.txt"}},
        // The pre-extract items.
        {"missing item file",
         [](T& t) {
             t.WriteSetting(kGoodOptions, std::string(kGoodItems) + "item3=$preextractdir$\\nothere.txt\r\n");
         },
         {"item3", "nothere.txt"}},
        {"gap in the item list",
         [](T& t) {
             t.WriteSetting(kGoodOptions, std::string(kGoodItems) + "item4=$preextractdir$\\unlisted.txt\r\n");
         },
         {"item4", "item3"}},
        {"items that meet in the temporary folder",
         [](T& t) {
             t.WriteFile("docs\\README.TXT", "the other read-me");
             t.WriteSetting(kGoodOptions, std::string(kGoodItems) + "item3=docs\\README.TXT\r\n");
         },
         {"item3 \"docs\\README.TXT\" lands on the same file", "item0", "temporary folder"}},
        {"item that meets the setting file",
         [](T& t) {
             t.WriteFile("$preextractdir$\\_$$$SETTING$$$_.INI", "[options]\r\n");
             t.WriteSetting(kGoodOptions,
                            std::string(kGoodItems) + "item3=$preextractdir$\\_$$$SETTING$$$_.INI\r\n");
         },
         {"item3", "the setting file _$$$setting$$$_.ini"}},
        {"missing setting file", [](T&) {}, {"setting.ini"}},
        // Verified downloads.
        {"SHA-256 that is not 64 hexadecimal digits",
         [](T& t) {
             t.WriteSetting(kGoodOptions, kGoodItems,
                            "Text=license.txt\r\n[SELINSTALLMODULE]\r\nDLViewName_0=x\r\nDLDownloadFile_0=http://h/x.exe\r\n"
                            "DLSha256_0=12345\r\n");
         },
         {"DLSha256_0", "\"12345\"", "64 hexadecimal digits"}},
        // Download file names the installer refuses before fetching anything.
        {"download file name that climbs out",
         [](T& t) {
             t.WriteSetting(kGoodOptions, kGoodItems,
                            "Text=license.txt\r\n[SELINSTALLMODULE]\r\nDLViewName_0=x\r\n"
                            "DLDownloadFile_0=http://h/dl/..\\..\\x.exe\r\n");
         },
         {"DLDownloadFile_0", "\"..\\..\\x.exe\"", "steps up a folder"}},
        {"download file name that is a device",
         [](T& t) {
             t.WriteSetting(kGoodOptions, kGoodItems,
                            "Text=license.txt\r\n[SELINSTALLMODULE]\r\nDLViewName_0=x\r\n"
                            "DLDownloadFile_0=http://h/dl/ok.exe\r\nDLViewName_1=y\r\n"
                            "DLDownloadFile_1=http://h/dl/aux.exe?x=1\r\n");
         },
         {"DLDownloadFile_1", "\"aux.exe\"", "device name"},
         {"DLDownloadFile_0"}},
        {"download URL without a file name",
         [](T& t) {
             t.WriteSetting(kGoodOptions, kGoodItems,
                            "Text=license.txt\r\n[SELINSTALLMODULE]\r\nDLViewName_0=x\r\n"
                            "DLDownloadFile_0=http://h/dl/\r\n");
         },
         {"DLDownloadFile_0", "without a file name"}},
    };

    for (const Mistake& mistake : mistakes) {
        SCOPED_TRACE(mistake.what);
        ResetPackage();
        mistake.make(*this);
        const ToolRun run = BuildInstaller(mistake.package_dir);
        EXPECT_EQ(run.exit_code, 1u) << run.err;
        for (const std::string& text : mistake.named) {
            EXPECT_NE(run.err.find(text), std::string::npos) << "missing \"" << text << "\" in\n"
                                                             << run.err;
        }
        for (const std::string& text : mistake.not_named) {
            EXPECT_EQ(run.err.find(text), std::string::npos) << "unexpected \"" << text << "\" in\n"
                                                             << run.err;
        }
        EXPECT_NE(run.err.find("nothing written"), std::string::npos) << run.err;
        EXPECT_TRUE(FolderEntries(output_folder_).empty());
    }
}

// --- an author's slips ---------------------------------------------------------------------------

// The good setting file with lines added at the end of [options] (its line 9 onwards) and at the
// end of the file.
std::string GoodSettingWith(const std::string& options, const std::string& tail = "") {
    return std::string("[options]\r\n") + MkpackageTest::kGoodOptions + options +
           "[preextractlist]\r\n" + MkpackageTest::kGoodItems + "[LICENSEAGREE]\r\nText=license.txt\r\n" +
           tail;
}

// A copy of setup.exe as a signing tool leaves it: padded to 8 bytes, a certificate table at the
// end and the security directory entry pointing at it.
void WriteSignedCopy(const std::string& setup, const std::string& path) {
    std::string image = ReadTextFile(setup);
    ASSERT_GT(image.size(), 0x200u);
    const auto get32 = [&image](size_t at) {
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(image[at + i]);
        return value;
    };
    const auto put32 = [&image](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
    };
    const size_t optional = get32(0x3C) + 24;
    ASSERT_EQ(static_cast<unsigned char>(image[optional]), 0x0Bu);  // PE32
    image.resize((image.size() + 7) / 8 * 8, '\0');
    const size_t table = image.size();
    // WIN_CERTIFICATE: length, revision 2.0, PKCS#7 signed data, then its (here empty) bytes.
    image += std::string("\x10\0\0\0\0\x02\x02\0", 8) + std::string(8, '\0');
    put32(optional + 96 + 4 * 8, static_cast<uint32_t>(table));
    put32(optional + 96 + 4 * 8 + 4, 16);
    WriteTextFile(path, image);
}

// One slip of an author that the installer would pass over without a word: the setting file (or
// the change to the good package) that makes it, the options of the build, the message it must
// get (with the file and line where it has them), and whether the package is still written (a
// warning) or nothing is (an error).
struct Slip {
    const char* what;
    std::function<void(MkpackageTest&)> make;
    std::function<std::string(MkpackageTest&)> message;
    bool written;
    std::vector<std::string> options = {};
};

TEST_F(MkpackageTest, ReportsAuthorSlipsWithFileAndLine) {
    using T = MkpackageTest;
    const auto setting = [](std::string text) {
        return [text](T& t) { WriteTextFile(t.setting_, text); };
    };
    const auto at = [](int line, std::string message) {
        return [line, message](T& t) { return t.setting_ + ":" + std::to_string(line) + ": " + message; };
    };
    const auto text = [](std::string message) { return [message](T&) { return message; }; };
    const Slip slips[] = {
        {"an empty package",
         [](T& t) {
             DeleteTree(t.package_);
             ForceFolders(t.package_ + "$preextractdir$");
             t.WriteFile("$preextractdir$\\readme.txt", "read me");
             WriteTextFile(t.setting_, "[options]\r\nInstallMode=1\r\n[preextractlist]\r\n"
                                       "item0=$preextractdir$\\readme.txt\r\n");
         },
         [](T& t) { return "the package folder " + t.package_ + " holds nothing to install"; }, false},
        {"misspelt AppName", setting(GoodSettingWith("AppNmae=x\r\n")),
         at(9, "unknown key \"AppNmae\" in [options]; did you mean \"AppName\"?"), false},
        {"Dialog for Dialogs", setting(GoodSettingWith("Dialog=FIRST\r\n")),
         at(9, "unknown key \"Dialog\" in [options]; did you mean \"Dialogs\"?"), false},
        {"Vender for Vendor", setting(GoodSettingWith("vender=x\r\n")),
         at(9, "unknown key \"vender\" in [options]; did you mean \"Vendor\"?"), false},
        {"a key far from every known one", setting(GoodSettingWith("Colour=red\r\n")),
         at(9, "unknown key \"Colour\" in [options]\n"), false},
        {"a shortcut beyond the tenth", setting(GoodSettingWith("MenuPath_10=x.lnk\r\n")),
         at(9, "unknown key \"MenuPath_10\" in [options]; the installer reads MenuPath_0 to "
               "MenuPath_9 only"), false},
        {"a full-width equals sign", setting(GoodSettingWith("AppName＝テスト\r\n")),
         at(9, "\"AppName＝テスト\" has a full-width ＝ where the installer needs \"=\""), false},
        {"a key given twice", setting(GoodSettingWith("installmode=1\r\n")),
         at(9, "key \"installmode\" again in [options] (first on line 2): the installer reads "
               "only the first"), false},
        {"a second [options] section", setting(GoodSettingWith("", "[Options]\r\nAppName=x\r\n")),
         at(15, "section [Options] again (first on line 1): the installer reads only the first"),
         false},
        {"a misspelt section", setting(GoodSettingWith("", "[FOLDERSELCT]\r\n")),
         at(15, "unknown section [FOLDERSELCT]; did you mean [FOLDERSELECT]?"), false},
        {"a slip in UTF-8 with LF line ends: the author's line",
         setting(std::string("\xEF\xBB\xBF") + u8"; 設定\n\n[options]\nAppName=テスト\nAppNmae=x\n"),
         at(5, "unknown key \"AppNmae\" in [options]; did you mean \"AppName\"?"), false},
        {"an unknown key kept on purpose", setting(GoodSettingWith("MyTool=1\r\n")),
         text("wrote "), true, {"--allow-key", "mytool"}},
        {"a character without Vendor",
         setting("[options]\r\nType=t\r\nUninstallInfoDir=x\r\nUninstallExeDir=x\r\n"
                 "[preextractlist]\r\nitem0=$preextractdir$\\chruinst.ex_\r\n"),
         text("[options] Vendor is missing or empty; a character package (InstallMode 0) needs it"),
         false},
        {"a character file that is not at Vendor\\Type\\Vendor-Type.mrl",
         [](T& t) {
             t.WriteGoodSetting();
             DeleteFileA((t.package_ + "v\\t\\v-t.mrl").c_str());
             t.WriteFile("v\\v-t.mrl", "[character]");
         },
         text("[options] Vendor \"v\" and Type \"t\": the package has no \"v\\t\\v-t.mrl\", where "
              "the host looks for the character (it holds \"v\\v-t.mrl\")"),
         false},
        {"a signed installer as the stub",
         [](T& t) {
             t.WriteGoodSetting();
             WriteSignedCopy(t.setup_exe_, t.folder_ / "signed-setup.exe");
             t.setup_exe_ = t.folder_ / "signed-setup.exe";
         },
         [](T& t) {
             return t.folder_ / "signed-setup.exe" +
                    " is signed (it carries an Authenticode certificate table)";
         },
         false},
        {"a shortcut to a file the package does not bring",
         setting(GoodSettingWith("MenuPath_0=a.lnk\r\nMenuFileName_0=marleth.exe\r\n"
                                 "MenuIconFile_0=sub\\icon.ico\r\n")),
         text("warning: [options] MenuIconFile_0: \"sub\\icon.ico\" is not in the package"), true},
        {"a character file in UTF-8",
         [](T& t) {
             t.WriteGoodSetting();
             t.WriteFile("v\\t\\v-t.mrl", u8"[character]\r\nname=テスト\r\n");
         },
         [](T& t) {
             return "warning: " + t.package_ + "v\\t\\v-t.mrl is UTF-8: packed as it is, while the "
                    "host reads it as Shift-JIS";
         },
         true},
        {"a description in UTF-8, converted on request",
         [](T& t) {
             t.WriteGoodSetting();
             t.WriteFile("v\\t\\descript.txt", u8"説明\r\n");
         },
         [](T& t) {
             return t.package_ + "v\\t\\descript.txt is UTF-8: converted to Shift-JIS";
         },
         true, {"--convert-texts"}},
        {"an agreement line wider than its field",
         [](T& t) {
             t.WriteGoodSetting();
             t.WriteFile("$preextractdir$\\license.txt",
                         "terms\r\n" + std::string(68, 'x') + "\r\n\t" + std::string(61, 'y') + "\r\n");
         },
         [](T& t) {
             return "warning: " + t.package_ + "$preextractdir$\\license.txt:3: the agreement line "
                    "is 69 columns wide";
         },
         true},
    };
    for (const Slip& slip : slips) {
        SCOPED_TRACE(slip.what);
        ResetPackage();
        setup_exe_ = TestBinDir() + "setup.exe";
        slip.make(*this);
        std::vector<std::string> args = slip.options;
        for (const std::string& path : {package_, setting_, setup_exe_, output_}) args.push_back(path);
        const ToolRun run = Run(args);
        const std::string message = slip.message(*this);
        std::string said = run.err + run.out;
        said.erase(std::remove(said.begin(), said.end(), '\r'), said.end());
        EXPECT_NE(said.find(message), std::string::npos)
            << "expected: " << message << "\nout: " << run.out << "\nerr: " << run.err;
        if (slip.written) {
            EXPECT_EQ(run.exit_code, 0u) << run.err;
            EXPECT_EQ(FolderEntries(output_folder_), std::vector<std::string>{"package.exe"});
        } else {
            EXPECT_EQ(run.exit_code, 1u) << run.out;
            EXPECT_TRUE(FolderEntries(output_folder_).empty());
        }
    }
}

TEST_F(MkpackageTest, ShippedDownloadsMustMatchTheirSha256) {
    // A program shipped in the "downloaded" folder beside the installer is checked; one that is
    // not at hand is not.
    const std::string downloaded = output_folder_ + "downloaded\\";
    ForceFolders(downloaded);
    WriteTextFile(downloaded + "x.exe", "abc");
    const std::string list = "Text=license.txt\r\n[SELINSTALLMODULE]\r\nDLViewName_0=x\r\nDLDownloadFile_0=http://h/x.exe?v=2\r\n"
                             "DLViewName_1=y\r\nDLDownloadFile_1=http://h/y.exe\r\n"
                             "DLSha256_1=" + std::string(64, 'f') + "\r\n"
                             "DLViewName_2=a note without an address\r\n";
    const std::string abc = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
    WriteSetting(kGoodOptions, kGoodItems, list + "DLSha256_0=" + abc + "\r\n");
    EXPECT_EQ(BuildInstaller().exit_code, 0u);
    DeleteFileA(output_.c_str());
    WriteSetting(kGoodOptions, kGoodItems, list + "DLSha256_0=" + std::string(64, '0') + "\r\n");
    const ToolRun run = BuildInstaller();
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_NE(run.err.find("DLSha256_0: " + downloaded + "x.exe does not have this SHA-256"),
              std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("DLSha256_1"), std::string::npos) << run.err;
    EXPECT_FALSE(PathExists(output_));
}

// Bytes outside ASCII in a download's URL are sent as they stand, which servers read in
// different ways: a warning, and the package is still built.
TEST_F(MkpackageTest, WarnsAboutUrlsOutsideAscii) {
    const std::string list = "Text=license.txt\r\n[SELINSTALLMODULE]\r\nDLViewName_0=x\r\n"
                             "DLDownloadFile_0=http://h/%E8%A1%A8.exe\r\nDLViewName_1=y\r\n"
                             "DLDownloadFile_1=http://h/表.exe\r\n";
    WriteSetting(kGoodOptions, kGoodItems, list);
    const ToolRun run = BuildInstaller();
    EXPECT_EQ(run.exit_code, 0u) << run.err;
    EXPECT_TRUE(PathExists(output_));
    EXPECT_NE(run.err.find("warning: [SELINSTALLMODULE] DLDownloadFile_1:"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("percent-encoded"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("DLDownloadFile_0"), std::string::npos) << run.err;
}

// --- the author's product in the version resource --------------------------------------------

// What the version resource of a program file says; empty texts when it has none.
struct VersionResource {
    std::string product_name;
    std::string file_description;
    std::string company_name;
    std::string product_version;
    DWORD file_version_ms = 0;
    DWORD file_version_ls = 0;
    DWORD product_version_ms = 0;
    DWORD product_version_ls = 0;
};

VersionResource ReadVersionResource(const std::string& path) {
    VersionResource read;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) return read;
    std::vector<char> info(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, info.data())) return read;
    const auto text = [&info](const std::string& name) {
        void* value = nullptr;
        UINT length = 0;
        const std::string block = "\\StringFileInfo\\041103a4\\" + name;
        if (!VerQueryValueA(info.data(), block.c_str(), &value, &length) || length == 0) {
            return std::string();
        }
        const char* chars = static_cast<const char*>(value);
        return std::string(chars, strnlen(chars, length));
    };
    read.product_name = text("ProductName");
    read.file_description = text("FileDescription");
    read.company_name = text("CompanyName");
    read.product_version = text("ProductVersion");
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(info.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        read.file_version_ms = fixed->dwFileVersionMS;
        read.file_version_ls = fixed->dwFileVersionLS;
        read.product_version_ms = fixed->dwProductVersionMS;
        read.product_version_ls = fixed->dwProductVersionLS;
    }
    return read;
}

struct ModuleTraits {
    using Type = HMODULE;
    static Type Empty() { return nullptr; }
    static bool Close(Type module) { return FreeLibrary(module) != FALSE; }
};
using UniqueModule = UniqueAny<ModuleTraits>;

// Whether the program file still has the installer's icon group and manifest.
bool HasIconAndManifest(const std::string& path) {
    UniqueModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    return module && FindResourceA(module.get(), MAKEINTRESOURCEA(1), RT_GROUP_ICON) != nullptr &&
           FindResourceA(module.get(), MAKEINTRESOURCEA(1), RT_MANIFEST) != nullptr;
}

// One build with or without the stamp options, and the version resource its output must carry.
struct StampCase {
    const char* fault;  // what a failing row catches
    std::string options;  // lines added to [options]
    std::vector<std::string> args;
    VersionResource expected;
};

TEST_F(MkpackageTest, StampsTheAuthorsProductIntoTheVersionResource) {
    const VersionResource installers_own{"Ombrevine CharacterInstaller", "キャラクターインストーラー",
                                         "Ombrevine", "1.0.0.0", 0x00010000, 0, 0x00010000, 0};
    const StampCase cases[] = {
        {"a build without the options changes the installer's own resource",
         "AppName=見本\r\n", {}, installers_own},
        {"the stamp is missing, the Shift-JIS name is not converted, or the version parts are out "
         "of order",
         "AppName=見本キャラ\r\n", {"--product-version", "1.2.3.4"},
         {"見本キャラ", "見本キャラ", "v", "1.2.3.4", 0x00010002, 0x00030004, 0x00010002, 0x00030004}},
        {"--publisher is not taken over Vendor, or missing parts are not read as 0",
         "AppName=Sample\r\n", {"--product-version", "2.5", "--publisher", "Example Co"},
         {"Sample", "Sample", "Example Co", "2.5.0.0", 0x00020005, 0, 0x00020005, 0}},
    };
    for (const StampCase& c : cases) {
        SCOPED_TRACE(c.fault);
        ResetPackage();
        WriteSetting(kGoodOptions + c.options, kGoodItems);
        std::vector<std::string> args = c.args;
        for (const std::string& path : {package_, setting_, setup_exe_, output_}) args.push_back(path);
        const ToolRun run = Run(args);
        ASSERT_EQ(run.exit_code, 0u) << run.err;

        const VersionResource read = ReadVersionResource(output_);
        EXPECT_EQ(read.product_name, c.expected.product_name);
        EXPECT_EQ(read.file_description, c.expected.file_description);
        EXPECT_EQ(read.company_name, c.expected.company_name);
        EXPECT_EQ(read.product_version, c.expected.product_version);
        EXPECT_EQ(read.file_version_ms, c.expected.file_version_ms);
        EXPECT_EQ(read.file_version_ls, c.expected.file_version_ls);
        EXPECT_EQ(read.product_version_ms, c.expected.product_version_ms);
        EXPECT_EQ(read.product_version_ls, c.expected.product_version_ls);
        // The rest of the program, the archive and the seal are whole.
        EXPECT_TRUE(HasIconAndManifest(output_));
        EXPECT_EQ(SealState::kIntact, CheckArchiveSeal(output_));
        const ToolRun list = Run({"--list", output_});
        EXPECT_EQ(list.exit_code, 0u) << list.err;
        EXPECT_EQ(ListedNames(list.out), kGoodMembers);
        EXPECT_EQ(FolderEntries(output_folder_), std::vector<std::string>{"package.exe"});
    }
}

TEST_F(MkpackageTest, StampWithoutProductNameIsRefused) {
    WriteGoodSetting();
    const ToolRun run = Run({"--product-version", "1.0", package_, setting_, setup_exe_, output_});
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_NE(run.err.find("AppName"), std::string::npos) << run.err;
    EXPECT_TRUE(FolderEntries(output_folder_).empty());
}

// An icon file: the header, one directory entry per image (the data following the directory in
// order), then the data. Each image is 16x16 at 32 bits; the data need not be a real picture.
std::string IconFileBytes(uint16_t type, const std::vector<std::string>& images) {
    const auto put16 = [](std::string& out, uint32_t v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>((v >> 8) & 0xFF);
    };
    std::string out;
    put16(out, 0);
    put16(out, type);
    put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (const std::string& image : images) {
        out += std::string("\x10\x10\0\0", 4);
        put16(out, 1);
        put16(out, 32);
        put16(out, static_cast<uint32_t>(image.size()));
        put16(out, 0);
        put16(out, offset);
        put16(out, 0);
        offset += static_cast<uint32_t>(image.size());
    }
    for (const std::string& image : images) out += image;
    return out;
}

// The data of the resource of that type and id in the program file; empty when it has none.
std::string ResourceData(const std::string& path, LPCSTR type, WORD id) {
    UniqueModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return std::string();
    HRSRC found = FindResourceA(module.get(), MAKEINTRESOURCEA(id), type);
    HGLOBAL loaded = found ? LoadResource(module.get(), found) : nullptr;
    const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    return data ? std::string(data, SizeofResource(module.get(), found)) : std::string();
}

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int ResourceCount(const std::string& path, LPCSTR type) {
    int count = 0;
    UniqueModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (module) EnumResourceNamesA(module.get(), type, CountName, reinterpret_cast<LONG_PTR>(&count));
    return count;
}

// One icon file given with --icon, and whether it becomes the installer's icon or is refused.
struct IconCase {
    const char* fault;  // what a failing row catches
    std::string bytes;  // the file's content; empty: no file at all
    bool written;
};

TEST_F(MkpackageTest, IconReplacesTheInstallersOwnOrIsRefused) {
    const std::string image = std::string("\x28\0\0\0", 4) + std::string(60, 'p');
    const std::string truncated = IconFileBytes(1, {image}).substr(0, 6 + 16 + 10);
    const IconCase cases[] = {
        {"the icon is not written, the old images stay beside it, or the archive is broken",
         IconFileBytes(1, {image}), true},
        {"a missing file is taken for an empty icon", "", false},
        {"a text file is taken for an icon", "not an icon at all, just some text", false},
        {"a cursor file (type 2) is taken for an icon", IconFileBytes(2, {image}), false},
        {"an icon without images empties the installer's icon", IconFileBytes(1, {}), false},
        {"an image running past the end of the file is read beyond it", truncated, false},
    };
    const std::string icon_path = folder_ / "author.ico";
    for (const IconCase& c : cases) {
        SCOPED_TRACE(c.fault);
        ResetPackage();
        DeleteFileA(icon_path.c_str());
        if (!c.bytes.empty()) WriteTextFile(icon_path, c.bytes);
        WriteGoodSetting();
        const ToolRun run = Run({"--icon", icon_path, package_, setting_, setup_exe_, output_});
        if (!c.written) {
            EXPECT_EQ(run.exit_code, 1u);
            EXPECT_NE(run.err.find("author.ico is not a usable icon file"), std::string::npos)
                << run.err;
            EXPECT_TRUE(FolderEntries(output_folder_).empty());
            continue;
        }
        ASSERT_EQ(run.exit_code, 0u) << run.err;
        // The group names the one image, as resource 1, with the file's entry bytes.
        const std::string group = ResourceData(output_, RT_GROUP_ICON, 1);
        EXPECT_EQ(group, c.bytes.substr(0, 6 + 12) + std::string("\x01\0", 2));
        EXPECT_EQ(ResourceData(output_, RT_ICON, 1), image);
        EXPECT_EQ(ResourceCount(output_, RT_ICON), 1);
        // The version resource and the archive stay.
        EXPECT_EQ(ReadVersionResource(output_).company_name, "Ombrevine");
        EXPECT_EQ(SealState::kIntact, CheckArchiveSeal(output_));
        EXPECT_EQ(ListedNames(Run({"--list", output_}).out), kGoodMembers);
    }
}

TEST_F(MkpackageTest, RefusesInstallerThatCarriesAnArchive) {
    WriteGoodSetting();
    ASSERT_EQ(BuildInstaller().exit_code, 0u);
    const std::string built = folder_ / "built.exe";
    ASSERT_TRUE(MoveFileA(output_.c_str(), built.c_str()));
    const ToolRun run = Run({package_, setting_, built, output_});
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_NE(run.err.find("already carries an archive"), std::string::npos) << run.err;
    EXPECT_TRUE(FolderEntries(output_folder_).empty());
}

TEST_F(MkpackageTest, RefusedBuildLeavesEarlierOutputAlone) {
    WriteTextFile(output_, "earlier");
    WriteSetting(kGoodOptions, kGoodItems, "Text=terms.txt\r\n");
    EXPECT_EQ(BuildInstaller().exit_code, 1u);
    EXPECT_EQ(ReadTextFile(output_), "earlier");
    EXPECT_EQ(FolderEntries(output_folder_), std::vector<std::string>{"package.exe"});
}

TEST_F(MkpackageTest, FailedWriteLeavesNoOutput) {
    WriteGoodSetting();
    // Held without sharing: mkpackage passes the checks but cannot read the file's data.
    UniqueFile locked(CreateFileA((package_ + "sub\\z.txt").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locked);
    const ToolRun run = BuildInstaller();
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_NE(run.err.find("z.txt"), std::string::npos) << run.err;
    EXPECT_TRUE(FolderEntries(output_folder_).empty());
}

TEST_F(MkpackageTest, WrongUsageExitsWithTwo) {
    EXPECT_EQ(Run({}).exit_code, 2u);
    EXPECT_EQ(Run({package_, setting_}).exit_code, 2u);
    EXPECT_EQ(Run({"--level", "12", package_, setting_, setup_exe_, output_}).exit_code, 2u);
    EXPECT_EQ(Run({"--bogus"}).exit_code, 2u);
    EXPECT_EQ(Run({"--product-version", "1.2.3.4.5", package_, setting_, setup_exe_, output_}).exit_code, 2u);
    EXPECT_EQ(Run({"--product-version", "70000", package_, setting_, setup_exe_, output_}).exit_code, 2u);
    EXPECT_EQ(Run({"--publisher", "x", package_, setting_, setup_exe_, output_}).exit_code, 2u);
    EXPECT_EQ(Run({"--zip", "--icon", "a.ico", package_, setting_, output_}).exit_code, 2u);
    EXPECT_EQ(Run({"--init"}).exit_code, 2u);
    EXPECT_EQ(Run({"--init", "plugin"}).exit_code, 2u);
    EXPECT_EQ(Run({"--init", "Plugin", folder_ / "new"}).exit_code, 2u);
    EXPECT_EQ(Run({"--init", "plugin", "--zip", folder_ / "new"}).exit_code, 2u);
    EXPECT_FALSE(PathExists(folder_ / "new"));
    const ToolRun help = Run({"--help"});
    EXPECT_EQ(help.exit_code, 0u);
    EXPECT_NE(help.out.find("$preextractdir$"), std::string::npos);
}

TEST_F(MkpackageTest, ListingSomethingElseFails) {
    WriteGoodSetting();
    const ToolRun run = Run({"--list", setting_});
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_NE(run.err.find("setting.ini"), std::string::npos) << run.err;
}

}  // namespace
