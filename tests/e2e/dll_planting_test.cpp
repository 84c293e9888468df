// End-to-end: the installer never loads a DLL from its own folder nor from the current folder.
// A DLL of our own (fixtures/planted_dll.cpp) is planted there as version.dll and comctl32.dll
// and writes a marker file when loaded; Wine is told to prefer such native DLLs to its own for
// those two names.
#include <gtest/gtest.h>

#include <string>

#include "support/e2e_fixture.h"
#include "utils/files.h"
#include "utils/registry.h"
#include "utils/text.h"

namespace {

const char* const kPlantedNames[] = {"version.dll", "comctl32.dll"};

// Native-first loading of the planted names for one program (by its file name), for the scope:
// Wine then takes a version.dll or comctl32.dll that its search finds before its own, as Windows
// takes whatever its search finds first. Wine reads a program's overrides from this key; the
// WINEDLLOVERRIDES variable would have to be set in the Unix environment, which a test cannot
// do for the programs it starts.
class NativeFirstForPlantedNames {
public:
    explicit NativeFirstForPlantedNames(const std::string& program)
        : key_name_("Software\\Wine\\AppDefaults\\" + program) {
        UniqueHKey key;
        RegCreateKeyExA(HKEY_CURRENT_USER, (key_name_ + "\\DllOverrides").c_str(), 0, nullptr, 0,
                        KEY_WRITE, nullptr, key.put(), nullptr);
        for (const char* name : {"version", "comctl32"}) {
            WriteRegString(key.get(), name, "native,builtin");
        }
    }
    ~NativeFirstForPlantedNames() { RegDeleteTreeA(HKEY_CURRENT_USER, key_name_.c_str()); }
    NativeFirstForPlantedNames(const NativeFirstForPlantedNames&) = delete;
    NativeFirstForPlantedNames& operator=(const NativeFirstForPlantedNames&) = delete;

private:
    std::string key_name_;
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
};

// The planting works on a program that imports the two DLLs the ordinary way: the test's DLL,
// its copies and Wine's overrides do what the installer's cases rely on.
TEST_F(DllPlanting, APlantedDllIsLoadedByAProgramThatDoesNotGuardAgainstIt) {
    const std::string folder = dir / "probe";
    Plant(folder);
    ASSERT_TRUE(CopyFileA((TestBinDir() + "dll_probe.exe").c_str(),
                          (folder + "\\dll_probe.exe").c_str(), FALSE));
    NativeFirstForPlantedNames overrides("dll_probe.exe");
    RunProgram("\"" + folder + "\\dll_probe.exe\"");
    EXPECT_EQ("version.dll comctl32.dll ", LoadedFrom(folder));
}

struct PlantingCase {
    const char* where;
    bool beside_installer;  // else in the current folder the installer starts in
};

class DllPlantingPlaces : public DllPlanting,
                          public testing::WithParamInterface<PlantingCase> {};

// A silent character installation uses both DLLs: its progress dialog needs the common controls,
// and an uninstaller already in the install folder has its version compared with the packaged
// one. It installs everything and loads neither planted copy.
TEST_P(DllPlantingPlaces, TheInstallerLoadsNoPlantedDllAndInstalls) {
    const std::string exe = Build(CharacterSetting(), CharacterFiles(), "planting-setup.exe");
    ForceFolders(Out());
    WriteTextFile(Out() + "chruinst.exe", ReadTextFile(TestBinDir() + "version_fixture.exe"));

    const std::string planted = GetParam().beside_installer ? dir.path() : dir / "current";
    Plant(planted);
    ForceFolders(dir / "current");
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

INSTANTIATE_TEST_SUITE_P(Places, DllPlantingPlaces,
                         testing::Values(PlantingCase{"beside the installer", true},
                                         PlantingCase{"in the current folder", false}),
                         [](const testing::TestParamInfo<PlantingCase>& info) {
                             return info.param.beside_installer ? std::string("InstallerFolder")
                                                                : std::string("CurrentFolder");
                         });

}  // namespace
