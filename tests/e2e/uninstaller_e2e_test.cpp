// End-to-end: the real uninstaller (chruinst.exe, packed by mkpackage into character packages
// that bring none) removing what the real installer installed: the round trip through the Wine
// prefix, a character that runs in the host, a killed installation's record, the list window.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/e2e_fixture.h"
#include "support/fake_host.h"
#include "support/held_extraction.h"
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
const int kListControl = 1001;  // IDC_UNINSTALL_LIST of src/uninstaller/resource.h

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
        WriteTextFile(host_ + "marleth.exe", "the host");
        GetProgramsFolder();  // the shell records its folders in the registry on first use
    }

    void TearDown() override {
        DeleteTree(ProgramsFolder() + "\\" + SampleGroup());
        InstallerE2E::TearDown();
    }

    PrefixState State() const {
        PrefixState state;
        Walk("C:\\", state.files);
        for (const auto& [path, content] : SnapshotTree(host_)) state.files[host_ + path] = content;
        RegistryTree(HKEY_CURRENT_USER, "Software", state.registry);
        return state;
    }

    // The sample character's start-menu group, of the test's own.
    std::string SampleGroup() const { return group_ + "こはく"; }

    // Runs the installed uninstaller silently on uinstall.ini: its exit code.
    int Uninstall(const std::string& info) {
        return Run(host_ + "chruinst.exe", {"-s", info}, {});
    }

    const std::string host_ = dir / "host\\";
    const std::string temp_ = dir / "tmp\\";

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

TEST_F(UninstallerE2E, RoundTripGivesThePrefixBackButForWhatIsKept) {
    const PrefixState initial = State();
    // A second character sharing the uninstaller, installed first.
    EXPECT_EQ(0, Run(Build(HostCharacter("二番目", "typ", group_), HostCharacterFiles("typ"),
                           "second.exe"),
                     {"-s"}, {}));
    const PrefixState before = State();

    EXPECT_EQ(0, Run(BuildSample(SampleGroup(), dir.path()), {"-s"}, {}));
    const std::string kohaku = host_ + "samplehouse\\kohaku\\";
    ASSERT_TRUE(FileExists(kohaku + "uinstall.ini"));
    WriteTextFile(kohaku + "shell\\talk.txt", "the user's own words");
    EXPECT_EQ(0, Uninstall(kohaku + "uinstall.ini"));

    // Equal but for the file the user changed (and its folders), and the host's two values.
    const std::vector<std::string> kept{"+" + host_ + "samplehouse", "+" + kohaku.substr(0, kohaku.size() - 1),
                                        "+" + kohaku + "shell", "+" + kohaku + "shell\\talk.txt"};
    const PrefixState after = State();
    EXPECT_EQ(kept, Differences(before.files, after.files));
    const std::vector<std::string> host_values{
        "~Software\\Calderex\\MarlethWare2002|Attr"};  // the sample has no Attr of its own
    EXPECT_EQ(host_values, Differences(before.registry, after.registry));

    // The second character was untouched (its files and the uninstaller are there, as compared
    // above) and is still removable; then the uninstaller, serving nothing more, removes itself.
    EXPECT_EQ(0, Uninstall(host_ + "ven\\typ\\uinstall.ini"));
    EXPECT_TRUE(WaitFor([&] { return !PathExists(host_ + "chruinst.exe"); }));
    EXPECT_TRUE(WaitFor([&] { return SnapshotTree(temp_).empty(); })) << "the copy stayed";
    const PrefixState last = State();
    EXPECT_EQ(kept, Differences(initial.files, last.files));
    EXPECT_EQ((std::vector<std::string>{"+Software\\Calderex\\MarlethWare2002|Attr",
                                        "+Software\\Calderex\\MarlethWare2002|Distributor"}),
              Differences(initial.registry, last.registry));
}

TEST_F(UninstallerE2E, ARunningCharacterIsNotRemoved) {
    EXPECT_EQ(0, Run(Build(HostCharacter("テスト", "typ", group_), HostCharacterFiles("typ")),
                     {"-s"}, {}));
    const auto installed = SnapshotTree(host_);
    const std::string info = host_ + "ven\\typ\\uinstall.ini";
    FakeHost host(1, 1);
    EXPECT_EQ(1, Run(host_ + "chruinst.exe", {info},
                     {{kError,
                       "テスト(ven-typ)は現在起動中です。\r\nキャラクターを終了してから\r\n"
                       "再度アンインストールを実行してください。",
                       IDOK}}));
    EXPECT_EQ(1, Uninstall(info));
    EXPECT_EQ((std::vector<std::string>{"1032:ven|typ", "1032:ven|typ"}), host.Seen());
    EXPECT_EQ(installed, SnapshotTree(host_));
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
    const HWND rows = Control(list, kListControl);
    EXPECT_EQ(2, SendMessageA(rows, LVM_GETITEMCOUNT, 0, 0));
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
