// The run's defences outside the extraction: stale run folders removed at start, the uninstall
// keys checked before anything is written, the uninstaller's folder created, the uninstall files
// replaced only whole.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/flow/globals.h"
#include "driver/flow/options.h"
#include "driver/records/registration.h"
#include "driver/run/run_files.h"
#include "driver/records/uninstall.h"
#include "support/test_support.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

struct StaleCase {
    const char* name;
    bool folder;
    int age_hours;
    bool removed;
    bool live = false;  // a run that goes on holds its mark in the folder
};

TEST(StaleRunFolders, OnlyOurFoldersOlderThanADayAreRemoved) {
    const StaleCase cases[] = {
        {"$$TMP$$123456", true, 25, true},       // a killed run's folder
        {"$$TMP$$4294967295", true, 24 * 30, true},
        {"$$TMP$$777", true, 23, false},         // a run that may still be going
        {"$$TMP$$555", true, 48, false, true},   // a run waiting at a page for two days
        {"$$TMP$$12ab", true, 48, false},        // not a name the installer gives
        {"$$TMP$$", true, 48, false},
        {"x$$TMP$$1", true, 48, false},
        {"$$TMP$$99", false, 48, false},         // a file
        {"other", true, 48, false},
    };
    TestFolder temp;
    std::vector<UniqueFile> marks;
    for (const StaleCase& c : cases) {
        if (c.folder) {
            ForceFolders(temp / c.name);
            WriteTextFile(temp / (std::string(c.name) + "\\_$$$setting$$$_.ini"), "[options]\r\n");
        } else {
            WriteTextFile(temp / c.name, "file");
        }
        if (c.live) {
            // As the run holds it: open, deletion not shared.
            marks.emplace_back(CreateFileA((temp / c.name + "\\_$$$running$$$_").c_str(),
                                           GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(marks.back());
        }
        if (c.folder) {
            ASSERT_TRUE(SetLastWriteHoursAgo(temp / c.name, c.age_hours));
        }
    }
    RemoveStaleTemporaryFolders(temp.path());
    for (const StaleCase& c : cases) {
        const std::string kept = c.folder ? temp / c.name + "\\_$$$setting$$$_.ini" : temp / c.name;
        EXPECT_EQ(!c.removed, PathExists(kept)) << c.name;
        EXPECT_EQ(!c.removed, PathExists(temp / c.name)) << c.name;
    }
}

// A run's folder replaced by a link of the same name (to a folder called alike elsewhere), and
// such a link among the folders the sweep finds: neither is emptied through the link. The links
// are made on the Linux side, where Wine follows them without showing a reparse point.
TEST(StaleRunFolders, ALinkNamedAsARunFolderIsNeverFollowed) {
    struct Case {
        const char* what;
        const char* name;
        bool sweep;  // found by the sweep of stale folders, else deleted as the run's own folder
    };
    const Case cases[] = {
        {"the run's folder replaced by a link", "$$TMP$$101", false},
        {"a link among the stale folders", "$$TMP$$102", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolder temp;
        TestFolder elsewhere;
        const std::string target = elsewhere / c.name;
        ForceFolders(target);
        WriteTextFile(target + "\\kept.txt", "kept");
        ASSERT_TRUE(SetLastWriteHoursAgo(target, 48));
        UnixSymlink link(target, temp / c.name);
        ASSERT_TRUE(link.made());
        if (c.sweep) {
            RemoveStaleTemporaryFolders(temp.path());
        } else {
            DeleteTree(temp / c.name + "\\");  // as the run's end deletes its folder
        }
        EXPECT_EQ("kept", ReadTextFile(target + "\\kept.txt"));
    }
}

// Without a temporary path nothing is swept: an empty one must not lead the search to the root
// of the current drive.
TEST(StaleRunFolders, NothingIsSweptWithoutATemporaryPath) {
    TestFolder dir;
    ScopedCurrentFolder current(dir.path());
    // A killed run's folder, as it would look, at the root of the test folder's drive.
    struct RootFolder {
        std::string path;
        ~RootFolder() { RemoveDirectoryA(path.c_str()); }
    } at_root{DriveOf(dir.path()) + "\\$$TMP$$" + std::to_string(GetCurrentProcessId())};
    ASSERT_TRUE(ForceFolders(at_root.path));
    ASSERT_TRUE(SetLastWriteHoursAgo(at_root.path, 48));
    RemoveStaleTemporaryFolders("");
    EXPECT_TRUE(PathExists(at_root.path));
}

class UninstallSteps : public testing::Test {
protected:
    void SetUp() override {
        InstallOptions = TInstallOptions();
        InstallOptions.TempDir = dir / "temp\\";
        InstallOptions.InstallDir = dir / "out\\";
        InstallOptions.InstallMode = 0;
        ForceFolders(InstallOptions.TempDir);
    }
    void Setting(const std::string& text) {
        WriteTextFile(InstallOptions.TempDir + kSettingFileName, text);
    }
    TestFolder dir;
};

struct SettingCase {
    const char* what;
    const char* setting;
    std::vector<std::string> messages;
};

TEST_F(UninstallSteps, MissingUninstallKeysAreReportedAsTheUninstallStepWould) {
    const char kInfo[] = "設定ファイルが不正です。(UninstallInfoDir)";
    const char kExe[] = "設定ファイルが不正です。(UninstallExeDir)";
    const SettingCase cases[] = {
        {"no options section", "[other]\r\nUninstallInfoDir=a\r\nUninstallExeDir=b\r\n",
         {kInfo, kExe}},
        {"neither key", "[options]\r\nAppName=x\r\n", {kInfo, kExe}},
        {"no information folder", "[options]\r\nUninstallExeDir=b\r\n", {kInfo, kExe}},
        {"no uninstaller folder", "[options]\r\nUninstallInfoDir=a\r\n", {kExe}},
        {"both", "[options]\r\nUninstallInfoDir=a\r\nUninstallExeDir=b\r\n", {}},
    };
    for (const SettingCase& c : cases) {
        SCOPED_TRACE(c.what);
        Setting(c.setting);
        ScopedBoxAnswers boxes;
        EXPECT_EQ(c.messages.empty(), CheckUninstallSettings());
        std::vector<std::string> shown;
        for (const AskedBox& box : boxes.asked()) shown.push_back(box.text);
        EXPECT_EQ(c.messages, shown);
    }
}

TEST_F(UninstallSteps, MissingFoldersAreCreated) {
    Setting("[options]\r\nUninstallInfoDir=($INSTALLDIR)\\info\\deep\r\n"
            "UninstallExeDir=($INSTALLDIR)\\bin\\deep\r\n");
    WriteTextFile(InstallOptions.TempDir + kPackagedUninstaller, "uninstaller");
    ScopedBoxAnswers boxes;
    EXPECT_TRUE(WriteUninstallInfo());
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_TRUE(FileExists(dir / "out\\info\\deep\\uinstall.ini"));
    EXPECT_EQ("uninstaller", ReadTextFile(dir / "out\\bin\\deep\\chruinst.exe"));
    EXPECT_EQ(dir / "out\\bin\\deep\\chruinst.exe", InstallStatus.UninstallerPath);
}

// A file that a reinstallation replaces stays whole when the new one cannot be written completely
// (a full disk) or put in place (the earlier one in use): the step fails, saying which file.
struct ReplacedFileCase {
    const char* what;
    std::string file;
    bool full_disk;  // else the earlier file is in use
};

TEST_F(UninstallSteps, AFileThatCannotBeReplacedWholeStaysAsItWas) {
    const ReplacedFileCase cases[] = {
        {"uninstall information, full disk", "uinstall.ini", true},
        {"uninstall information, in use", "uinstall.ini", false},
        {"uninstaller, full disk", "chruinst.exe", true},
        {"start file, in use", "marleth.rc", false},
    };
    const std::string earlier(16 * 1024, 'e');
    for (const ReplacedFileCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = dir / (c.full_disk ? "full\\" : "plain\\");
        std::unique_ptr<SmallVolume> volume;
        if (c.full_disk) volume = std::make_unique<SmallVolume>(folder, 64);
        ASSERT_TRUE(!volume || volume->mounted());
        ForceFolders(folder);
        const std::string other = dir / "out\\";
        // Both new files larger than the room the volume has left.
        Setting("[options]\r\nUninstallInfoDir=" + (c.file == "uinstall.ini" ? folder : other) +
                "\r\nUninstallExeDir=" + (c.file == "chruinst.exe" ? folder : other) + "\r\nPad=" +
                std::string(100 * 1024, 'p') + "\r\n");
        WriteTextFile(InstallOptions.TempDir + kPackagedUninstaller, std::string(100 * 1024, 'u'));
        InstallOptions.InstallDir = folder;
        WriteTextFile(folder + c.file, earlier);
        UniqueFile user;
        if (!c.full_disk) {
            user.reset(CreateFileA((folder + c.file).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
        }
        ScopedBoxAnswers boxes;
        EXPECT_FALSE(c.file == "marleth.rc" ? WriteHostRcFile() : WriteUninstallInfo());
        user.reset();
        EXPECT_EQ(earlier, ReadTextFile(folder + c.file));
        if (c.file != "marleth.rc") {
            EXPECT_EQ(1u, boxes.asked().size());
            EXPECT_EQ("ファイルの書き込みに失敗しました。: " + folder + c.file,
                      boxes.asked().empty() ? "" : boxes.asked()[0].text);
        }
        DeleteFileA((folder + c.file).c_str());
    }
}

// An installed uninstaller that is not replaced (in use, or the package brings none) serves the
// installation; it fails only when no uninstaller is at the destination afterwards.
struct UninstallerCase {
    const char* what;
    bool packaged;        // the package brings one
    const char* installed;  // what is at the destination before: null nothing, "" a folder
    bool in_use;          // the installed one is open elsewhere, without sharing
    bool succeeds;
    const char* content;  // the destination's content afterwards
};

TEST_F(UninstallSteps, TheUninstallerStepFailsOnlyWithoutAnUninstaller) {
    const UninstallerCase cases[] = {
        {"first installation", true, nullptr, false, true, "new"},
        {"replaced", true, "old", false, true, "new"},
        {"in use", true, "old", true, true, "old"},
        {"none packaged, one installed", false, "old", false, true, "old"},
        {"none packaged, none installed", false, nullptr, false, false, nullptr},
        {"a folder in the way", true, "", false, false, nullptr},
    };
    const std::string destination = dir / "out\\chruinst.exe";
    const std::string message = "アンインストーラのコピーに失敗しました。: " + destination;
    for (const UninstallerCase& c : cases) {
        SCOPED_TRACE(c.what);
        Setting("[options]\r\nUninstallInfoDir=($INSTALLDIR)\r\nUninstallExeDir=($INSTALLDIR)\r\n");
        DeleteTree(dir / "out");
        ForceFolders(dir / "out");
        DeleteFileA((InstallOptions.TempDir + kPackagedUninstaller).c_str());
        if (c.packaged) WriteTextFile(InstallOptions.TempDir + kPackagedUninstaller, "new");
        if (c.installed != nullptr && *c.installed == '\0') ForceFolders(destination);
        if (c.installed != nullptr && *c.installed != '\0') WriteTextFile(destination, c.installed);
        UniqueFile user;
        if (c.in_use) {
            user.reset(CreateFileA(destination.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(user);
        }
        InstallStatus = TInstallStatus();
        ScopedBoxAnswers boxes;
        EXPECT_EQ(c.succeeds, WriteUninstallInfo());
        user.reset();
        if (c.succeeds) {
            EXPECT_TRUE(boxes.asked().empty());
            EXPECT_EQ(destination, InstallStatus.UninstallerPath);
            EXPECT_EQ(c.content, ReadTextFile(destination));
        } else {
            ASSERT_EQ(1u, boxes.asked().size());
            EXPECT_EQ(message, boxes.asked()[0].text);
            EXPECT_EQ("エラー", boxes.asked()[0].caption);
            EXPECT_EQ("", InstallStatus.UninstallerPath);
        }
        EXPECT_FALSE(PathExists(destination + ".$$part$$"));
    }
}

// Characters share the uninstaller: a package that brings an older one (here, one without a
// version) leaves the newer one in place and is installed all the same.
TEST_F(UninstallSteps, AnOlderPackagedUninstallerLeavesTheNewerOne) {
    const std::string destination = dir / "out\\chruinst.exe";
    Setting("[options]\r\nUninstallInfoDir=($INSTALLDIR)\r\nUninstallExeDir=($INSTALLDIR)\r\n");
    ForceFolders(dir / "out");
    const std::string newer = TestBinDir() + "version_fixture.exe";
    ASSERT_TRUE(CopyFileA(newer.c_str(), destination.c_str(), FALSE));
    WriteTextFile(InstallOptions.TempDir + kPackagedUninstaller, "no version");
    ScopedBoxAnswers boxes;
    EXPECT_TRUE(WriteUninstallInfo());
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_EQ(ReadTextFile(newer), ReadTextFile(destination));
    EXPECT_EQ(destination, InstallStatus.UninstallerPath);
}

}  // namespace
