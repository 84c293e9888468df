// End-to-end: the installer among other people's files. Arguments that only look like switches,
// programs planted where a careless command line would find them, paths with blanks and the
// characters a command shell treats specially, a temporary path that does not fit, a sealed
// package changed after it was built.
#include <gtest/gtest.h>

#include "support/e2e_fixture.h"
#include "support/zip_writer.h"
#include "utils/files.h"
#include "utils/registry.h"
#include "utils/text.h"

namespace {

const char kPluginFinished[] = "\"テスト\"プラグインのインストールが終了しました。";

TEST_F(InstallerE2E, OnlyExactSilentSwitchesAreSwitches) {
    const std::string exe = Build(PluginSetting(), PluginFiles());
    for (const std::string argument : {"-S", "-s3", "--s"}) {
        SCOPED_TRACE(argument);
        EXPECT_EQ(1, Run(exe, {argument}, {{kError, "ファイルのオープンに失敗しました。: " + argument, IDOK}}));
        EXPECT_FALSE(PathExists(Out()));
    }
    // A download named like a switch is an archive: installed into the installer's folder, not
    // taken for "-s" (which would install the installer's own package without asking).
    const std::string skin = dir / "my-skin.zip";
    ASSERT_TRUE(WriteZip(skin, {{"skin.txt", "skin"},
                                {"$preextractdir$/_$$$setting$$$_.ini", PluginSetting()}}));
    EXPECT_EQ(0, Run(exe, {skin}, {{kConfirm, kPluginFinished, IDOK}}));
    EXPECT_EQ("skin", ReadTextFile(dir / "skin.txt"));
    EXPECT_FALSE(PathExists(Out()));
}

TEST_F(InstallerE2E, PlantedNotepadIsNotRun) {
    WriteTextFile(dir / "notepad.exe", ReadTextFile(TestBinDir() + "recorder.exe"));
    Files files = PluginFiles();
    files["$preextractdir$\\readme.txt"] = "お読みください";
    const std::string exe = Build(PluginSetting("LastViewText=readme.txt\r\n[preextractlist]\r\n"
                                                "item0=$preextractdir$\\readme.txt\r\n"),
                                  files);
    DrivenProcess installer(exe, {"-s"});
    const HWND notepad = installer.WaitForChildWindow("Notepad").window;
    ASSERT_NE(nullptr, notepad) << "the system's Notepad did not open";
    PostMessageA(notepad, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, installer.WaitForExit());
    EXPECT_FALSE(PathExists(dir / "record.txt")) << ReadTextFile(dir / "record.txt");
}

TEST_F(InstallerE2E, ProgramPathsWithBlanksAndShellCharactersAreQuoted) {
    // The temporary path and the install path hold a blank, "&", "%" and "^"; a program planted
    // where the unquoted path's first word points must not run in place of the packaged one.
    const std::string temp = dir / "a b&c%d^e";
    ForceFolders(temp);
    SetEnvironmentVariableA("TMP", temp.c_str());
    WriteTextFile(dir / "a.exe", ReadTextFile(TestBinDir() + "recorder.exe"));
    Files files = PluginFiles();
    files["$preextractdir$\\show.exe"] = ReadTextFile(TestBinDir() + "recorder.exe");
    const std::string target = dir / "x y&z%w^v\\";
    const std::string setting = "[options]\r\nAppName=テスト\r\nInstallMode=2\r\nDefaultInstallDir=" +
                                target + "\r\nLastViewText=show.exe\r\n[preextractlist]\r\n"
                                "item0=$preextractdir$\\show.exe\r\n";
    const std::string exe = Build(setting, files);
    EXPECT_EQ(0, Run(exe, {"-s"}, {}));
    EXPECT_EQ("plug-in", ReadTextFile(target + "plugin.dll"));
    const std::string record = ReadTextFile(dir / "record.txt");
    EXPECT_NE(std::string::npos, record.find("show.exe|\"" + temp + "\\$$TMP$$")) << record;
    EXPECT_EQ(std::string::npos, record.find(dir / "a.exe|")) << record;
}

TEST_F(InstallerE2E, TemporaryPathThatDoesNotFitIsRefused) {
    // Longer than a path may be: the run folder must not fall back to the current folder.
    SetEnvironmentVariableA("TMP", (dir / std::string(300, 't')).c_str());
    const std::string exe = Build(PluginSetting(), PluginFiles());
    EXPECT_EQ(1, Run(exe, {"-s"}, {{kError, "テンポラリフォルダの作成に失敗しました。", IDOK}}));
    EXPECT_FALSE(PathExists(Out()));
}

// Nothing but the listed names in the folder (".", ".." aside).
bool FolderIsEmpty(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    UniqueFindHandle search(FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!search) return true;
    do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..") return false;
    } while (FindNextFileA(search.get(), &entry));
    return true;
}

TEST_F(InstallerE2E, ADamagedSealedPackageIsRefusedBeforeAnythingIsWritten) {
    const std::string temp = dir / "tmp";
    ForceFolders(temp);
    SetEnvironmentVariableA("TMP", temp.c_str());
    const std::string exe = Build(CharacterSetting(), CharacterFiles());
    const std::string zip = Build(PluginSetting(), PluginFiles(), "pkg.zip", "--zip");
    // One bit changed in the first member's local header of each: the archives still open.
    auto damage = [](const std::string& path, size_t at) {
        std::string bytes = ReadTextFile(path);
        bytes[at] ^= 0x20;
        WriteTextFile(path, bytes);
    };
    damage(exe, ReadTextFile(TestBinDir() + "setup.exe").size() + 40);
    damage(zip, 40);
    // Cut short, as a broken download leaves it: by the last 40 bytes (the end record stays, its
    // seal does not), or by half (a member's data more than the program's size, which stays whole).
    std::string noise(600000, '\0');
    for (uint32_t i = 0, x = 1; i < noise.size(); ++i) {
        x = x * 1103515245 + 12345;  // bytes that deflate cannot shrink
        noise[i] = static_cast<char>(x >> 16);
    }
    const std::string whole =
        ReadTextFile(Build(PluginSetting(), {{"noise.bin", noise}}, "whole.exe"));
    const std::string cut_40 = dir / "cut-40.exe";
    const std::string halved = dir / "halved.exe";
    const std::string halved_zip = dir / "halved.zip";
    WriteTextFile(cut_40, whole.substr(0, whole.size() - 40));
    WriteTextFile(halved, whole.substr(0, whole.size() / 2));
    WriteTextFile(halved_zip, ReadTextFile(zip).substr(0, ReadTextFile(zip).size() / 2));
    auto message = [](const std::string& path) {
        return "ファイルが壊れているか、改変されています。\r\n" + path +
               "\r\nインストールを中止します。\r\nもう一度ダウンロードしてください。";
    };
    const struct {
        const char* what;
        std::string installer;
        std::vector<std::string> arguments;
        std::string archive;
    } cases[] = {
        {"silent", exe, {"-s"}, exe},
        {"asking", exe, {}, exe},
        {"archive", exe, {zip}, zip},
        {"cut by 40 bytes", cut_40, {"-s"}, cut_40},
        {"cut by half", halved, {}, halved},
        {"archive cut by half", exe, {halved_zip}, halved_zip},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(1, Run(c.installer, c.arguments, {{kError, message(c.archive), IDOK}}));
        EXPECT_FALSE(PathExists(Out()));
        EXPECT_FALSE(PathExists(dir / "plugin.dll"));
        EXPECT_FALSE(PathExists(dir / "MarlethArchives"));
        EXPECT_TRUE(FolderIsEmpty(temp));
        UniqueHKey key = OpenRegKey(HKEY_CURRENT_USER, kHostKey, KEY_READ);
        EXPECT_EQ("", ReadRegString(key.get(), "Distributor", ""));
    }
    // Undamaged, the same packages install.
    damage(zip, 40);
    EXPECT_EQ(0, Run(exe, {zip}, {{kConfirm, kPluginFinished, IDOK}}));
    EXPECT_EQ("plug-in", ReadTextFile(dir / "plugin.dll"));
}

}  // namespace
