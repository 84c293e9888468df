// End-to-end: the installation log that /log asks for, written by the real installer exe.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "resource.h"
#include "support/e2e_fixture.h"
#include "support/fake_host.h"
#include "utils/files.h"
#include "utils/text.h"

namespace {

// The logs a default-named run leaves in the temporary folder ("pkg-*.log"), removed again when
// the test ends, whatever its outcome.
class TempLogs {
public:
    TempLogs() : before_(Find()) {}
    ~TempLogs() {
        for (const std::string& path : Added()) DeleteFileA(path.c_str());
    }
    std::vector<std::string> Added() const {
        std::vector<std::string> added;
        for (const std::string& path : Find()) {
            if (std::find(before_.begin(), before_.end(), path) == before_.end()) {
                added.push_back(path);
            }
        }
        return added;
    }

private:
    static std::string TempFolder() {
        char temp[MAX_PATH + 1] = {};
        GetTempPathA(sizeof temp, temp);
        return temp;
    }
    static std::vector<std::string> Find() {
        std::vector<std::string> found;
        WIN32_FIND_DATAA data{};
        HANDLE search = FindFirstFileA((TempFolder() + "pkg-*.log").c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) return found;
        do {
            found.push_back(TempFolder() + data.cFileName);
        } while (FindNextFileA(search, &data));
        FindClose(search);
        return found;
    }
    std::vector<std::string> before_;
};

// The lines of the log that are missing from it, in the order expected.
std::string MissingLines(const std::string& log, const std::vector<std::string>& expected) {
    std::string missing;
    size_t from = 0;
    for (const std::string& line : expected) {
        const size_t at = log.find(line, from);
        if (at == std::string::npos) {
            missing += "missing (in this order): " + line + "\n";
        } else {
            from = at + line.size();
        }
    }
    return missing;
}

TEST_F(InstallerE2E, TheLogHoldsWhatTheRunDid) {
    const std::string log = dir / "run.log";
    struct Case {
        const char* name;
        std::string exe;
        std::vector<std::string> arguments;
        std::function<void(DrivenProcess&)> drive;  // the pages, when the run shows any
        std::vector<ExpectedBox> boxes;
        int exit_code;
        std::vector<std::string> lines;
    };

    FakeHost host(1, 0);
    const std::string character = Build(CharacterSetting("WriteRCFile=1\r\n"), CharacterFiles(),
                                        "character.exe");
    const std::string group = ProgramsFolder() + "\\" + group_ + "\\";
    // A second shortcut whose name no folder can hold: logged as failed, not as made.
    Files started_files = CharacterFiles();
    started_files["marleth.exe"] = ReadTextFile(TestBinDir() + "recorder.exe");
    const std::string too_long = std::string(1 << 20, 'a') + ".lnk";
    const std::string started = Build(
        CharacterSetting("MenuPath_1=" + too_long + "\r\nMenuFileName_1=marleth.exe\r\n"),
        started_files, "started.exe");

    std::string damaged_bytes;
    const std::string damaged =
        Build(PluginSetting(), {{"a.txt", "unique-marker-content"}}, "damaged.exe", "--level 0");
    damaged_bytes = ReadTextFile(damaged);
    damaged_bytes[damaged_bytes.find("unique-marker-content")] = 'U';
    damaged_bytes[damaged_bytes.rfind("MarlethSeal ")] = 'X';  // a package without a seal
    WriteTextFile(damaged, damaged_bytes);

    Files licensed_files = PluginFiles();
    licensed_files["$preextractdir$\\license.txt"] = "規約";
    const std::string licensed = Build(
        PluginSetting("Dialogs=LICENSEAGREE\r\n[LICENSEAGREE]\r\nText=license.txt\r\n"
                      "[preextractlist]\r\nitem0=$preextractdir$\\license.txt\r\n"),
        licensed_files, "licensed.exe");
    const auto refuse_the_agreement = [](DrivenProcess& installer) {
        DrivenProcess::Press(installer.WaitForBox(kConfirm), IDYES);
        const FoundWindow page = installer.WaitForWindow("#32770", "テスト");
        ASSERT_NE(nullptr, page.window) << installer.Describe();
        Click(Control(page, IDC_LICENSE_REFUSE));
    };

    const Case cases[] = {
        {"silent character installation", character, {"-s", "/log=" + log}, nullptr, {}, 0,
         {"開始 ", "版 1.0.0.0 Windows ", "コマンドライン ", "パッケージ " + character, "封印 一致",
          "設定 [options] InstallMode=0", "設定 [options] AppName=テスト",
          "ホストの応答（起動中の問い合わせ） 0", "サイレント -s", "インストール先 " + Out(),
          "ファイル ven\\typ\\ven-typ.mrl 9 バイト 書き込み済み",
          "ファイル ven\\typ\\shell\\surface.txt 7 バイト 書き込み済み",
          "アンインストール情報 " + Out() + "ven\\typ\\uinstall.ini 書き込み済み",
          "アンインストーラ " + Out() + "chruinst.exe", "ショートカット " + group + "起動.lnk 作成済み",
          "ショートカット " + group + "キャラクターアンインストール.lnk 作成済み",
          "登録 HKEY_CURRENT_USER\\", " Distributor=calderex Attr=属性",
          "登録 " + Out() + "marleth.rc 書き込み済み", "ホストの応答（インストール通知） 0",
          "終了コード 0"}},
        {"failed installation under /nowait: no box waits, the log tells", damaged,
         {"-s", "/NoWait", "/log=" + log}, nullptr, {}, 1,
         {"メッセージ（エラー） ファイルのクローズに失敗しました。", "回答 OK",
          "メッセージ（エラー） インストールは失敗しました。", "回答 OK", "終了コード 1"}},
        {"failed installation", damaged, {"/LOG=" + log, "-s"}, nullptr,
         {{kError, "ファイルのクローズに失敗しました。: " + damaged, IDOK},
          {kError, "インストールは失敗しました。", IDOK}},
         1,
         {"封印 なし", "サイレント -s", "メッセージ（エラー） ファイルのクローズに失敗しました。",
          "回答 OK", "ファイル a.txt 21 バイト 失敗 (エラー 23: ",
          "メッセージ（エラー） インストールは失敗しました。", "回答 OK", "終了コード 1"}},
        {"silent start, a shortcut not made", started, {"-s2", "/log=" + log}, nullptr, {}, 0,
         {"ショートカット " + group + "起動.lnk 作成済み", "ショートカット " + group + "aaaa",
          " 失敗 (エラー ", "ショートカット " + group + "キャラクターアンインストール.lnk 作成済み",
          "ホスト起動 \"" + Out() + "marleth.exe\" ven-typ 起動済み", "終了コード 0"}},
        {"cancelled installation", licensed, {"-log=" + log}, refuse_the_agreement, {}, 1,
         {"メッセージ（確認） \"テスト\"をインストールします。", "回答 はい",
          "ページ LICENSEAGREE 中止", "終了コード 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(log.c_str());
        DrivenProcess installer(c.exe, c.arguments);
        if (c.drive) c.drive(installer);
        std::string mismatch;
        EXPECT_EQ(c.exit_code, AnswerBoxesAndWait(installer, c.boxes, mismatch));
        EXPECT_EQ("", mismatch);
        const std::string text = ReadTextFile(log);
        EXPECT_EQ("", MissingLines(text, c.lines)) << text;
        // Every line carries the time since the start.
        EXPECT_EQ(0u, text.find("[   0."));
        DeleteTree(Out());
    }
}

// A log that cannot be created (its folder is missing, it names a device) is told in a box in a
// normal run, which then goes on without one; a silent run never waits for a person.
TEST_F(InstallerE2E, ALogThatCannotBeCreatedIsToldInANormalRunOnly) {
    const std::string exe = Build(PluginSetting(), PluginFiles());
    const std::string not_created = "ログファイルを作成できません。ログなしでインストールを続けます。\r\n";
    const std::string question = "\"テスト\"をインストールします。\r\nよろしいですか？";
    struct Case {
        std::string path;
        bool silent;
    };
    const Case cases[] = {
        {dir / "missing\\run.log", false},
        {dir / "missing\\run.log", true},
        {dir / "NUL", false},
        {"\\\\.\\NUL", false},
        {"\\\\.\\NUL", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + (c.silent ? " -s" : ""));
        if (c.silent) {
            EXPECT_EQ(0, Run(exe, {"-s", "/log=" + c.path}, {}));
        } else {
            EXPECT_EQ(1, Run(exe, {"/log=" + c.path},
                             {{kError, not_created + c.path, IDOK}, {kConfirm, question, IDNO}}));
        }
        EXPECT_FALSE(PathExists(dir / "missing"));
        DeleteTree(Out());
    }
}

// The log switches are taken out wherever they stand, and only they: the rest of the command
// line means what it means without them.
TEST_F(InstallerE2E, LogSwitchesLeaveTheRestOfTheCommandLineAlone) {
    const std::string exe = Build(PluginSetting(), PluginFiles());
    const std::string log = dir / "given.log";
    TempLogs temp_logs;

    // Without one, no log anywhere.
    EXPECT_EQ(0, Run(exe, {"-s"}, {}));
    EXPECT_TRUE(temp_logs.Added().empty());
    // After the silent switch, to the path given.
    EXPECT_EQ(0, Run(exe, {"-s", "/log=" + log}, {}));
    EXPECT_NE(std::string::npos, ReadTextFile(log).find("サイレント -s"));
    EXPECT_TRUE(temp_logs.Added().empty());
    // Before it, without a path: named after the package in the temporary folder.
    EXPECT_EQ(0, Run(exe, {"/log", "-s"}, {}));
    const std::vector<std::string> added = temp_logs.Added();
    ASSERT_EQ(1u, added.size());
    EXPECT_NE(std::string::npos, ReadTextFile(added[0]).find("終了コード 0"));
    EXPECT_EQ("plug-in", ReadTextFile(Out() + "plugin.dll"));
    // A look-alike is no switch: as the first argument it names an archive.
    EXPECT_EQ(1, Run(exe, {"/logfile", "-s"},
                     {{kError, "ファイルのオープンに失敗しました。: /logfile", IDOK}}));
}

}  // namespace

