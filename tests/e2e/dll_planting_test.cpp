// End-to-end: the installer never loads a DLL from its own folder nor from the current folder.
// A DLL of our own (fixtures/planted_dll.cpp) is planted there under the name of every DLL the
// installer loads and writes a marker file when loaded; Wine is told to prefer such native DLLs to
// its own for those names. The runs use every one of those DLLs.
#include <gtest/gtest.h>

#include <string>

#include "resource.h"
#include "support/e2e_fixture.h"
#include "support/http_server.h"
#include "support/saved_registry_key.h"
#include "utils/files.h"
#include "utils/registry.h"
#include "utils/text.h"

namespace {

// Every DLL the installer loads by name (cmake/delay_load.cmake: those it calls into).
const char* const kPlantedNames[] = {"user32.dll", "gdi32.dll",   "advapi32.dll", "comctl32.dll",
                                     "ole32.dll",  "shell32.dll", "version.dll",  "wininet.dll"};

// Native-first loading of the planted names for one program (by its file name), for the scope:
// Wine then takes a DLL of such a name that its search finds before its own, as Windows takes
// whatever its search finds first. Wine reads a program's overrides from this key; the
// WINEDLLOVERRIDES variable would have to be set in the Unix environment, which a test cannot
// do for the programs it starts.
class NativeFirstForPlantedNames {
public:
    explicit NativeFirstForPlantedNames(const std::string& program)
        : key_name_("Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides"),
          saved_(HKEY_CURRENT_USER, key_name_) {
        UniqueHKey key;
        RegCreateKeyExA(HKEY_CURRENT_USER, key_name_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        key.put(), nullptr);
        for (const char* name : kPlantedNames) {
            const std::string file = name;
            WriteRegString(key.get(), file.substr(0, file.size() - 4), "native,builtin");
        }
    }

private:
    std::string key_name_;
    SavedRegistryKey saved_;  // the program's overrides as they were, put back when it ends
};

class DllPlanting : public InstallerE2E {
protected:
    // Copies the planted DLL into folder under each planted name.
    void Plant(const std::string& folder) {
        ForceFolders(folder);
        for (const char* name : kPlantedNames) {
            ASSERT_TRUE(CopyFileA((TestBinDir() + "planted_dll.dll").c_str(),
                                  (AddBackslash(folder) + name).c_str(), FALSE))
                << folder << name;
        }
    }
    // The planted DLLs in folder that something loaded.
    static std::string LoadedFrom(const std::string& folder) {
        std::string loaded;
        for (const char* name : kPlantedNames) {
            if (FileExists(AddBackslash(folder) + name + ".loaded")) loaded += std::string(name) + " ";
        }
        return loaded;
    }
    static std::string AllNames() {
        std::string all;
        for (const char* name : kPlantedNames) all += std::string(name) + " ";
        return all;
    }
};

// The planting works for every name on a program that does not guard against it: the test's
// DLL, its copies and Wine's overrides do what the installer's cases rely on.
TEST_F(DllPlanting, APlantedDllIsLoadedByAProgramThatDoesNotGuardAgainstIt) {
    const std::string folder = dir / "probe";
    Plant(folder);
    ASSERT_TRUE(CopyFileA((TestBinDir() + "dll_probe.exe").c_str(),
                          (folder + "\\dll_probe.exe").c_str(), FALSE));
    NativeFirstForPlantedNames overrides("dll_probe.exe");
    std::string command = "\"" + folder + "\\dll_probe.exe\"";
    for (const char* name : kPlantedNames) command += std::string(" ") + name;
    RunProgram(command);
    EXPECT_EQ(AllNames(), LoadedFrom(folder));
}

struct PlantingCase {
    const char* where;
    bool beside_installer;  // else in the current folder the installer starts in
};

class DllPlantingPlaces : public DllPlanting,
                          public testing::WithParamInterface<PlantingCase> {
protected:
    // Plants the DLLs where the case says, makes dir\current the current folder and prefers
    // native DLLs for the installer exe; returns the folder planted in.
    std::string PlantForInstaller() {
        const std::string planted = GetParam().beside_installer ? dir.path() : dir / "current";
        Plant(planted);
        ForceFolders(dir / "current");
        return planted;
    }
};

// A silent character installation uses user32, gdi32, advapi32 (the registry), comctl32 (the
// progress dialog), ole32 and shell32 (the shortcuts), and version (the download list's install
// condition reads the version of a file in the host folder). It installs everything and loads
// no planted copy.
TEST_P(DllPlantingPlaces, ASilentInstallationLoadsNoPlantedDll) {
    ForceFolders(dir / "host");
    WriteTextFile(dir / "host\\marleth.exe", ReadTextFile(TestBinDir() + "version_fixture.exe"));
    const std::string exe = Build(
        CharacterSetting("Dialogs=SELINSTALLMODULE\r\n",
                         "[SELINSTALLMODULE]\r\nDLViewName_0=本体\r\nDLInstallCheck_0=marleth.exe@1.0\r\n"
                         "DLDownloadFile_0=http://127.0.0.1:9/marleth.exe\r\nDLSize_0=1\r\n"),
        CharacterFiles(), "planting-setup.exe");
    const std::string planted = PlantForInstaller();
    ScopedCurrentFolder current(dir / "current");
    NativeFirstForPlantedNames overrides("planting-setup.exe");

    EXPECT_EQ(0, Run(exe, {"-s"}, {}));
    EXPECT_EQ("", LoadedFrom(planted)) << "planted " << GetParam().where;
    ExpectCharacterInstalled(Out());
}

// The uninstaller runs from the install folder, where others may have put files: asked about a
// character and showing its progress (the common controls), it loads no planted copy either.
TEST_F(DllPlanting, TheUninstallerLoadsNoPlantedDll) {
    // Without an uninstaller item, mkpackage packs ours.
    std::string setting = CharacterSetting();
    setting.erase(setting.find("[preextractlist]"));
    Files files = CharacterFiles();
    files.erase("$preextractdir$\\chruinst.ex_");
    EXPECT_EQ(0, Run(Build(setting, files), {"-s"}, {}));
    ASSERT_TRUE(FileExists(Out() + "chruinst.exe"));
    Plant(Out());
    NativeFirstForPlantedNames overrides("chruinst.exe");

    EXPECT_EQ(0, Run(Out() + "chruinst.exe", {Out() + "ven\\typ\\uinstall.ini"},
                     {{kConfirm, "\"テスト\"を削除します。\r\nよろしいですか？", IDYES},
                      {kConfirm, "\"テスト\"を削除しました。", IDOK}}));
    EXPECT_EQ("", LoadedFrom(Out()));
    EXPECT_FALSE(PathExists(Out() + "ven\\typ\\ven-typ.mrl"));
}

// Fetching a program uses wininet: a download that the server does not have, from the
// module-selection page, loads no planted copy either.
TEST_P(DllPlantingPlaces, ADownloadLoadsNoPlantedDll) {
    TestHttpServer server;
    ASSERT_TRUE(server.listening());
    const std::string exe = Build(
        PluginSetting("Dialogs=SELINSTALLMODULE\r\n[SELINSTALLMODULE]\r\nDLViewName_0=本体\r\n"
                      "DLInstallCheck_0=missing.exe\r\nDLDownloadFile_0=" +
                      server.Url("/gone.exe") + "\r\nDLSize_0=1024\r\n"),
        PluginFiles(), "planting-setup.exe");
    const std::string planted = PlantForInstaller();
    ScopedCurrentFolder current(dir / "current");
    NativeFirstForPlantedNames overrides("planting-setup.exe");

    DrivenProcess installer(exe, {});
    const FoundWindow question = installer.WaitForBox(kConfirm);
    ASSERT_NE(nullptr, question.window) << installer.Describe();
    DrivenProcess::Press(question, IDYES);
    const FoundWindow page = installer.WaitForWindow("#32770", "インストールプログラムの選択");
    ASSERT_NE(nullptr, page.window) << installer.Describe();
    Click(Control(page, IDC_MODULE_NEXT));
    // The server has no such file: its question is declined and the run ends.
    const FoundWindow failure = installer.WaitForBox(kConfirm);
    ASSERT_NE(nullptr, failure.window) << installer.Describe();
    EXPECT_NE(std::string::npos, failure.text.find("(エラーコード=-404)")) << failure.text;
    DrivenProcess::Press(failure, IDNO);
    EXPECT_EQ(1, installer.WaitForExit());
    EXPECT_EQ(1, server.Requests("/gone.exe"));
    EXPECT_EQ("", LoadedFrom(planted)) << "planted " << GetParam().where;
}

INSTANTIATE_TEST_SUITE_P(Places, DllPlantingPlaces,
                         testing::Values(PlantingCase{"beside the installer", true},
                                         PlantingCase{"in the current folder", false}),
                         [](const testing::TestParamInfo<PlantingCase>& info) {
                             return info.param.beside_installer ? std::string("InstallerFolder")
                                                                : std::string("CurrentFolder");
                         });

}  // namespace
