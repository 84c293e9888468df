// File version texts and their comparison.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "utils/version.h"

namespace {

TEST(VersionCompare, NumbersNotText) {
    EXPECT_TRUE(IsVersionNewer("1.0.10.0", "1.0.9.99"));
    EXPECT_FALSE(IsVersionNewer("1.0.9.99", "1.0.10.0"));
    EXPECT_TRUE(IsVersionNewer("2", "1.9.9"));
    EXPECT_TRUE(IsVersionNewer("1.10", "1.9"));
}

TEST(VersionCompare, OnlyThreeFieldsCount) {
    EXPECT_FALSE(IsVersionNewer("1.2.3.9", "1.2.3.1"));
    EXPECT_FALSE(IsVersionNewer("1.2.3", "1.2.3.0"));
    EXPECT_FALSE(IsVersionNewer("1.2.3.0", "1.2.3"));
    EXPECT_FALSE(IsVersionNewer("1.2.3", "1.2.3"));
}

TEST(VersionCompare, NonDigitsCountAsZero) {
    // "1, 0, 0, 1" is one field with blanks and commas in it: 0.0.0.
    EXPECT_FALSE(IsVersionNewer("1, 0, 0, 1", "0.0.0"));
    EXPECT_TRUE(IsVersionNewer("0.0.1", "1, 0, 0, 1"));
    EXPECT_FALSE(IsVersionNewer("1.0b.0", "1.0.0"));
    EXPECT_FALSE(IsVersionNewer("1.0.0", "1.0b.0"));
    EXPECT_TRUE(IsVersionNewer("1.0.1", "1.0b.0"));
}

TEST(FileVersions, ReadFromResource) {
    EXPECT_EQ("2.5.10.7", GetFileVersionText(TestBinDir() + "version_fixture.exe"));
}

TEST(FileVersions, FilesWithoutVersion) {
    TestFolder dir;
    WriteTextFile(dir / "plain.exe", "not a program");
    EXPECT_EQ("", GetFileVersionText(dir / "plain.exe"));
    EXPECT_EQ("", GetFileVersionText(dir / "missing.exe"));
}

TEST(FileVersions, IsFileNewer) {
    TestFolder dir;
    WriteTextFile(dir / "plain.exe", "x");
    const std::string versioned = TestBinDir() + "version_fixture.exe";
    EXPECT_TRUE(IsFileNewer(versioned, dir / "plain.exe"));
    EXPECT_FALSE(IsFileNewer(dir / "plain.exe", versioned));
    EXPECT_FALSE(IsFileNewer(dir / "plain.exe", dir / "missing.exe"));
    EXPECT_FALSE(IsFileNewer(versioned, versioned));
}

}  // namespace
