// mkpackage --init run as a program: each kind's starting package builds as it is and installs
// silently with the real setup.exe, checked on disk; a folder that holds anything is refused.
#include <gtest/gtest.h>

#include "archive/zarchive.h"
#include "host/folder_macros.h"
#include "package/package_format.h"
#include "support/e2e_fixture.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/profile.h"
#include "utils/text.h"

namespace {

// The command line of mkpackage with the arguments, each quoted (without a trailing backslash,
// which would escape the quote).
std::string Mkpackage(const std::vector<std::string>& arguments) {
    std::string line = "\"" + TestBinDir() + "mkpackage.exe\"";
    for (const std::string& argument : arguments) {
        line += " \"" + StripTrailingDelimiter(argument) + "\"";
    }
    return line;
}

// The lines of a setting file in UTF-8 with a byte-order mark that set a key, each with the line
// before it.
std::vector<std::pair<std::string, std::string>> KeyLines(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> keys;
    std::string previous;
    for (size_t start = 3; start < text.size();) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        if (!line.empty() && line[0] != ';' && line[0] != '[') keys.emplace_back(previous, line);
        previous = line;
        start = end + 2;
    }
    return keys;
}

class InitTest : public InstallerE2E {};

TEST_F(InitTest, EveryKindBuildsAndInstallsSilently) {
    const struct {
        const char* kind;
        bool folder_exists;  // an empty folder is taken as well as a missing one
        bool character;
    } kinds[] = {{"character", false, true}, {"plugin", true, false}, {"skin", false, false}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.kind);
        const std::string folder = dir / (std::string(kind.kind) + "\\");
        if (kind.folder_exists) {
            ASSERT_TRUE(ForceFolders(folder));
        }
        ASSERT_EQ(0, RunProgram(Mkpackage({"--init", kind.kind, folder})));
        for (const auto& [above, key] : KeyLines(ReadTextFile(folder + "setting.ini"))) {
            EXPECT_EQ(above.substr(0, 2), "; ") << key << " has no comment";
        }

        // Built and installed as it comes.
        const std::string exe = dir / (std::string(kind.kind) + "-setup.exe");
        ASSERT_EQ(0, RunProgram(Mkpackage({folder + "package", folder + "setting.ini",
                                           TestBinDir() + "setup.exe", exe})));
        TestFolder packed;
        {
            ScopedBoxAnswers boxes;
            TZlibArchiver archiver(exe);
            archiver.SetKeepFolders(0);
            ASSERT_TRUE(archiver.ExtractFile(kSettingMemberName, packed.path()));
        }
        SelectProfile(packed / kSettingFileName, "options");
        const std::string install_dir =
            ExpandFolderMacrosWith(ReadProfileString("DefaultInstallDir", ""), "", true);
        if (kind.character) group_ = ReadProfileString("shortcut_group", "");
        ASSERT_EQ(0, Run(exe, {"-s"}, {}));

        // Every package file is in the install folder as it was packed.
        size_t files = 0;
        for (const auto& [path, content] : SnapshotTree(folder + "package\\")) {
            if (path.rfind(kPreExtractFolder, 0) == 0 || content == "<folder>") continue;
            EXPECT_EQ(ReadTextFile(install_dir + path), content) << path;
            ++files;
        }
        EXPECT_GT(files, 0u);
        if (kind.character) {
            SelectProfile(packed / kSettingFileName, "options");
            const std::string info_dir = ExpandFolderMacrosWith(
                ReadProfileString("UninstallInfoDir", ""), install_dir, true);
            const std::string exe_dir = ExpandFolderMacrosWith(
                ReadProfileString("UninstallExeDir", ""), install_dir, true);
            EXPECT_TRUE(FileExists(info_dir + kUninstallInfoName)) << info_dir;
            EXPECT_TRUE(FileExists(exe_dir + kUninstallerName)) << exe_dir;
            EXPECT_TRUE(FileExists(ProgramsFolder() + "\\" + group_ + "\\" + kUninstallShortcut));
        } else {
            EXPECT_EQ(install_dir.rfind(dir / "host\\", 0), 0u) << install_dir;
        }
    }
}

TEST_F(InitTest, RefusesAFolderThatHoldsSomething) {
    const std::string folder = dir / "mine\\";
    ForceFolders(folder);
    WriteTextFile(folder + "setting.txt", "the author's");
    EXPECT_EQ(1, RunProgram(Mkpackage({"--init", "plugin", folder})));
    EXPECT_EQ(SnapshotTree(folder), (Files{{"setting.txt", "the author's"}}));

    const std::string file = dir / "a-file";
    WriteTextFile(file, "a file");
    EXPECT_EQ(1, RunProgram(Mkpackage({"--init", "skin", file})));
    EXPECT_EQ(ReadTextFile(file), "a file");
}

}  // namespace
