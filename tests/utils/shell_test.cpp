// Shortcut files written through COM and read back through IShellLinkA; special folders.
#include <gtest/gtest.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "support/test_support.h"
#include "utils/shell.h"
#include "utils/unique_any.h"

namespace {

struct LinkContents {
    std::string path, work_dir, args, description, icon_file;
    int show_cmd = 0;
    int icon_index = -1;
};

std::wstring Wide(const std::string& text) {
    wchar_t buffer[MAX_PATH * 2] = {};
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer, MAX_PATH * 2);
    return buffer;
}

// Loads a .lnk file through the shell's own reader.
bool ReadLink(const std::string& file, LinkContents& out) {
    UniqueCom<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.put_void()))) {
        return false;
    }
    UniqueCom<IPersistFile> persist;
    if (FAILED(link->QueryInterface(IID_IPersistFile, persist.put_void()))) return false;
    if (FAILED(persist->Load(Wide(file).c_str(), STGM_READ))) return false;
    char buffer[MAX_PATH * 2] = {};
    link->GetPath(buffer, sizeof buffer, nullptr, SLGP_RAWPATH);
    out.path = buffer;
    link->GetWorkingDirectory(buffer, sizeof buffer);
    out.work_dir = buffer;
    link->GetArguments(buffer, sizeof buffer);
    out.args = buffer;
    link->GetDescription(buffer, sizeof buffer);
    out.description = buffer;
    link->GetIconLocation(buffer, sizeof buffer, &out.icon_index);
    out.icon_file = buffer;
    link->GetShowCmd(&out.show_cmd);
    return true;
}

class Shortcuts : public testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
    TestFolder dir;
};

TEST_F(Shortcuts, AllFieldsAreWritten) {
    WriteTextFile(dir / "アプリ.exe", "MZ");
    TShortcutSetting s;
    s.LinkFile = dir / "キャラクター.lnk";
    s.Target = dir / "アプリ.exe";
    s.WorkDir = dir.path();
    s.Args = "-open 表";
    s.ShowCmd = SW_SHOWNORMAL;
    s.Description = "説明";
    s.IconFile = dir / "アプリ.exe";
    s.IconIndex = 2;
    ASSERT_EQ(ShortcutMade::kYes, CreateShortcut(s));

    LinkContents link;
    ASSERT_TRUE(ReadLink(s.LinkFile, link));
    EXPECT_EQ(s.Target, link.path);
    EXPECT_EQ(s.WorkDir, link.work_dir);
    EXPECT_EQ(s.Args, link.args);
    EXPECT_EQ(s.Description, link.description);
    EXPECT_EQ(s.IconFile, link.icon_file);
    EXPECT_EQ(2, link.icon_index);
    EXPECT_EQ(SW_SHOWNORMAL, link.show_cmd);
}

TEST_F(Shortcuts, SecondCallReplacesTheFirst) {
    TShortcutSetting s;
    s.LinkFile = dir / "twice.lnk";
    s.Target = "C:\\windows\\notepad.exe";
    s.Args = "first";
    ASSERT_EQ(ShortcutMade::kYes, CreateShortcut(s));
    s.Args = "second";
    s.Target = "C:\\windows\\regedit.exe";
    ASSERT_EQ(ShortcutMade::kYes, CreateShortcut(s));

    LinkContents link;
    ASSERT_TRUE(ReadLink(s.LinkFile, link));
    EXPECT_EQ("second", link.args);
    EXPECT_EQ("C:\\windows\\regedit.exe", link.path);
}

TEST_F(Shortcuts, EmptyFieldsStayEmpty) {
    TShortcutSetting s;
    s.LinkFile = dir / "empty.lnk";
    s.Target = "C:\\windows\\notepad.exe";
    ASSERT_EQ(ShortcutMade::kYes, CreateShortcut(s));
    LinkContents link;
    ASSERT_TRUE(ReadLink(s.LinkFile, link));
    EXPECT_EQ("", link.args);
    EXPECT_EQ("", link.description);
    EXPECT_EQ("", link.work_dir);
}

// Made means the file is there: a shortcut the system could not write (its folder missing, its
// name too long for any folder) is reported as not made, with the error that says why.
TEST_F(Shortcuts, MadeOnlyWhenTheFileIsThere) {
    const std::pair<std::string, bool> cases[] = {
        {dir / "made.lnk", true},
        {dir / "no\\such\\folder\\x.lnk", false},
        {dir / (std::string(1 << 20, 'a') + ".lnk"), false},
    };
    for (const auto& [link_file, made] : cases) {
        SCOPED_TRACE(link_file.substr(0, 120));
        TShortcutSetting s;
        s.LinkFile = link_file;
        s.Target = "C:\\windows\\notepad.exe";
        SetLastError(0);
        EXPECT_EQ(made, CreateShortcut(s) == ShortcutMade::kYes);
        EXPECT_EQ(made, PathExists(s.LinkFile));
        if (!made) {
            EXPECT_NE(0u, GetLastError());
        }
    }
}

TEST(SpecialFolders, FileSystemFolders) {
    const std::string programs = GetProgramsFolder();
    EXPECT_FALSE(programs.empty());
    EXPECT_NE('\\', programs.back());
    EXPECT_EQ(programs, GetSpecialFolder(CSIDL_PROGRAMS));
    EXPECT_FALSE(GetSpecialFolder(CSIDL_DESKTOP).empty());
    EXPECT_FALSE(GetSpecialFolder(CSIDL_PROGRAM_FILES).empty());
}

TEST(SpecialFolders, VirtualFolderHasNoPath) {
    EXPECT_EQ("", GetSpecialFolder(CSIDL_DRIVES));  // "My Computer"
    EXPECT_EQ("", GetSpecialFolder(0x7F));          // not a folder id
}

}  // namespace
