// End-to-end: faults that must lose nothing. A character package's uninstall keys checked before
// anything is written, the uninstaller's folder created and a failed copy reported, a killed run
// that leaves a record of its files and is asked about by the next run (never by a silent one),
// an install folder that cannot be written, a start file that cannot be replaced.
#include <gtest/gtest.h>

#include <string>

#include "support/e2e_fixture.h"
#include "support/held_extraction.h"
#include "support/zip_writer.h"
#include "utils/files.h"
#include "utils/profile.h"
#include "utils/text.h"

namespace {

const char kInfoMissing[] = "設定ファイルが不正です。(UninstallInfoDir)";
const char kExeMissing[] = "設定ファイルが不正です。(UninstallExeDir)";
const char kFailed[] = "インストールは失敗しました。";
const char kPluginFinished[] = "\"テスト\"プラグインのインストールが終了しました。";

// mkpackage refuses such settings; an archive made by other tools may still arrive.
struct SettingCase {
    const char* what;
    const char* options;  // the setting file's text after the install folder
    bool named_folder;    // false: no [options] section, the host folder is the destination
    std::vector<std::string> messages;
};

TEST_F(InstallerE2E, UninstallKeysAreCheckedBeforeAnythingIsWritten) {
    const SettingCase cases[] = {
        {"no options section", "", false, {kInfoMissing, kExeMissing}},
        {"no keys", "Vendor=ven\r\nType=typ\r\n", true, {kInfoMissing, kExeMissing}},
        {"no information folder", "UninstallExeDir=($INSTALLDIR)\r\n", true,
         {kInfoMissing, kExeMissing}},
        {"no uninstaller folder", "UninstallInfoDir=($INSTALLDIR)\r\n", true, {kExeMissing}},
    };
    for (const SettingCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string setting =
            c.named_folder
                ? "[options]\r\nAppName=テスト\r\nDefaultInstallDir=" + Out() + "\r\n" + c.options
                : "[other]\r\nAppName=テスト\r\n";
        const std::string exe = dir / "pkg.exe";
        ASSERT_TRUE(WriteZip(exe, {{"marleth.exe", "not the host"},
                                   {"$preextractdir$/_$$$setting$$$_.ini", setting}},
                             TestBinDir() + "setup.exe"));
        std::vector<ExpectedBox> boxes;
        for (const std::string& message : c.messages) boxes.push_back({kError, message, IDOK});
        boxes.push_back({kError, kFailed, IDOK});
        EXPECT_EQ(1, Run(exe, {"-s"}, boxes));
        EXPECT_FALSE(PathExists(Out()));
        EXPECT_FALSE(PathExists(dir / "host"));
    }
}

// A character setting whose uninstaller goes to the folder given.
std::string CharacterWithUninstallerIn(const std::string& out, const std::string& group,
                                       const std::string& folder) {
    return "[options]\r\nAppName=テスト\r\nInstallMode=0\r\nVendor=ven\r\nType=typ\r\n"
           "DefaultInstallDir=" + out + "\r\nUninstallInfoDir=($INSTALLDIR)\\ven\\typ\r\n"
           "UninstallExeDir=" + folder + "\r\nshortcut_group=" + group + "\r\n"
           "[preextractlist]\r\nitem0=$preextractdir$\\chruinst.ex_\r\n";
}

TEST_F(InstallerE2E, AMissingUninstallerFolderIsCreated) {
    const std::string exe = Build(
        CharacterWithUninstallerIn(Out(), group_, "($INSTALLDIR)\\uninstall\\ven"), CharacterFiles());
    EXPECT_EQ(0, Run(exe, {"-s"}, {}));
    EXPECT_TRUE(FileExists(Out() + "uninstall\\ven\\chruinst.exe"));
    EXPECT_TRUE(FileExists(ProgramsFolder() + "\\" + group_ + "\\キャラクターアンインストール.lnk"));
}

TEST_F(InstallerE2E, AFailedUninstallerCopyFailsTheRunWithoutItsShortcut) {
    const std::string exe =
        Build(CharacterWithUninstallerIn(Out(), group_, "($INSTALLDIR)"), CharacterFiles());
    ForceFolders(Out() + "chruinst.exe");  // a folder where the uninstaller should go
    EXPECT_EQ(1, Run(exe, {"-s"},
                     {{kError, "アンインストーラのコピーに失敗しました。: " + Out() + "chruinst.exe",
                       IDOK},
                      {kError, kFailed, IDOK}}));
    EXPECT_FALSE(PathExists(ProgramsFolder() + "\\" + group_ + "\\キャラクターアンインストール.lnk"));
}

TEST_F(InstallerE2E, AKilledRunLeavesARecordOfItsFilesAndTheNextRunAsks) {
    const std::string temp = dir / "tmp\\";
    ForceFolders(temp);
    SetEnvironmentVariableA("TMP", temp.c_str());
    Files files;
    for (int i = 0; i < 3000; ++i) files["many\\f" + IntToText(i) + ".txt"] = std::string(100, 'x');
    const std::string exe = Build(PluginSetting(), files);
    {
        // Held, and killed, at a member far enough into the run for batches of the list to be on
        // disk, however fast the run: archive order sorts by name, and f2 comes after f0 and the
        // 1,111 names that start with f1.
        HeldExtraction hold("many\\f2.txt");
        DrivenProcess installer(exe, {"-s"});
        ASSERT_TRUE(hold.WaitUntilHeld(installer.handle())) << installer.Describe();
        ASSERT_TRUE(WaitFor([&] {
            const std::string record = FindRunRecord(Out());
            return !record.empty() && !RecordedFiles(record).empty();
        }, 60000)) << installer.Describe();
        ASSERT_TRUE(TerminateProcess(installer.handle(), 99));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(installer.handle(), 60000));
        hold.Release();
    }
    const std::string record = FindRunRecord(Out());
    ASSERT_NE("", record);
    const std::vector<std::string> listed = RecordedFiles(record);
    ASSERT_FALSE(listed.empty());
    EXPECT_LT(listed.size(), files.size());
    for (const std::string& item : listed) EXPECT_TRUE(FileExists(Out() + item)) << item;
    SelectProfile(record, "run");
    EXPECT_EQ("テスト", ReadProfileString("AppName", ""));
    // The killed run's folder is still there, with its setting file.
    WIN32_FIND_DATAA entry;
    EXPECT_TRUE(UniqueFindHandle(FindFirstFileA((temp + "$$TMP$$*").c_str(), &entry)));

    // Declined, the run ends as at any other question: no failure box, and the record stays.
    EXPECT_EQ(1, Run(exe, {},
                     {{kConfirm, "\"テスト\"をインストールします。\r\nよろしいですか？", IDYES},
                      {kConfirm,
                       "\"テスト\"の前回のインストールは途中で終了しています。\r\n"
                       "このままインストールを続けますか？",
                       IDNO}}));
    EXPECT_EQ(record, FindRunRecord(Out()));
    // A silent run never waits for a person: it goes on as if answered Yes.
    EXPECT_EQ(0, Run(exe, {"-s"}, {}));
    EXPECT_EQ("", FindRunRecord(Out()));
    EXPECT_TRUE(FileExists(Out() + "many\\f2999.txt"));
}

// A wizard left open for days keeps its run folder when another installer starts and sweeps the
// folders of killed runs.
TEST_F(InstallerE2E, AWaitingRunKeepsItsFolderWhenAnotherInstallerStarts) {
    const std::string temp = dir / "tmp\\";
    ForceFolders(temp);
    SetEnvironmentVariableA("TMP", temp.c_str());
    const std::string exe = Build(PluginSetting(), PluginFiles());
    const std::string other = Build(PluginSetting(), PluginFiles(), "other.exe");
    DrivenProcess waiting(exe, {});
    const FoundWindow question = waiting.WaitForBox(kConfirm);
    ASSERT_NE(nullptr, question.window) << waiting.Describe();
    WIN32_FIND_DATAA entry;
    {
        UniqueFindHandle search(FindFirstFileA((temp + "$$TMP$$*").c_str(), &entry));
        ASSERT_TRUE(search);
    }
    const std::string folder = temp + entry.cFileName + "\\";
    ASSERT_TRUE(SetLastWriteHoursAgo(folder, 48));

    EXPECT_EQ(0, Run(other, {"-s"}, {}));
    EXPECT_TRUE(FileExists(folder + "_$$$setting$$$_.ini"));
    DrivenProcess::Press(question, IDYES);
    // The press is posted: the question goes before the next box is looked for.
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(question.window); }, 60000));
    std::string mismatch;
    EXPECT_EQ(0, AnswerBoxesAndWait(waiting, {{kConfirm, kPluginFinished, IDOK}}, mismatch));
    EXPECT_EQ("", mismatch);
    EXPECT_FALSE(PathExists(folder));
}

TEST_F(InstallerE2E, AnInstallFolderThatCannotBeWrittenIsNamedBeforeAnythingIsWritten) {
    UnwritableFolder locked(Out());
    ASSERT_TRUE(locked.made());
    for (const std::string& folder : {Out(), Out() + "sub\\"}) {
        SCOPED_TRACE(folder);
        const std::string exe =
            Build("[options]\r\nAppName=テスト\r\nInstallMode=1\r\nDefaultInstallDir=" + folder +
                      "\r\n",
                  PluginFiles());
        EXPECT_EQ(1, Run(exe, {"-s"},
                         {{kError,
                           "インストール先のフォルダに書き込めません。\r\n" +
                               StripTrailingDelimiter(folder) + "\r\nインストールを中止します。",
                           IDOK},
                          {kError, kFailed, IDOK}}));
    }
}

// A start file that cannot be replaced fails the run, after its own message.
TEST_F(InstallerE2E, AStartFileThatCannotBeReplacedFailsTheRun) {
    const std::string exe = Build(CharacterSetting("WriteRCFile=1\r\n"), CharacterFiles());
    ForceFolders(Out());
    WriteTextFile(Out() + "marleth.rc", "earlier");
    UniqueFile user(CreateFileA((Out() + "marleth.rc").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(user);
    EXPECT_EQ(1, Run(exe, {"-s"},
                     {{kError, "ファイルの書き込みに失敗しました。: " + Out() + "marleth.rc", IDOK},
                      {kError, kFailed, IDOK}}));
    user.reset();
    EXPECT_EQ("earlier", ReadTextFile(Out() + "marleth.rc"));
}

}  // namespace
