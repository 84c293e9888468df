// The end-to-end fixture: package building, host key, runs answered box by box.
#include "support/e2e_fixture.h"

#include "utils/files.h"
#include "utils/profile.h"
#include "utils/registry.h"
#include "utils/shell.h"
#include "utils/text.h"

const char kHostKey[] = "Software\\Calderex\\MarlethWare2002";
const char kError[] = "エラー";
const char kConfirm[] = "確認";

Files PluginFiles() {
    return {{"plugin.dll", "plug-in"}, {"data\\表.txt", "日本語"}, {"data\\sub\\a.txt", "a"}};
}

std::string FindRunRecord(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    UniqueFindHandle search(FindFirstFileA((folder + "_$$$installing$$$_*.ini").c_str(), &entry));
    return search ? folder + entry.cFileName : "";
}

std::vector<std::string> RecordedFiles(const std::string& record) {
    SelectProfile(record, "INSTALLEDFILE");
    std::vector<std::string> items;
    for (int i = 0;; ++i) {
        const std::string item = ReadProfileString("item" + IntToText(i), "");
        if (item.empty()) return items;
        items.push_back(item);
    }
}

void InstallerE2E::SetUp() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kHostKey);
    UniqueHKey key;
    RegCreateKeyExA(HKEY_CURRENT_USER, kHostKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                    nullptr);
    WriteRegString(key.get(), "InstallPath", dir / "host\\");
    SetEnvironmentVariableA("RECORD_FILE", (dir / "record.txt").c_str());
    group_ = "テストグループ" + IntToText(static_cast<int32_t>(GetTickCount()));
}

void InstallerE2E::TearDown() {
    DeleteTree(ProgramsFolder() + "\\" + group_);
}

std::string InstallerE2E::ProgramsFolder() {
    return GetProgramsFolder();
}

std::string InstallerE2E::PluginSetting(const std::string& extra) const {
    return "[options]\r\nAppName=テスト\r\nInstallMode=1\r\nDefaultInstallDir=" + Out() + "\r\n" +
           extra;
}

std::string InstallerE2E::CharacterSetting(const std::string& extra,
                                           const std::string& after_options) const {
    return "[options]\r\nAppName=テスト\r\nInstallMode=0\r\nVendor=ven\r\nType=typ\r\n"
           "DefaultInstallDir=" + Out() + "\r\nUninstallInfoDir=($INSTALLDIR)\\ven\\typ\r\n"
           "UninstallExeDir=($INSTALLDIR)\r\nAttr=属性\r\nshortcut_group=" + group_ + "\r\n"
           "MenuPath_0=起動.lnk\r\nMenuFileName_0=marleth.exe\r\nMenuArgs_0=ven-typ\r\n" +
           extra + after_options + "[preextractlist]\r\nitem0=$preextractdir$\\chruinst.ex_\r\n";
}

Files InstallerE2E::CharacterFiles() {
    return {{"ven\\typ\\ven-typ.mrl", "character"},
            {"ven\\typ\\shell\\surface.txt", "surface"},
            {"$preextractdir$\\chruinst.ex_", ReadTextFile(TestBinDir() + "version_fixture.exe")}};
}

std::string InstallerE2E::Build(const std::string& setting, const Files& files,
                                const std::string& name, const std::string& mode) {
    const std::string source = dir / ("src_" + name + "\\");
    for (const auto& [path, content] : files) {
        ForceFolders(FolderOf(source + path));
        WriteTextFile(source + path, content);
    }
    ForceFolders(source);
    WriteTextFile(dir / (name + ".ini"), setting);
    const std::string tool = "\"" + TestBinDir() + "mkpackage.exe\" " + mode;
    const bool plain_archive = mode.find("--zip") != std::string::npos;
    const std::string installer = plain_archive ? "" : "\"" + TestBinDir() + "setup.exe\" ";
    // No trailing backslash before a closing quote: it would escape the quote.
    const int code = RunProgram(tool + " \"" + StripTrailingDelimiter(source) + "\" \"" +
                                dir / (name + ".ini") + "\" " + installer + "\"" + dir / name + "\"");
    EXPECT_EQ(0, code) << "mkpackage failed for " << name;
    return dir / name;
}

int InstallerE2E::Run(const std::string& exe, const std::vector<std::string>& arguments,
                      const std::vector<ExpectedBox>& boxes) {
    DrivenProcess process(exe, arguments);
    EXPECT_TRUE(process.started());
    std::string mismatch;
    const int code = AnswerBoxesAndWait(process, boxes, mismatch);
    EXPECT_EQ("", mismatch);
    return code;
}

void InstallerE2E::ExpectCharacterInstalled(const std::string& folder) {
    const std::string info = folder + "ven\\typ\\uinstall.ini";
    ASSERT_TRUE(FileExists(info));
    SelectProfile(info, "options");
    EXPECT_EQ("テスト", ReadProfileString("AppName", ""));
    EXPECT_TRUE(FileExists(folder + "chruinst.exe"));
    const std::string group = ProgramsFolder() + "\\" + group_ + "\\";
    EXPECT_TRUE(FileExists(group + "キャラクターアンインストール.lnk"));
    EXPECT_TRUE(FileExists(group + "起動.lnk"));
    UniqueHKey key = OpenRegKey(HKEY_CURRENT_USER, kHostKey, KEY_READ);
    EXPECT_EQ("calderex", ReadRegString(key.get(), "Distributor", ""));
    EXPECT_EQ("属性", ReadRegString(key.get(), "Attr", ""));
}
