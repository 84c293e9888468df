// An installer signed after its package was appended: the Authenticode signature follows the
// archive, and the installer still finds its sealed package (behind the program, before the
// signature), finds the seal intact and installs it.
#include <gtest/gtest.h>

#include "archive/seal.h"
#include "archive/zip_reader.h"
#include "driver/flow/installer_mutex.h"
#include "support/installer_driver.h"
#include "support/saved_registry_key.h"
#include "support/test_support.h"
#include "utils/files.h"
#include "utils/registry.h"
#include "utils/unique_any.h"

namespace {

std::string Fixture(const std::string& name) {
    return TestBinDir() + "..\\test-data\\signed\\" + name;
}

uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST(SignedInstaller, InstallsItsPackageSilently) {
    const std::string signed_exe = Fixture("signed-setup.exe");
    ASSERT_TRUE(PathExists(signed_exe))
        << "fixture missing; signing needs openssl and osslsigncode on the build machine";
    const uint64_t unsigned_size = FileSize(Fixture("unsigned-setup.exe"));
    ArchiveSpan span;
    ASSERT_TRUE(FindArchive(signed_exe, span));
    EXPECT_EQ(FileSize(TestBinDir() + "setup.exe"), span.start);
    EXPECT_EQ(unsigned_size, span.start + span.length);
    // The signature follows the archive, longer than the 64 KB an end record may lie before the
    // end of a plain archive.
    EXPECT_LT(unsigned_size + 65557, FileSize(signed_exe));
    // The package is sealed, and signing left the sealed bytes as they were.
    EXPECT_EQ(SealState::kIntact, CheckArchiveSeal(signed_exe));

    TestFolder dir;
    const std::string target = dir / "install\\";
    const SavedRegistryKey host_key(HKEY_CURRENT_USER, kHostRegistryKey);
    {
        UniqueHKey key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kHostRegistryKey, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
        WriteRegString(key.get(), "InstallPath", target);
    }
    DrivenProcess installer(signed_exe, {"-s"});
    ASSERT_TRUE(installer.started());
    std::string mismatch;
    EXPECT_EQ(0, AnswerBoxesAndWait(installer, {}, mismatch));
    EXPECT_EQ("", mismatch);
    EXPECT_EQ("plug-in", ReadTextFile(target + "plugin.dll"));
    EXPECT_EQ("日本語", ReadTextFile(target + "data\\表.txt"));
}

}  // namespace
