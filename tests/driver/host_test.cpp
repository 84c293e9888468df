// The host protocol: the character windows' answers, the shared identifier, the mutex.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/flow/installer_mutex.h"
#include "support/fake_host.h"

namespace {

TEST(HostWindows, AnswersAreSummedAndTheIdentifierIsPublished) {
    FakeHost host(2, 1);
    bool unanswered = true;
    EXPECT_EQ(2, NotifyHostWindows(WM_INSTALLER_QUERYRUNNING, "ベンダー", "type", &unanswered));
    EXPECT_FALSE(unanswered);
    // Both windows titled "マーレスウェア" read Vendor|Type; the window with another title is
    // never asked.
    EXPECT_EQ((std::vector<std::string>{"1032:ベンダー|type", "1032:ベンダー|type"}), host.Seen());
    // The mapping exists only while the windows are asked.
    EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_READ, FALSE, kHostMappingName));
}

// A host that hangs must not hang the installer or the uninstaller: its windows are waited for a
// bounded time, add nothing, and are reported as not answering.
TEST(HostWindows, AHostThatDoesNotAnswerIsNotWaitedForEndlessly) {
    FakeHost host(1, 1, true);
    bool unanswered = false;
    EXPECT_EQ(0, NotifyHostWindows(WM_INSTALLER_QUERYRUNNING, "v", "t", &unanswered));
    EXPECT_TRUE(unanswered);
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

TEST(HostWindows, NamesTakenBeforehandByOtherProgramsMeanNoAnswer) {
    FakeHost host(1, 1);
    {
        // A mapping of the same name, smaller than the identifier (beyond its one page).
        UniqueHandle small(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 2,
                                              kHostMappingName));
        ASSERT_TRUE(small);
        EXPECT_EQ(0, NotifyHostWindows(WM_INSTALLER_QUERYRUNNING, std::string(5000, 'v'), "type"));
    }
    {
        // An object of another type under the name.
        UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, kHostMappingName));
        ASSERT_TRUE(event);
        EXPECT_EQ(0, NotifyHostWindows(WM_INSTALLER_QUERYRUNNING, "vendor", "type"));
    }
    {
        // A large mapping full of other bytes: the identifier still ends where it should.
        UniqueHandle large(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                              kHostMappingName));
        UniqueView view(MapViewOfFile(large.get(), FILE_MAP_WRITE, 0, 0, 0));
        std::memset(view.get(), 'x', 4096);
        EXPECT_EQ(1, NotifyHostWindows(WM_INSTALLER_QUERYRUNNING, "v", "t"));
    }
    EXPECT_EQ((std::vector<std::string>{"1032:v|t"}), host.Seen());
}

TEST(InstallerMutex, NameTakenByAnotherTypeCountsAsAnotherInstaller) {
    UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, kInstallerMutexName));
    ASSERT_TRUE(event);
    bool existed = false;
    UniqueHandle mutex = CreateInstallerMutex(existed);
    EXPECT_TRUE(existed);
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
