// The host protocol: the character windows' answers, the shared identifier, the mutex.
#include <gtest/gtest.h>

#include "driver/host.h"
#include "support/fake_host.h"

namespace {

TEST(HostWindows, AnswersAreSummedAndTheIdentifierIsPublished) {
    FakeHost host(2, 1);
    EXPECT_EQ(2, NotifyHostWindows(WM_INSTALLER_QUERYRUNNING, "ベンダー", "type"));
    // Both windows titled "マーレスウェア" read Vendor|Type; the window with another title is
    // never asked.
    EXPECT_EQ((std::vector<std::string>{"1032:ベンダー|type", "1032:ベンダー|type"}), host.Seen());
    // The mapping exists only while the windows are asked.
    EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_READ, FALSE, kHostMappingName));
}

TEST(HostWindows, NoWindowsAnswerZero) {
    EXPECT_EQ(0, NotifyHostWindows(WM_INSTALLER_QUERYRUNNING, "v", "t"));
}

TEST(HostWindows, SignedAnswers) {
    FakeHost host(2, -1);
    EXPECT_EQ(-2, NotifyHostWindows(WM_INSTALLER_QUERYRUNNING, "v", "t"));
}

TEST(HostWindows, InstalledNotification) {
    FakeHost host(1, 5);
    EXPECT_EQ(0, NotifyHostWindows(WM_INSTALLER_INSTALLED, "v", "t"));
    EXPECT_EQ(std::vector<std::string>{"1031:v|t"}, host.Seen());
}

TEST(InstallerMutex, SecondCreationSeesTheFirst) {
    bool first_existed = true;
    UniqueHandle first = CreateInstallerMutex(first_existed);
    ASSERT_TRUE(first);
    EXPECT_FALSE(first_existed);
    bool second_existed = false;
    UniqueHandle second = CreateInstallerMutex(second_existed);
    EXPECT_TRUE(second_existed);
    second.reset();
    first.reset();
    bool again = true;
    UniqueHandle third = CreateInstallerMutex(again);
    EXPECT_FALSE(again);
}

}  // namespace
