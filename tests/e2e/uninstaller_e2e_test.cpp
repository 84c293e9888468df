// End-to-end: the real uninstaller (chruinst.exe, packed by mkpackage into character packages
// that bring none) removing what the real installer installed: the round trip through the Wine
// prefix, a character that runs in the host, a killed installation's record, the list window.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "resource.h"
#include "support/e2e_fixture.h"
#include "support/fake_host.h"
#include "support/held_extraction.h"
#include "uninstaller/uninstaller_resource.h"
#include "utils/files.h"
#include "utils/profile.h"
#include "utils/registry.h"
#include "utils/shell.h"
#include "utils/text.h"

namespace {

const char kListTitle[] = "キャラクターアンインストール";

struct ModuleTraits {
    using Type = HMODULE;
    static Type Empty() { return nullptr; }
    static bool Close(Type module) { return FreeLibrary(module) != FALSE; }
};
using UniqueModule = UniqueAny<ModuleTraits>;

// A character package installing into the host folder, its uninstaller beside the host (as the
// samples do); it brings no uninstaller of its own, so mkpackage packs ours.
std::string HostCharacter(const std::string& name, const std::string& type,
                          const std::string& group) {
    return "[options]\r\nAppName=" + name + "\r\nInstallMode=0\r\nVendor=ven\r\nType=" + type +
           "\r\nDefaultInstallDir=($MARLETHDIR)\r\nUninstallInfoDir=($INSTALLDIR)\\ven\\" + type +
           "\r\nUninstallExeDir=($INSTALLDIR)\r\nAttr=属性\r\nshortcut_group=" + group +
           "\r\nMenuPath_0=" + type + "を起動.lnk\r\nMenuFileName_0=marleth.exe\r\n";
}

Files HostCharacterFiles(const std::string& type) {
    return {{"ven\\" + type + "\\ven-" + type + ".mrl", type},
            {"ven\\" + type + "\\shell\\surface.txt", "surface of " + type}};
}

// Wine's own scratch values, written when a program first draws a window.
const char kWineScratchKey[] = "Software\\Wine\\Temporary System Parameters";

// Every value below the key, by its path, with its type and data.
void RegistryTree(HKEY root, const std::string& path, std::map<std::string, std::string>& out) {
    if (path == kWineScratchKey) return;
    UniqueHKey key = OpenRegKey(root, path, KEY_READ);
    if (!key) return;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD name_size = sizeof name;
        DWORD type = 0;
        BYTE data[16384];
        DWORD data_size = sizeof data;
        if (RegEnumValueA(key.get(), i, name, &name_size, nullptr, &type, data, &data_size) !=
            ERROR_SUCCESS) {
            break;
        }
        out[path + "|" + name] = std::to_string(type) + ":" +
                                 std::string(reinterpret_cast<char*>(data), data_size);
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD name_size = sizeof name;
        if (RegEnumKeyExA(key.get(), i, name, &name_size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        out[path + "\\" + name] = "<key>";
        RegistryTree(root, path + "\\" + name, out);
    }
}

// The Wine prefix as far as an installation can change it: the files of drive C: but Windows'
// own folder and the temporary folder (other programs' business), the test's host folder, and
// HKEY_CURRENT_USER\Software.
struct PrefixState {
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> registry;
};

class UninstallerE2E : public InstallerE2E {
protected:
    void SetUp() override {
        InstallerE2E::SetUp();
        char temp[MAX_PATH + 1] = {};
        GetTempPathA(MAX_PATH, temp);
        system_temp_ = StripTrailingDelimiter(temp);
        // The uninstaller's copy of itself goes to the temporary folder: one of the test's own.
        ForceFolders(temp_);
        SetEnvironmentVariableA("TMP", temp_.c_str());
        ForceFolders(host_);
        ForceFolders(places_);
        WriteTextFile(host_ + "marleth.exe", "the host");
        GetProgramsFolder();  // the shell records its folders in the registry on first use
        // Windows always has the key of its list of installed programs; a new Wine prefix gets it
        // only when a program first writes there.
        CreateRegKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    }

    void TearDown() override {
        DeleteTree(ProgramsFolder() + "\\" + SampleGroup());
        InstallerE2E::TearDown();
    }

    PrefixState State() const {
        PrefixState state;
        Walk("C:\\", state.files);
        for (const std::string& folder : {host_, places_}) {
            for (const auto& [path, content] : SnapshotTree(folder)) state.files[folder + path] = content;
        }
        RegistryTree(HKEY_CURRENT_USER, "Software", state.registry);
        return state;
    }

    // The sample character's start-menu group, of the test's own.
    std::string SampleGroup() const { return group_ + "こはく"; }

    // Runs the installed uninstaller silently on uinstall.ini: its exit code.
    int Uninstall(const std::string& info) {
        return Run(host_ + "chruinst.exe", {"-s", info}, {});
    }

    // Waits until the uninstaller in folder has removed itself: its copy has ended and the
    // program file is gone.
    bool WaitForSelfRemoval(const std::string& folder) {
        return WaitFor([&] { return !PathExists(folder + "chruinst.exe") && !CopyStarted(); });
    }
    // True when an uninstaller started the copy that removes it (it is made before the program
    // ends, in the temporary folder, and goes when the copy ends).
    bool CopyStarted() const {
        for (const auto& [path, content] : SnapshotTree(temp_)) {
            if (path.compare(0, 9, "chruinst-") == 0) return true;
        }
        return false;
    }

    const std::string host_ = dir / "host\\";
    const std::string temp_ = dir / "tmp\\";
    // Install folders other than the host folder.
    const std::string places_ = dir / "places\\";

private:
    void Walk(const std::string& folder, std::map<std::string, std::string>& out) const {
        WIN32_FIND_DATAA entry;
        UniqueFindHandle search(FindFirstFileA((folder + "*").c_str(), &entry));
        if (!search) return;
        do {
            const std::string name = entry.cFileName;
            const std::string path = folder + name;
            if (name == "." || name == ".." || SameFolder(path, "C:\\windows") ||
                SameFolder(path, system_temp_)) {
                continue;
            }
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                out[path] = "<folder>";
                if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) Walk(path + "\\", out);
            } else {
                out[path] = ReadTextFile(path);
            }
        } while (FindNextFileA(search.get(), &entry));
    }
    static bool SameFolder(const std::string& a, const std::string& b) {
        return lstrcmpiA(a.c_str(), b.c_str()) == 0;
    }

    std::string system_temp_;
};

// What a state holds that the other does not, or holds otherwise: "+path", "-path", "~path".
std::vector<std::string> Differences(const std::map<std::string, std::string>& before,
                                     const std::map<std::string, std::string>& after) {
    std::vector<std::string> differences;
    for (const auto& [path, content] : after) {
        const auto found = before.find(path);
        if (found == before.end()) differences.push_back("+" + path);
        else if (found->second != content) differences.push_back("~" + path);
    }
    for (const auto& [path, content] : before) {
        if (after.count(path) == 0) differences.push_back("-" + path);
    }
    std::sort(differences.begin(), differences.end());
    return differences;
}

// The sample character of the main job, with a start-menu group of the test's own.
std::string BuildSample(const std::string& group, const std::string& folder) {
    const std::string fixture = TestBinDir() + "..\\test-data\\sample-character\\";
    std::string setting = ReadTextFile(fixture + "setting.ini");
    const size_t at = setting.find("shortcut_group=");
    setting.replace(at, setting.find('\n', at) - at, "shortcut_group=" + group + "\r");
    WriteTextFile(folder + "sample.ini", setting);
    const std::string exe = folder + "sample-setup.exe";
    EXPECT_EQ(0, RunProgram("\"" + TestBinDir() + "mkpackage.exe\" \"" + FullPath(fixture + "package") +
                            "\" \"" + folder + "sample.ini\" \"" + TestBinDir() + "setup.exe\" \"" +
                            exe + "\""));
    return exe;
}

// A character package's setting: its name, type and the options that differ from a character
// installed into the host folder with its uninstaller beside the host.
std::string Character(const std::string& name, const std::string& type, const std::string& group,
                      const std::string& options = "") {
    return "[options]\r\nAppName=" + name + "\r\nInstallMode=0\r\nVendor=ven\r\nType=" + type +
           "\r\nUninstallInfoDir=($INSTALLDIR)\\ven\\" + type + "\r\nshortcut_group=" + group +
           "\r\nMenuPath_0=" + type + "を起動.lnk\r\nMenuFileName_0=marleth.exe\r\n" + options +
           (options.find("DefaultInstallDir=") == std::string::npos ? "DefaultInstallDir=($MARLETHDIR)\r\n" : "") +
           (options.find("UninstallExeDir=") == std::string::npos ? "UninstallExeDir=($MARLETHDIR)\r\n" : "");
}

Files CharacterFilesOf(const std::string& type, Files more = {}) {
    more["ven\\" + type + "\\ven-" + type + ".mrl"] = type;
    more["ven\\" + type + "\\shell\\surface.txt"] = "surface of " + type;
    return more;
}

// Many members, so that a run can be held and stopped in the middle.
Files ManyFiles(Files files) {
    for (int i = 0; i < 1500; ++i) files["many\\f" + IntToText(i) + ".txt"] = std::string(100, 'x');
    return files;
}

// The host's two values stay by design once a character wrote them.
std::vector<std::string> WithoutHostValues(std::vector<std::string> differences) {
    differences.erase(std::remove_if(differences.begin(), differences.end(),
                                     [](const std::string& d) {
                                         return d.find("Calderex\\MarlethWare2002|") != std::string::npos;
                                     }),
                      differences.end());
    return differences;
}

// Every installation can be undone, however it was made and whatever happened to it: each row
// installs, then removes what it installed, and the prefix (files of drive C:, the test's host
// and install folders, HKEY_CURRENT_USER\Software) is as it was but for what is kept on purpose.
TEST_F(UninstallerE2E, EveryInstallationCanBeUndone) {
    struct Row {
        const char* what;
        // Builds the packages and makes what must exist beforehand.
        std::function<void()> prepare;
        // Installs and removes; adds to kept what stays on purpose (as Differences names it).
        std::function<void(std::vector<std::string>& kept)> round_trip;
    };
    const std::string chosen = places_ + ChosenFolderName() + "\\";
    const std::string distant = places_ + "遠く\\";
    const std::string arch = places_ + "arch\\";
    const std::string elsewhere = places_ + "elsewhere\\";
    std::string exe, exe2;
    const auto uninstall_with = [&](const std::string& program, const std::string& info) {
        return Run(program, {"-s", info}, {});
    };
    const auto stop = [&](const std::string& package, bool kill) {
        HeldExtraction hold("many\\f0.txt");
        DrivenProcess installer(package, {"-s"});
        ASSERT_TRUE(hold.WaitUntilHeld(installer.handle())) << installer.Describe();
        if (kill) {
            ASSERT_TRUE(TerminateProcess(installer.handle(), 99));
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(installer.handle(), 60000));
            return;
        }
        const FoundWindow main = installer.WaitForWindow("TCharacterInstaller", "キャラクター");
        ASSERT_NE(nullptr, main.window);
        PostMessageA(main.window, WM_CLOSE, 0, 0);  // as "end task" and logging off do
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(main.window); })) << installer.Describe();
        hold.Release();
        std::string mismatch;
        EXPECT_EQ(1, AnswerBoxesAndWait(installer,
                                        {{kConfirm, "インストールは中止されました。", IDOK},
                                         {kError, "インストールは失敗しました。", IDOK}},
                                        mismatch));
        EXPECT_EQ("", mismatch);
    };
    const Row rows[] = {
        {"the default folder, a file the user changed",
         [&] { exe = BuildSample(SampleGroup(), dir.path()); },
         [&](std::vector<std::string>& kept) {
             EXPECT_EQ(0, Run(exe, {"-s"}, {}));
             const std::string kohaku = host_ + "samplehouse\\kohaku\\";
             WriteTextFile(kohaku + "shell\\talk.txt", "the user's own words");
             EXPECT_EQ(0, Uninstall(kohaku + "uinstall.ini"));
             kept = {"+" + host_ + "samplehouse", "+" + host_ + "samplehouse\\kohaku",
                     "+" + kohaku + "shell", "+" + kohaku + "shell\\talk.txt"};
         }},
        {"a folder chosen on the folder page, removed from the uninstall shortcut",
         [&] {
             exe = Build(Character("選ぶ", "cho", group_, "Dialogs=FOLDERSELECT\r\n"),
                         CharacterFilesOf("cho"), "chosen.exe");
             ForceFolders(chosen);
         },
         [&](std::vector<std::string>&) {
             DrivenProcess installer(exe, {});
             const FoundWindow question = installer.WaitForBox(kConfirm);
             EXPECT_EQ("キャラクター\"選ぶ\"をインストールします。\r\nよろしいですか？", question.text);
             DrivenProcess::Press(question, IDYES);
             const FoundWindow page = installer.WaitForWindow("#32770", "インストールフォルダの設定");
             ASSERT_NE(nullptr, page.window) << installer.Describe();
             SetControlText(Control(page, IDC_FOLDER_PATH), StripTrailingDelimiter(chosen));
             Click(Control(page, IDC_FOLDER_OK));
             std::string mismatch;
             EXPECT_EQ(0, AnswerBoxesAndWait(installer,
                                             {{kConfirm, "\"選ぶ\"のインストールは正常に終了しました。\r\n起動しますか？", IDNO}},
                                             mismatch));
             EXPECT_EQ("", mismatch);
             ASSERT_TRUE(FileExists(chosen + "ven\\cho\\uinstall.ini"));
             // The shortcut starts the uninstaller without a path: it finds the character.
             EXPECT_EQ(0, Run(host_ + "chruinst.exe", {},
                              {{kConfirm, "\"選ぶ\"を削除します。\r\nよろしいですか？", IDYES},
                               {kConfirm, "\"選ぶ\"を削除しました。", IDOK}}));
         }},
        {"archive mode",
         [&] {
             exe = Build(Character("書庫", "arc", group_, "UninstallExeDir=($INSTALLDIR)\r\n"),
                         CharacterFilesOf("arc"), "archive.zip", "--zip");
             ForceFolders(arch);
             CopyFileA((TestBinDir() + "setup.exe").c_str(), (arch + "setup.exe").c_str(), FALSE);
         },
         [&](std::vector<std::string>& kept) {
             EXPECT_EQ(0, Run(arch + "setup.exe", {exe},
                              {{kConfirm, "\"書庫\"のインストールは正常に終了しました。\r\n起動しますか？", IDNO}}));
             EXPECT_EQ(0, uninstall_with(arch + "chruinst.exe", arch + "ven\\arc\\uinstall.ini"));
             EXPECT_TRUE(WaitForSelfRemoval(arch));
             kept = {"+" + arch + "MarlethArchives", "+" + arch + "MarlethArchives\\archive.zip"};
         }},
        {"two characters sharing the uninstaller, one outside the host folder",
         [&] {
             exe = Build(Character("一つ目", "one", group_), CharacterFilesOf("one"), "one.exe");
             exe2 = Build(Character("遠い", "far", group_, "DefaultInstallDir=" + distant + "\r\n"),
                          CharacterFilesOf("far"), "far.exe");
         },
         [&](std::vector<std::string>& kept) {
             EXPECT_EQ(0, Run(exe, {"-s"}, {}));
             EXPECT_EQ(0, Run(exe2, {"-s"}, {}));
             EXPECT_EQ(0, Uninstall(host_ + "ven\\one\\uinstall.ini"));
             // It still serves the other one: it stays, and so does the group's shortcut.
             EXPECT_FALSE(CopyStarted());
             EXPECT_TRUE(FileExists(host_ + "chruinst.exe"));
             EXPECT_TRUE(FileExists(ProgramsFolder() + "\\" + group_ + "\\キャラクターアンインストール.lnk"));
             EXPECT_EQ(0, Uninstall(distant + "ven\\far\\uinstall.ini"));
             kept = {"+" + StripTrailingDelimiter(distant)};  // the install folder itself stays
         }},
        {"an upgrade that drops files",
         [&] {
             exe = Build(Character("上げる", "upg", group_),
                         CharacterFilesOf("upg", {{"ven\\upg\\old.txt", "only in 1"}, {"both.txt", "1"}}),
                         "v1.exe");
             exe2 = Build(Character("上げる", "upg", group_),
                          CharacterFilesOf("upg", {{"both.txt", "version 2"}}), "v2.exe");
         },
         [&](std::vector<std::string>&) {
             EXPECT_EQ(0, Run(exe, {"-s"}, {}));
             EXPECT_EQ(0, Run(exe2, {"-s"}, {}));
             EXPECT_EQ(0, Uninstall(host_ + "ven\\upg\\uinstall.ini"));
         }},
        {"two characters installing one file in different versions",
         [&] {
             exe = Build(Character("甲", "ka", group_), CharacterFilesOf("ka", {{"common\\shared.txt", "ka's"}}),
                         "ka.exe");
             exe2 = Build(Character("乙", "ot", group_), CharacterFilesOf("ot", {{"common\\shared.txt", "ot's"}}),
                          "ot.exe");
         },
         [&](std::vector<std::string>&) {
             EXPECT_EQ(0, Run(exe, {"-s"}, {}));
             EXPECT_EQ(0, Run(exe2, {"-s"}, {}));
             EXPECT_EQ(0, Uninstall(host_ + "ven\\ot\\uinstall.ini"));
             EXPECT_TRUE(FileExists(host_ + "common\\shared.txt"));  // the first lists it
             EXPECT_EQ(0, Uninstall(host_ + "ven\\ka\\uinstall.ini"));
         }},
        {"a first installation stopped politely, then removed",
         [&] { exe = Build(Character("止める", "sto", group_), ManyFiles(CharacterFilesOf("sto")), "stop.exe"); },
         [&](std::vector<std::string>&) {
             stop(exe, false);
             const std::string record = FindRunRecord(host_);
             ASSERT_NE("", record);
             EXPECT_EQ(0, uninstall_with(TestBinDir() + "chruinst.exe", record));
         }},
        {"a killed first installation, then removed",
         [&] { exe = Build(Character("殺す", "kil", group_), ManyFiles(CharacterFilesOf("kil")), "kill.exe"); },
         [&](std::vector<std::string>&) {
             stop(exe, true);
             const std::string record = FindRunRecord(host_);
             ASSERT_NE("", record);
             EXPECT_EQ(0, uninstall_with(TestBinDir() + "chruinst.exe", record));
         }},
        {"a killed upgrade, then removed",
         [&] {
             exe = Build(Character("途中", "mid", group_), CharacterFilesOf("mid", {{"a.txt", "1"}}), "mid1.exe");
             exe2 = Build(Character("途中", "mid", group_),
                          ManyFiles(CharacterFilesOf("mid", {{"a.txt", "version 2"}})), "mid2.exe");
         },
         [&](std::vector<std::string>&) {
             EXPECT_EQ(0, Run(exe, {"-s"}, {}));
             stop(exe2, true);
             EXPECT_EQ("version 2", ReadTextFile(host_ + "a.txt"));  // written before the hold
             EXPECT_EQ(0, Uninstall(host_ + "ven\\mid\\uinstall.ini"));
         }},
        {"an older uinstall.ini, its folder confirmed by its character file",
         [] {},
         [&](std::vector<std::string>&) {
             const std::string folder = host_ + "ven\\old\\";
             ForceFolders(folder);
             WriteTextFile(folder + "ven-old.mrl", "old");
             WriteTextFile(folder + "data.txt", "old data");
             CopyFileA((TestBinDir() + "chruinst.exe").c_str(), (host_ + "chruinst.exe").c_str(), FALSE);
             WriteTextFile(folder + "uinstall.ini",
                           "[options]\r\nAppName=古い\r\nVendor=ven\r\nType=old\r\n"
                           "UninstallInfoDir=($INSTALLDIR)\\ven\\old\r\nUninstallExeDir=($INSTALLDIR)\r\n"
                           "shortcut_group=" + group_ + "\r\n[INSTALLEDFILE]\r\nitem0=ven\\old\\ven-old.mrl\r\n"
                           "item1=ven\\old\\data.txt\r\n");
             EXPECT_EQ(0, Uninstall(folder + "uinstall.ini"));
         }},
        {"an older uinstall.ini whose folder nothing confirms: refused and kept",
         [] {},
         [&](std::vector<std::string>& kept) {
             ForceFolders(elsewhere);
             ForceFolders(chosen);
             WriteTextFile(chosen + "ven-new.mrl", "new");
             WriteTextFile(elsewhere + "uinstall.ini",
                           "[options]\r\nAppName=新しい\r\nVendor=ven\r\nType=new\r\n"
                           "UninstallInfoDir=($MARLETHDIR)\\x\r\nDefaultInstallDir=($MARLETHDIR)\r\n"
                           "[INSTALLEDFILE]\r\nitem0=ven-new.mrl\r\n");
             EXPECT_EQ(1, Run(TestBinDir() + "chruinst.exe", {elsewhere + "uinstall.ini"},
                              {{kError, "\"新しい\"のインストール先を確認できないため、\r\n何も削除しませんでした。\r\n" +
                                            StripTrailingDelimiter(host_), IDOK}}));
             kept = {"+" + StripTrailingDelimiter(elsewhere), "+" + elsewhere + "uinstall.ini",
                     "+" + StripTrailingDelimiter(chosen), "+" + chosen + "ven-new.mrl"};
         }},
        {"an empty start-menu group",
         [&] {
             exe = Build(Character("空", "emp", ""), CharacterFilesOf("emp"), "empty.exe");
             // The names it gives the shortcuts in Programs itself: what an earlier run of the
             // test that failed may have left there is not the prefix's own.
             for (const char* name : {"\\empを起動.lnk", "\\キャラクターアンインストール.lnk"}) {
                 DeleteFileA((ProgramsFolder() + name).c_str());
             }
         },
         [&](std::vector<std::string>&) {
             EXPECT_EQ(0, Run(exe, {"-s"}, {}));
             EXPECT_TRUE(FileExists(ProgramsFolder() + "\\empを起動.lnk"));
             EXPECT_EQ(0, Uninstall(host_ + "ven\\emp\\uinstall.ini"));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.prepare();
        const PrefixState before = State();
        std::vector<std::string> kept;
        row.round_trip(kept);
        EXPECT_TRUE(WaitForSelfRemoval(host_));
        const PrefixState after = State();
        std::sort(kept.begin(), kept.end());
        EXPECT_EQ(kept, Differences(before.files, after.files));
        EXPECT_EQ(std::vector<std::string>(), WithoutHostValues(Differences(before.registry, after.registry)));
        for (const std::string& folder : {chosen, distant, arch, elsewhere}) DeleteTree(folder);
    }
}

// A character the host runs is not removed, and neither is one of a host that does not answer
// (it may hold the character): the uninstaller waits for it a bounded time, even when silent.
TEST_F(UninstallerE2E, ARunningCharacterIsNotRemoved) {
    EXPECT_EQ(0, Run(Build(HostCharacter("テスト", "typ", group_), HostCharacterFiles("typ")),
                     {"-s"}, {}));
    const auto installed = SnapshotTree(host_);
    const std::string info = host_ + "ven\\typ\\uinstall.ini";
    for (const bool hangs : {false, true}) {
        SCOPED_TRACE(hangs ? "a host that hangs" : "a host that answers");
        FakeHost host(1, 1, hangs);
        EXPECT_EQ(1, Run(host_ + "chruinst.exe", {info},
                         {{kError,
                           "テスト(ven-typ)は現在起動中です。\r\nキャラクターを終了してから\r\n"
                           "再度アンインストールを実行してください。",
                           IDOK}}));
        EXPECT_EQ(1, Uninstall(info));
        EXPECT_EQ(installed, SnapshotTree(host_));
        if (!hangs) {
            EXPECT_EQ((std::vector<std::string>{"1032:ven|typ", "1032:ven|typ"}), host.Seen());
        }
    }
}

// For administrators: /? shows the switches (exit 0, nothing removed); /log writes what a silent
// removal did.
TEST_F(UninstallerE2E, SwitchesBoxAndLog) {
    EXPECT_EQ(0, Run(Build(HostCharacter("テスト", "typ", group_), HostCharacterFiles("typ")),
                     {"-s"}, {}));
    const std::string info = host_ + "ven\\typ\\uinstall.ini";
    EXPECT_EQ(0, Run(host_ + "chruinst.exe", {"/?"},
                     {{kConfirm,
                       "（なし）: 探したキャラクターから選んで削除\r\n"
                       "パス: その uinstall.ini のインストールを削除\r\n"
                       "-s パス: 表示せずに削除\r\n"
                       "/log[=ファイル]: 実行の記録を書く\r\n"
                       "終了コード 0 成功、1 失敗",
                       IDOK}}));
    ASSERT_TRUE(FileExists(info));
    const std::string log = dir / "uninstall.log";
    EXPECT_EQ(0, Run(host_ + "chruinst.exe", {"-s", info, "/log=" + log}, {}));
    EXPECT_FALSE(FileExists(info));
    const std::string text = ReadTextFile(log);
    for (const std::string& line : std::vector<std::string>{
             "開始 ", "コマンドライン ", "削除 テスト " + host_, " 完了 残したファイル 0",
             "終了コード 0"}) {
        EXPECT_NE(std::string::npos, text.find(line)) << line << "\n" << text;
    }
}

TEST_F(UninstallerE2E, AKilledInstallationsRecordIsRemovedWithTheFilesItLists) {
    Files files;
    for (int i = 0; i < 3000; ++i) files["many\\f" + IntToText(i) + ".txt"] = std::string(100, 'x');
    const std::string exe = Build(PluginSetting(), files);
    {
        // Killed while held at a member far enough into the run for batches of its list to be
        // on disk, however fast the run (archive order: f0, the 1,111 names with f1, then f2).
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
    const std::vector<std::string> listed = RecordedFiles(record);
    ASSERT_FALSE(listed.empty());

    EXPECT_EQ(0, Run(TestBinDir() + "chruinst.exe", {"-s", record}, {}));
    for (const std::string& item : listed) EXPECT_FALSE(PathExists(Out() + item)) << item;
    EXPECT_FALSE(PathExists(record));
    EXPECT_TRUE(FileExists(TestBinDir() + "chruinst.exe"));  // it serves no installation there
}

TEST_F(UninstallerE2E, TheListWindowRemovesTheChosenInstallation) {
    for (const auto& [name, type] : {std::pair<std::string, std::string>{"一番目", "one"},
                                     {"二番目", "two"}}) {
        EXPECT_EQ(0, Run(Build(HostCharacter(name, type, group_), HostCharacterFiles(type),
                               type + ".exe"),
                         {"-s"}, {}));
    }
    const std::string shortcut = ProgramsFolder() + "\\" + group_ + "\\キャラクターアンインストール.lnk";
    DrivenProcess uninstaller(host_ + "chruinst.exe", {});
    const FoundWindow list = uninstaller.WaitForWindow("#32770", kListTitle);
    ASSERT_NE(nullptr, list.window) << uninstaller.Describe();
    const HWND rows = Control(list, IDC_UNINSTALL_LIST);
    EXPECT_EQ(2, SendMessageA(rows, LVM_GETITEMCOUNT, 0, 0));
    // The names take at most half the list, so that the folders start in sight; made larger, the
    // window takes the list with it, and it never gets smaller than it opened.
    const auto width = [](HWND window) {
        RECT rect{};
        GetWindowRect(window, &rect);
        return rect.right - rect.left;
    };
    const auto client_width = [](HWND window) {
        RECT rect{};
        GetClientRect(window, &rect);
        return rect.right;
    };
    EXPECT_LE(SendMessageA(rows, LVM_GETCOLUMNWIDTH, 0, 0), client_width(rows) / 2);
    const int opened = width(list.window);
    const int list_opened = width(rows);
    RECT frame{};
    GetWindowRect(list.window, &frame);
    SetWindowPos(list.window, nullptr, 0, 0, opened + 200, frame.bottom - frame.top + 100,
                 SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(WaitFor([&] { return width(rows) == list_opened + 200; })) << width(rows);
    SetWindowPos(list.window, nullptr, 0, 0, opened / 2, 50, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(WaitFor([&] { return width(list.window) == opened; })) << width(list.window);
    DrivenProcess::Press(list, IDOK);  // the first, chosen as the window opens
    const auto answer = [&](const std::string& text, int button) {
        const FoundWindow box = uninstaller.WaitForBox(kConfirm);
        EXPECT_EQ(text, box.text);
        DrivenProcess::Press(box, button);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }));
    };
    answer("\"一番目\"を削除します。\r\nよろしいですか？", IDYES);
    answer("\"一番目\"を削除しました。", IDOK);
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(rows, LVM_GETITEMCOUNT, 0, 0) == 1; }));
    DrivenProcess::Press(list, IDCANCEL);
    EXPECT_EQ(0, uninstaller.WaitForExit());

    EXPECT_FALSE(PathExists(host_ + "ven\\one"));
    EXPECT_TRUE(FileExists(host_ + "ven\\two\\uinstall.ini"));
    EXPECT_TRUE(FileExists(shortcut));  // the group's uninstall shortcut serves the second
    EXPECT_TRUE(FileExists(host_ + "chruinst.exe"));
}

// The copy the uninstaller starts to remove its own file deletes the original only once the
// original's process has ended, and only when it is byte for byte the copy itself.
TEST_F(UninstallerE2E, ItsCopyDeletesOnlyItsOwnOriginal) {
    const std::string program = ReadTextFile(TestBinDir() + "chruinst.exe");
    struct Row {
        const char* what;
        std::string original;
        DWORD exit_code;
    };
    const Row rows[] = {
        {"the program itself", program, 0},
        {"another file", program + "x", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteTextFile(dir / "copy.exe", program);
        WriteTextFile(dir / "original.exe", row.original);
        // An ended process stands for the original's.
        DrivenProcess ended(TestBinDir() + "chruinst.exe", {"-s"});
        ASSERT_EQ(1, ended.WaitForExit());
        HANDLE inherited = nullptr;
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), ended.handle(), GetCurrentProcess(),
                                    &inherited, SYNCHRONIZE, TRUE, 0));
        UniqueHandle process_handle(inherited);
        std::string command = "\"" + dir / "copy.exe" + "\" --remove-original " +
                              std::to_string(reinterpret_cast<uintptr_t>(inherited)) + " \"" +
                              dir / "original.exe" + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                   nullptr, &startup, &started));
        UniqueHandle copy(started.hProcess);
        UniqueHandle thread(started.hThread);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(copy.get(), 30000));
        DWORD exit_code = 0;
        GetExitCodeProcess(copy.get(), &exit_code);
        EXPECT_EQ(row.exit_code, exit_code);
        EXPECT_EQ(row.exit_code != 0, PathExists(dir / "original.exe"));
    }
}

TEST_F(UninstallerE2E, ItsIconLoadsAtBothSizes) {
    UniqueModule program(LoadLibraryExA((TestBinDir() + "chruinst.exe").c_str(), nullptr,
                                        LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(program);
    for (int size : {16, 32}) {
        SCOPED_TRACE(size);
        const UniqueIcon icon(static_cast<HICON>(
            LoadImageA(program.get(), MAKEINTRESOURCEA(1), IMAGE_ICON, size, size, 0)));
        ASSERT_TRUE(icon);
        IconBitmaps bitmaps;
        EXPECT_TRUE(ReadIconBitmaps(icon.get(), bitmaps));
        BITMAP bitmap{};
        GetObjectA(bitmaps.color.get(), sizeof bitmap, &bitmap);
        EXPECT_EQ(size, bitmap.bmWidth);
    }
}

}  // namespace
