// Folder macros and the host folder.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "driver/flow/globals.h"
#include "driver/flow/macros.h"
#include "host/host.h"
#include "support/saved_registry_key.h"
#include "utils/registry.h"
#include "utils/shell.h"

namespace {

class Macros : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kHostRegistryKey);
        InstallOptions.InstallDir.clear();
    }
    void SetInstallPath(const std::string& path) {
        UniqueHKey key;
        RegCreateKeyExA(HKEY_CURRENT_USER, kHostRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr);
        WriteRegString(key.get(), "InstallPath", path);
    }
    const SavedRegistryKey host_key{HKEY_CURRENT_USER, kHostRegistryKey};
};

TEST_F(Macros, HostFolderFromTheRegistry) {
    SetInstallPath("C:\\host\\");
    EXPECT_EQ("C:\\host\\", ExpandFolderMacros("($MARLETHDIR)", true));
    EXPECT_EQ("C:\\host\\sub\\", ExpandFolderMacros("($MARLETHDIR)\\sub", true));
    EXPECT_EQ("C:\\host\\", GetHostFolder(false));
}

TEST_F(Macros, DefaultHostFolderUnderProgramFiles) {
    const std::string expected = GetSpecialFolder(CSIDL_PROGRAM_FILES) + "\\calderex\\Ombrevine";
    EXPECT_EQ(expected, GetDefaultHostFolder());
    EXPECT_EQ(expected + "\\", ExpandFolderMacros("($MARLETHDIR)", true));
    EXPECT_EQ("", GetHostFolder(false));
    EXPECT_EQ(expected, GetHostFolder(true));
    // An empty InstallPath counts as none.
    SetInstallPath("");
    EXPECT_EQ(expected, GetHostFolder(true));
}

TEST_F(Macros, ShellFoldersAndInstallDir) {
    const std::string desktop = GetSpecialFolder(CSIDL_DESKTOP);
    EXPECT_EQ(GetProgramsFolder() + "\\Group\\", ExpandFolderMacros("($startmenu)\\Group", true));
    EXPECT_EQ(GetSpecialFolder(CSIDL_STARTUP) + "\\", ExpandFolderMacros("($startup)", true));
    // Only the first occurrence of a macro is replaced.
    EXPECT_EQ(desktop + "\\($desktop)\\", ExpandFolderMacros("($desktop)\\($desktop)", true));

    EXPECT_EQ("\\", ExpandFolderMacros("($INSTALLDIR)", true));  // InstallDir still empty
    InstallOptions.InstallDir = "D:\\target\\";
    EXPECT_EQ("D:\\target\\ven\\typ\\", ExpandFolderMacros("($INSTALLDIR)\\ven\\typ", true));
    // Macros are recognised in their exact letters only.
    EXPECT_EQ("($installdir)\\x\\", ExpandFolderMacros("($installdir)\\x", true));
}

TEST_F(Macros, TrailingDelimiterAndEmptyText) {
    EXPECT_EQ("\\", ExpandFolderMacros("", true));
    EXPECT_EQ("C:\\dir\\", ExpandFolderMacros("C:\\dir", true));
    EXPECT_EQ("C:/dir/", ExpandFolderMacros("C:/dir/", true));
    // 表 ends in 0x5C, which is no delimiter: a backslash is added.
    EXPECT_EQ("C:\\表\\", ExpandFolderMacros("C:\\表", true));
}

TEST(ReplaceFirstText, FirstOccurrenceOnly) {
    EXPECT_EQ("aXab", ReplaceFirst("abab", "ab", "aX"));
    EXPECT_EQ("none", ReplaceFirst("none", "x", "y"));
    EXPECT_EQ("表\\tail", ReplaceFirst("表($m)tail", "($m)", "\\"));
    // The 0x5C inside 表 is not a backslash to replace.
    EXPECT_EQ("表/", ReplaceFirst("表\\", "\\", "/"));
}

}  // namespace
