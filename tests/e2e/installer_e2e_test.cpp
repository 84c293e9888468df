// End-to-end: the real installer exe, built into packages by mkpackage, driven through its
// windows for every command-line mode.
#include <gtest/gtest.h>

#include "support/e2e_fixture.h"
#include "support/fake_host.h"
#include "support/held_extraction.h"
#include "support/zip_writer.h"
#include "utils/files.h"
#include "utils/profile.h"
#include "utils/registry.h"
#include "utils/shell.h"
#include "utils/text.h"

namespace {

TEST_F(InstallerE2E, NoArgumentYesInstallsAndReportsThePlugIn) {
    const std::string exe = Build(PluginSetting(), PluginFiles());
    EXPECT_EQ(0, Run(exe, {},
                     {{kConfirm, "\"テスト\"をインストールします。\r\nよろしいですか？", IDYES},
                      {kConfirm, "\"テスト\"プラグインのインストールが終了しました。", IDOK}}));
    EXPECT_EQ("plug-in", ReadTextFile(Out() + "plugin.dll"));
    // A name whose second byte is a backslash's is one name on a Japanese system only: elsewhere
    // the test cannot write it either.
    if (GetACP() == 932) {
        EXPECT_EQ("日本語", ReadTextFile(Out() + "data\\表.txt"));
    }
    EXPECT_EQ("a", ReadTextFile(Out() + "data\\sub\\a.txt"));
}

// The switches box instead of an archive named "/?": nothing is installed, the exit code is 0;
// under /nowait not even the box shows.
TEST_F(InstallerE2E, HelpSwitchesShowTheSwitches) {
    const std::string exe = Build(PluginSetting(), PluginFiles());
    const std::string switches =
        "-s\t表示せずにインストール\r\n"
        "-s2\t-s のあとホストを起動\r\n"
        "/nowait\tエラーも表示せず記録（/log）に書く\r\n"
        "終了コード 0 成功、1 失敗";
    for (const char* help : {"/?", "-h", "--HELP"}) {
        SCOPED_TRACE(help);
        EXPECT_EQ(0, Run(exe, {help}, {{kConfirm, switches, IDOK}}));
    }
    EXPECT_EQ(0, Run(exe, {"/nowait", "/?"}, {}));
    EXPECT_FALSE(PathExists(Out()));
}

// A name of 32 KB (the most a setting's value holds): the first question still fits on the
// screen with its buttons, its question at the end; answered No, nothing is installed.
TEST_F(InstallerE2E, ALongNameLeavesTheQuestionAnswerable) {
    const std::string name(32000, 'N');
    const std::string exe =
        Build("[options]\r\nAppName=" + name + "\r\nInstallMode=1\r\nDefaultInstallDir=" + Out() +
                  "\r\n",
              PluginFiles());
    DrivenProcess installer(exe, {});
    const FoundWindow box = installer.WaitForBox(kConfirm);
    ASSERT_NE(nullptr, box.window) << installer.Describe();
    const std::string question = "\"をインストールします。\r\nよろしいですか？";
    EXPECT_GE(1100u, box.text.size());
    EXPECT_EQ(box.text.size() - question.size(), box.text.rfind(question));
    RECT rect{};
    GetWindowRect(box.window, &rect);
    EXPECT_GE(GetSystemMetrics(SM_CYSCREEN), rect.bottom);
    EXPECT_GE(GetSystemMetrics(SM_CXSCREEN), rect.right);
    DrivenProcess::Press(box, IDNO);
    EXPECT_EQ(1, installer.WaitForExit());
    EXPECT_FALSE(PathExists(Out()));
}

// The built programs' manifests ask Windows for the highest rights the user has: an
// administrator installing into Program Files is asked to elevate instead of failing to write,
// and the uninstaller can remove what an elevated installer put there.
TEST(BuiltProgram, ItsManifestAsksForTheHighestAvailableRights) {
    for (const char* name : {"setup.exe", "chruinst.exe"}) {
        SCOPED_TRACE(name);
        const HMODULE program =
            LoadLibraryExA((TestBinDir() + name).c_str(), nullptr,
                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(nullptr, program);
        // CREATEPROCESS_MANIFEST_RESOURCE_ID (1), RT_MANIFEST (24)
        const HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
        ASSERT_NE(nullptr, found);
        const char* data = static_cast<const char*>(LockResource(LoadResource(program, found)));
        const std::string manifest(data, SizeofResource(program, found));
        FreeLibrary(program);
        const std::string level =
            "<requestedExecutionLevel level=\"highestAvailable\"";
        EXPECT_NE(std::string::npos, manifest.find(level)) << manifest;
        EXPECT_EQ(std::string::npos, manifest.find("asInvoker"));
    }
}

TEST_F(InstallerE2E, NoArgumentNoInstallsNothing) {
    const std::string exe = Build(CharacterSetting(), CharacterFiles());
    EXPECT_EQ(1, Run(exe, {},
                     {{kConfirm, "キャラクター\"テスト\"をインストールします。\r\nよろしいですか？",
                       IDNO}}));
    EXPECT_FALSE(PathExists(Out()));
}

TEST_F(InstallerE2E, CharacterInstallAsksToStartTheHostAndSucceedsWhenDeclined) {
    const std::string exe = Build(CharacterSetting(), CharacterFiles());
    EXPECT_EQ(0, Run(exe, {},
                     {{kConfirm, "キャラクター\"テスト\"をインストールします。\r\nよろしいですか？",
                       IDYES},
                      {kConfirm, "\"テスト\"のインストールは正常に終了しました。\r\n起動しますか？",
                       IDNO}}));
    EXPECT_TRUE(FileExists(Out() + "ven\\typ\\ven-typ.mrl"));
    EXPECT_FALSE(PathExists(dir / "record.txt"));  // the host was not started
}

TEST_F(InstallerE2E, SilentCharacterInstallLeavesUninstallDataAndTellsTheHost) {
    // 10 package files + the setting file + the uninstaller: 12 entries, 2 pre-extracted.
    Files files = CharacterFiles();
    for (int i = 0; i < 8; ++i) files["ven\\typ\\f" + IntToText(i) + ".txt"] = IntToText(i);
    const std::string exe =
        Build(CharacterSetting("WriteRCFile=2\r\n"), files);
    FakeHost host(2, 0);
    EXPECT_EQ(0, Run(exe, {"-s"}, {}));

    // The setting file became uinstall.ini, with the installed files in archive order.
    const std::string info = Out() + "ven\\typ\\uinstall.ini";
    ASSERT_TRUE(FileExists(info));
    SelectProfile(info, "INSTALLEDFILE");
    std::vector<std::string> listed;
    for (int i = 0; i < 12; ++i) listed.push_back(ReadProfileString("item" + IntToText(i), ""));
    EXPECT_EQ("ven\\typ\\f0.txt", listed[0]);
    EXPECT_EQ("ven\\typ\\ven-typ.mrl", listed[8]);
    EXPECT_EQ("ven\\typ\\shell\\surface.txt", listed[9]);
    EXPECT_EQ("", listed[10]);
    ExpectCharacterInstalled(Out());
    EXPECT_EQ("ven-typ.mrl\r\n\r\n", ReadTextFile(Out() + "marleth.rc"));

    // Both host windows were asked and told, the window with another title never.
    EXPECT_EQ((std::vector<std::string>{"1032:ven|typ", "1032:ven|typ", "1031:ven|typ",
                                        "1031:ven|typ"}),
              host.Seen());
    EXPECT_FALSE(PathExists(dir / "record.txt"));  // "-s" never starts the host
}

TEST_F(InstallerE2E, SilentStartRunsTheHostWithTheCharacter) {
    Files files = CharacterFiles();
    files["marleth.exe"] = ReadTextFile(TestBinDir() + "recorder.exe");
    const std::string exe = Build(CharacterSetting(), files);
    EXPECT_EQ(0, Run(exe, {"-s2"}, {}));
    const std::string record = ReadTextFile(dir / "record.txt");
    EXPECT_NE(std::string::npos, record.find("ven-typ")) << record;
    EXPECT_NE(std::string::npos, record.find("|" + StripTrailingDelimiter(Out()) + "\r\n"))
        << record;
}

// A character the host runs is not replaced, and neither is one of a host that does not answer
// (it may hold the character): the installer waits for it a bounded time, even when silent.
TEST_F(InstallerE2E, RunningCharacterIsRefused) {
    const std::string exe = Build(CharacterSetting(), CharacterFiles());
    for (const bool hangs : {false, true}) {
        SCOPED_TRACE(hangs ? "a host that hangs" : "a host that answers");
        FakeHost host(2, 1, hangs);
        EXPECT_EQ(1, Run(exe, {"-s"},
                         {{kError,
                           "テスト(ven-typ)は現在起動中です。\r\nキャラクターを終了してから再度インストール処理を実行してください。",
                           IDOK}}));
        if (!hangs) {
            EXPECT_EQ((std::vector<std::string>{"1032:ven|typ", "1032:ven|typ"}), host.Seen());
        }
        EXPECT_FALSE(PathExists(Out()));
    }
}

TEST_F(InstallerE2E, EarlierInstallationIsAskedAboutEvenWhenSilent) {
    const std::string exe = Build(CharacterSetting(), CharacterFiles());
    ForceFolders(dir / "ven\\typ");
    WriteTextFile(dir / "ven\\typ\\ven-typ.mrl", "old");
    WriteTextFile(dir / "ven\\typ\\uinstall.ini", "[options]\r\n");
    EXPECT_EQ(1, Run(exe, {"-s"},
                     {{kConfirm, "テストは既にインストール済みです．\r\n上書きインストールを行いますか？",
                       IDNO}}));
    EXPECT_FALSE(PathExists(Out()));
}

TEST_F(InstallerE2E, SilentStartShowsThePlugInMessage) {
    const std::string exe = Build(PluginSetting(), PluginFiles());
    EXPECT_EQ(0, Run(exe, {"-s2"},
                     {{kConfirm, "\"テスト\"プラグインのインストールが終了しました。", IDOK}}));
    EXPECT_TRUE(FileExists(Out() + "plugin.dll"));
}

TEST_F(InstallerE2E, ModeTwoRunsTheLastViewProgram) {
    Files files = PluginFiles();
    files["$preextractdir$\\show.exe"] = ReadTextFile(TestBinDir() + "recorder.exe");
    const std::string setting =
        "[options]\r\nAppName=テスト\r\nInstallMode=2\r\nDefaultInstallDir=" + Out() +
        "\r\nLastViewText=sub\\show.exe\r\n[preextractlist]\r\nitem0=$preextractdir$\\show.exe\r\n";
    const std::string exe = Build(setting, files);
    EXPECT_EQ(0, Run(exe, {"-s2"}, {{kConfirm, "\"テスト\"インストールが終了しました。", IDOK}}));
    const std::string record = ReadTextFile(dir / "record.txt");
    EXPECT_NE(std::string::npos, record.find("$$TMP$$")) << record;
    EXPECT_NE(std::string::npos, record.find("show.exe")) << record;
}

TEST_F(InstallerE2E, OtherModesCloseWithThePlainMessage) {
    const std::string setting = "[options]\r\nAppName=テスト\r\nInstallMode=7\r\nDefaultInstallDir=" +
                                Out() + "\r\n";
    // mkpackage refuses such a mode; an archive made by other tools may still arrive.
    const std::string exe = dir / "pkg.exe";
    ASSERT_TRUE(WriteZip(exe, {{"plugin.dll", "plug-in"}, {"$preextractdir$/_$$$setting$$$_.ini", setting}},
                         TestBinDir() + "setup.exe"));
    FakeHost host(1, 1);  // not a character package: the host is never asked
    EXPECT_EQ(0, Run(exe, {"-s2"}, {{kConfirm, "\"テスト\"インストールが終了しました。", IDOK}}));
    EXPECT_TRUE(host.Seen().empty());
    EXPECT_TRUE(FileExists(Out() + "plugin.dll"));
}

TEST_F(InstallerE2E, LastViewTextIsOpenedInNotepadAndWaitedFor) {
    Files files = PluginFiles();
    files["$preextractdir$\\readme.txt"] = "お読みください";
    const std::string exe =
        Build(PluginSetting("LastViewText=readme.txt\r\n[preextractlist]\r\n"
                            "item0=$preextractdir$\\readme.txt\r\n"),
              files);
    // Another program's Notepad, open on the same display first, is never taken for the one
    // the installer starts.
    DrivenProcess other_notepad("C:\\windows\\notepad.exe", {});
    ASSERT_NE(nullptr, other_notepad.WaitForWindow("Notepad", "").window);
    DrivenProcess installer(exe, {"-s"});
    // Notepad is a process of its own, started by the installer.
    const HWND notepad = installer.WaitForChildWindow("Notepad").window;
    ASSERT_NE(nullptr, notepad) << installer.Describe();
    // Notepad names the file in its title once it has loaded it.
    std::string title;
    EXPECT_TRUE(WaitFor([&] {
        char text[512] = {};
        GetWindowTextA(notepad, text, sizeof text);
        title = text;
        return title.find("readme") != std::string::npos;
    }, 10000)) << title;
    EXPECT_TRUE(installer.Running());  // waiting for Notepad
    EXPECT_TRUE(FileExists(Out() + "plugin.dll"));
    PostMessageA(notepad, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, installer.WaitForExit());
}

TEST_F(InstallerE2E, ArchiveModeKeepsACopyAndExcludesASecondInstaller) {
    const std::string archive =
        Build(PluginSetting(), PluginFiles(), "package.zip", "--zip");
    const std::string other = Build(PluginSetting(), {{"x.txt", "x"}}, "other.zip", "--zip");
    CopyFileA((TestBinDir() + "setup.exe").c_str(), (dir / "setup.exe").c_str(), FALSE);

    DrivenProcess first(dir / "setup.exe", {archive});
    // Archive mode installs into the installer's own folder.
    const FoundWindow finished = first.WaitForBox(kConfirm);
    ASSERT_NE(nullptr, finished.window) << first.Describe();
    EXPECT_EQ("\"テスト\"プラグインのインストールが終了しました。", finished.text);
    EXPECT_EQ("plug-in", ReadTextFile(dir / "plugin.dll"));
    EXPECT_EQ(ReadTextFile(archive), ReadTextFile(dir / "MarlethArchives\\package.zip"));

    EXPECT_EQ(1, Run(dir / "setup.exe", {other},
                     {{kError,
                       "インストーラを一度に2個以上同時に起動することはできません。\r\nインストールを中止します。",
                       IDOK}}));
    EXPECT_FALSE(PathExists(dir / "x.txt"));

    DrivenProcess::Press(finished, IDOK);
    EXPECT_EQ(0, first.WaitForExit());
}

TEST_F(InstallerE2E, UpperCaseSilentSwitchIsTakenAsAnArchivePath) {
    const std::string exe = Build(PluginSetting(), PluginFiles());
    EXPECT_EQ(1, Run(exe, {"-S"}, {{kError, "ファイルのオープンに失敗しました。: -S", IDOK}}));
    EXPECT_FALSE(PathExists(Out()));
}

TEST_F(InstallerE2E, EmptyArgumentInstallsNothing) {
    const std::string exe = Build(PluginSetting(), PluginFiles());
    EXPECT_EQ(1, Run(exe, {""}, {}));
    EXPECT_FALSE(PathExists(Out()));
}

TEST_F(InstallerE2E, ClosingTheInstallerCancelsTheExtraction) {
    Files files;
    for (int i = 0; i < 1500; ++i) files["many\\f" + IntToText(i) + ".txt"] = std::string(100, 'x');
    const std::string exe = Build(PluginSetting(), files);
    // Held once the first member (archive order sorts by name) is on disk, however fast the run.
    HeldExtraction hold("many\\f0.txt");
    DrivenProcess installer(exe, {"-s"});
    ASSERT_TRUE(hold.WaitUntilHeld(installer.handle())) << installer.Describe();
    const FoundWindow progress = installer.WaitForWindow("#32770", "\"テスト\"");
    ASSERT_NE(nullptr, progress.window) << installer.Describe();
    EXPECT_EQ("\"テスト\" インストール中", progress.title);
    const FoundWindow main = installer.WaitForWindow("TCharacterInstaller", "キャラクター");
    ASSERT_NE(nullptr, main.window);
    ASSERT_TRUE(WaitFor([&] { return FileExists(Out() + "many\\f0.txt"); }, 60000));
    // The close is handled while the run stands held: the run goes on only once it is.
    PostMessageA(main.window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(main.window); })) << installer.Describe();
    hold.Release();
    std::string mismatch;
    EXPECT_EQ(1, AnswerBoxesAndWait(installer,
                                    {{kConfirm, "インストールは中止されました。", IDOK},
                                     {kError, "インストールは失敗しました。", IDOK}},
                                    mismatch));
    EXPECT_EQ("", mismatch);
    EXPECT_FALSE(FileExists(Out() + "many\\f1.txt"));    // the member after the held one
    EXPECT_FALSE(FileExists(Out() + "many\\f999.txt"));  // the last member
}

TEST_F(InstallerE2E, DamagedPackageFailsWithTheExtractorsMessage) {
    const std::string exe = Build(PluginSetting(), {{"a.txt", "unique-marker-content"}}, "pkg.exe",
                                  "--level 0");
    std::string bytes = ReadTextFile(exe);
    const size_t at = bytes.find("unique-marker-content");
    ASSERT_NE(std::string::npos, at);
    bytes[at] = 'U';
    // Without its seal, as a package of another tool comes, the damage is found by the member's
    // CRC when the member has been read.
    const size_t seal = bytes.rfind("MarlethSeal ");
    ASSERT_EQ(bytes.size() - 84, seal);
    bytes[seal] = 'X';
    WriteTextFile(exe, bytes);
    EXPECT_EQ(1, Run(exe, {"-s"},
                     {{kError, "ファイルのクローズに失敗しました。: " + exe, IDOK},
                      {kError, "インストールは失敗しました。", IDOK}}));
}

TEST_F(InstallerE2E, MissingPreExtractMemberEndsTheRun) {
    const std::string exe = dir / "pkg.exe";
    ASSERT_TRUE(WriteZip(exe,
                         {{"a.txt", "a"},
                          {"$preextractdir$/_$$$setting$$$_.ini",
                           PluginSetting("[preextractlist]\r\nitem0=$preextractdir$\\missing.txt\r\n")}},
                         TestBinDir() + "setup.exe"));
    EXPECT_EQ(1, Run(exe, {"-s"},
                     {{kError, "次のファイルが見つかりません。: $preextractdir$\\missing.txt", IDOK},
                      {kError, "$preextractdir$\\missing.txtの展開に失敗しました。", IDOK}}));
    EXPECT_FALSE(PathExists(Out()));
}

TEST_F(InstallerE2E, CharacterPackageWithoutUninstallFoldersFails) {
    // mkpackage refuses such a package; an archive made by other tools may still arrive.
    const std::string exe = dir / "pkg.exe";
    const std::string setting = "[options]\r\nAppName=テスト\r\nVendor=ven\r\nType=typ\r\n"
                                "DefaultInstallDir=" + Out() + "\r\n";
    ASSERT_TRUE(WriteZip(exe, {{"a.txt", "a"}, {"$preextractdir$/_$$$setting$$$_.ini", setting}},
                         TestBinDir() + "setup.exe"));
    EXPECT_EQ(1, Run(exe, {"-s"},
                     {{kError, "設定ファイルが不正です。(UninstallInfoDir)", IDOK},
                      {kError, "設定ファイルが不正です。(UninstallExeDir)", IDOK},
                      {kError, "インストールは失敗しました。", IDOK}}));
    EXPECT_FALSE(PathExists(Out()));  // checked before anything is written
}

TEST_F(InstallerE2E, TemporaryFolderThatCannotBeCreated) {
    const std::string exe = Build(PluginSetting(), PluginFiles());
    SetEnvironmentVariableA("TMP", (dir / "no\\such\\folder").c_str());
    EXPECT_EQ(1, Run(exe, {"-s"}, {{kError, "テンポラリフォルダの作成に失敗しました。", IDOK}}));
    EXPECT_FALSE(PathExists(Out()));
}

}  // namespace
