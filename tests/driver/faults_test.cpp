// The run's defences outside the extraction: stale run folders removed at start, the uninstall
// keys checked before anything is written, the uninstaller's folder created and its copy checked.
#include <gtest/gtest.h>

#include <windows.h>

#include "driver/globals.h"
#include "driver/options.h"
#include "driver/uninstall.h"
#include "support/test_support.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/unique_any.h"

namespace {

// Sets a folder's last-write time the given number of hours back.
void MakeOlder(const std::string& folder, int hours) {
    UniqueFile handle(CreateFileA(folder.c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(handle) << folder;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value{};
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    value.QuadPart -= static_cast<uint64_t>(hours) * 60 * 60 * 10000000;
    FILETIME then{value.LowPart, value.HighPart};
    ASSERT_TRUE(SetFileTime(handle.get(), nullptr, nullptr, &then));
}

struct StaleCase {
    const char* name;
    bool folder;
    int age_hours;
    bool removed;
};

TEST(StaleRunFolders, OnlyOurFoldersOlderThanADayAreRemoved) {
    const StaleCase cases[] = {
        {"$$TMP$$123456", true, 25, true},       // a killed run's folder
        {"$$TMP$$4294967295", true, 24 * 30, true},
        {"$$TMP$$777", true, 23, false},         // a run that may still be going
        {"$$TMP$$12ab", true, 48, false},        // not a name the installer gives
        {"$$TMP$$", true, 48, false},
        {"x$$TMP$$1", true, 48, false},
        {"$$TMP$$99", false, 48, false},         // a file
        {"other", true, 48, false},
    };
    TestFolder temp;
    for (const StaleCase& c : cases) {
        if (c.folder) {
            ForceFolders(temp / c.name);
            WriteTextFile(temp / (std::string(c.name) + "\\_$$$setting$$$_.ini"), "[options]\r\n");
        } else {
            WriteTextFile(temp / c.name, "file");
        }
        if (c.folder) MakeOlder(temp / c.name, c.age_hours);
    }
    RemoveStaleTemporaryFolders(temp.path());
    for (const StaleCase& c : cases) {
        EXPECT_EQ(!c.removed, PathExists(temp / c.name)) << c.name;
    }
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

TEST_F(UninstallSteps, AFailedUninstallerCopyIsReported) {
    Setting("[options]\r\nUninstallInfoDir=($INSTALLDIR)\r\nUninstallExeDir=($INSTALLDIR)\r\n");
    WriteTextFile(InstallOptions.TempDir + kPackagedUninstaller, "uninstaller");
    ForceFolders(dir / "out\\chruinst.exe");  // a folder where the uninstaller should go
    InstallStatus = TInstallStatus();
    ScopedBoxAnswers boxes;
    EXPECT_FALSE(WriteUninstallInfo());
    ASSERT_EQ(1u, boxes.asked().size());
    EXPECT_EQ("アンインストーラのコピーに失敗しました。: " + dir.path() + "out\\chruinst.exe",
              boxes.asked()[0].text);
    EXPECT_EQ("エラー", boxes.asked()[0].caption);
    EXPECT_EQ("", InstallStatus.UninstallerPath);
}

}  // namespace
