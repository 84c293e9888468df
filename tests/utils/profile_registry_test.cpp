// The current profile (INI files) and registry text values.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "utils/profile.h"
#include "utils/registry.h"

namespace {

TEST(Profile, ReadWriteDeleteInSelectedSection) {
    TestFolder dir;
    const std::string ini = dir / "setting.ini";
    SelectProfile(ini, "options");
    EXPECT_EQ("default", ReadProfileString("Name", "default"));
    WriteProfileString("Name", "キャラクター");
    EXPECT_EQ("キャラクター", ReadProfileString("Name", ""));

    SelectProfile(ini, "other");
    EXPECT_EQ("none", ReadProfileString("Name", "none"));

    SelectProfile(ini, "options");
    WriteProfileString("Name", "");
    EXPECT_EQ("gone", ReadProfileString("Name", "gone"));
    EXPECT_EQ(std::string::npos, ReadTextFile(ini).find("Name"));
}

TEST(Profile, QuotesAreRemoved) {
    TestFolder dir;
    WriteTextFile(dir / "q.ini", "[s]\r\nKey=\"quoted value\"\r\n");
    SelectProfile(dir / "q.ini", "s");
    EXPECT_EQ("quoted value", ReadProfileString("Key", ""));
}

TEST(Profile, LongValueIsCutAt32769Bytes) {
    TestFolder dir;
    const std::string value(40000, 'v');
    WriteTextFile(dir / "long.ini", "[s]\r\nKey=" + value + "\r\n");
    SelectProfile(dir / "long.ini", "s");
    const std::string read = ReadProfileString("Key", "");
    EXPECT_EQ(32769u, read.size());
    EXPECT_EQ(value.substr(0, read.size()), read);
}

TEST(Profile, IntegersAndBooleans) {
    TestFolder dir;
    WriteTextFile(dir / "b.ini", "[s]\r\nTwo=2\r\nZero=0\r\nWord=yes\r\nNum=42\r\n");
    SelectProfile(dir / "b.ini", "s");
    EXPECT_EQ(42, ReadProfileInt("Num", 0));
    EXPECT_EQ(-5, ReadProfileInt("Missing", -5));
    EXPECT_TRUE(ReadProfileBool("Two", false));
    EXPECT_FALSE(ReadProfileBool("Zero", true));
    EXPECT_FALSE(ReadProfileBool("Word", true));
    EXPECT_TRUE(ReadProfileBool("Missing", true));
    EXPECT_FALSE(ReadProfileBool("Missing", false));
}

TEST(ProfileSection, NewSectionIsAppendedInOrder) {
    TestFolder dir;
    const std::string ini = dir / "s.ini";
    WriteTextFile(ini, "[options]\r\nAppName=名前");  // no final line break
    SelectProfile(ini, "options");
    ReplaceProfileSection("INSTALLEDFILE", {"item0=a\\表.txt", "item1=b\\"});
    EXPECT_EQ("[options]\r\nAppName=名前\r\n[INSTALLEDFILE]\r\nitem0=a\\表.txt\r\nitem1=b\\\r\n",
              ReadTextFile(ini));
    EXPECT_EQ("名前", ReadProfileString("AppName", ""));
    SelectProfile(ini, "INSTALLEDFILE");
    EXPECT_EQ("a\\表.txt", ReadProfileString("item0", ""));
    EXPECT_EQ("b\\", ReadProfileString("item1", ""));
}

TEST(ProfileSection, ExistingSectionIsReplacedWhole) {
    TestFolder dir;
    const std::string ini = dir / "s.ini";
    WriteTextFile(ini, "[ installedfile ]\r\nitem0=old\r\nitem5=stale\r\n[options]\r\nA=1\r\n");
    SelectProfile(ini, "INSTALLEDFILE");
    ReplaceProfileSection("INSTALLEDFILE", {"item0=new"});
    EXPECT_EQ("new", ReadProfileString("item0", ""));
    EXPECT_EQ("", ReadProfileString("item5", ""));
    SelectProfile(ini, "options");
    EXPECT_EQ(1, ReadProfileInt("A", 0));
}

TEST(ProfileSection, UnicodeFileGoesThroughTheProfileApi) {
    TestFolder dir;
    const std::string ini = dir / "u.ini";
    const wchar_t text[] = L"\xFEFF[options]\r\nA=1\r\n";
    WriteTextFile(ini, std::string(reinterpret_cast<const char*>(text), sizeof text - sizeof(wchar_t)));
    SelectProfile(ini, "INSTALLEDFILE");
    ReplaceProfileSection("INSTALLEDFILE", {"item0=x"});
    EXPECT_EQ("x", ReadProfileString("item0", ""));
    SelectProfile(ini, "options");
    EXPECT_EQ(1, ReadProfileInt("A", 0));
}

TEST(ProfileSection, MissingFileIsCreated) {
    TestFolder dir;
    SelectProfile(dir / "new.ini", "S");
    ReplaceProfileSection("S", {"k=v"});
    EXPECT_EQ("v", ReadProfileString("k", ""));
}

// Each case works in its own subkey of HKCU in the test prefix, deleted before and after.
class Registry : public testing::Test {
protected:
    const std::string kSubKey = "Software\\InstallerTests\\Registry";
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSubKey.c_str()); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSubKey.c_str()); }
    UniqueHKey Create() {
        UniqueHKey key;
        RegCreateKeyExA(HKEY_CURRENT_USER, kSubKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr);
        return key;
    }
};

TEST_F(Registry, WriteAndReadBack) {
    ASSERT_TRUE(Create());
    {
        UniqueHKey key = OpenRegKey(HKEY_CURRENT_USER, kSubKey, KEY_WRITE);
        ASSERT_TRUE(key);
        EXPECT_TRUE(WriteRegString(key.get(), "InstallPath", "C:\\マーレス\\"));
        EXPECT_TRUE(WriteRegString(key.get(), "", "default value"));
        EXPECT_TRUE(WriteRegString(key.get(), "Empty", ""));
    }
    UniqueHKey key = OpenRegKey(HKEY_CURRENT_USER, kSubKey, KEY_READ);
    ASSERT_TRUE(key);
    EXPECT_EQ("C:\\マーレス\\", ReadRegString(key.get(), "InstallPath", "x"));
    EXPECT_EQ("default value", ReadRegString(key.get(), "", "x"));
    EXPECT_EQ("", ReadRegString(key.get(), "Empty", "x"));

    DWORD type = 0;
    DWORD size = 0;
    RegQueryValueExA(key.get(), "InstallPath", nullptr, &type, nullptr, &size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string("C:\\マーレス\\").size() + 1, size);
}

TEST_F(Registry, MissingValuesAndKeysGiveTheDefault) {
    EXPECT_FALSE(OpenRegKey(HKEY_CURRENT_USER, kSubKey, KEY_READ));
    EXPECT_EQ("fallback", ReadRegString(nullptr, "InstallPath", "fallback"));
    ASSERT_TRUE(Create());
    UniqueHKey key = OpenRegKey(HKEY_CURRENT_USER, kSubKey, KEY_READ);
    EXPECT_EQ("fallback", ReadRegString(key.get(), "Missing", "fallback"));
}

TEST_F(Registry, WriteThroughReadOnlyKeyFails) {
    ASSERT_TRUE(Create());
    UniqueHKey key = OpenRegKey(HKEY_CURRENT_USER, kSubKey, KEY_READ);
    ASSERT_TRUE(key);
    EXPECT_FALSE(WriteRegString(key.get(), "Value", "text"));
}

}  // namespace
