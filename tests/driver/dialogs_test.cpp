// Window plumbing, the progress range and the extraction run in-process.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "driver/dialogs.h"
#include "driver/extraction.h"
#include "driver/progress.h"
#include "driver/globals.h"
#include "support/test_support.h"
#include "support/zip_writer.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/message_pump.h"
#include "utils/profile.h"
#include "utils/registry.h"

namespace {

TEST(CenterWindowTest, LargerThanTheScreenGetsNegativeCoordinates) {
    const int screen_w = GetSystemMetrics(SM_CXSCREEN);
    const int screen_h = GetSystemMetrics(SM_CYSCREEN);
    HWND window = CreateWindowExA(0, "STATIC", "big", WS_POPUP, 0, 0, screen_w + 101, screen_h + 40,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    CenterWindow(window);
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(-101 / 2, rect.left);  // truncated toward zero: -50
    EXPECT_EQ(-20, rect.top);
    EXPECT_EQ(screen_w + 101, rect.right - rect.left);
    EXPECT_TRUE(IsWindowVisible(window));
    DestroyWindow(window);
}

TEST(MessagePump, QuitEndsOneCallAndLeavesTheRestQueued) {
    PostThreadMessageA(GetCurrentThreadId(), WM_USER + 1, 0, 0);
    PostQuitMessage(0);
    MSG record{};
    EXPECT_TRUE(PumpMessages(nullptr, record));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), record.message);
    PostThreadMessageA(GetCurrentThreadId(), WM_USER + 2, 0, 0);
    MSG left{};
    ASSERT_TRUE(PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 2), left.message);
    // An empty queue: nothing taken, the record unchanged.
    record.message = WM_USER + 9;
    EXPECT_FALSE(PumpMessages(nullptr, record));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 9), record.message);
    ProcessMessages(nullptr);
}

TEST(MainWindowProcedure, DestroyPostsQuit) {
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = MainWndProc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "MainWndProcTest";
    RegisterClassA(&window_class);
    HWND window = CreateWindowExA(0, "MainWndProcTest", "x", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    ProcessMessages(nullptr);
    DestroyWindow(window);
    MSG record{};
    PumpMessages(nullptr, record);
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), record.message);
}

class ExtractionRun : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Calderex\\MarlethWare2002");
        InstallOptions = TInstallOptions();
        InstallOptions.AppName = "試験";
        InstallOptions.KeepFolders = 1;
        InstallOptions.Silent = 1;
        InstallOptions.TempDir = dir / "temp\\";
        ForceFolders(InstallOptions.TempDir);
        WriteTextFile(InstallOptions.TempDir + kSettingFileName, "[options]\r\nAppName=試験\r\n");
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Calderex\\MarlethWare2002");
    }
    std::vector<std::string> Listed() {
        SelectProfile(InstallOptions.TempDir + kSettingFileName, "INSTALLEDFILE");
        std::vector<std::string> items;
        for (int i = 0;; ++i) {
            const std::string item = ReadProfileString("item" + std::to_string(i), "");
            if (item.empty()) return items;
            items.push_back(item);
        }
    }
    TestFolder dir;
};

TEST_F(ExtractionRun, TwelveEntriesWithTwoPreExtracted) {
    ZipMembers members;
    for (int i = 0; i < 9; ++i) members.push_back({"d/f" + std::to_string(i) + ".txt", "x"});
    members.push_back({"empty/", ""});
    members.push_back({"$preextractdir$/_$$$setting$$$_.ini", "s"});
    members.push_back({"$preextractdir$/chruinst.ex_", "u"});
    ASSERT_TRUE(WriteZip(dir / "p.zip", members));
    InstallOptions.ArchivePath = dir / "p.zip";
    InstallOptions.PreExtractedCount = 2;
    InstallOptions.InstallDir = dir / "out";  // no trailing backslash yet

    ScopedBoxAnswers boxes;
    EXPECT_TRUE(ExtractPackage());
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_EQ(dir / "out\\", InstallOptions.InstallDir);
    const std::vector<std::string> listed = Listed();
    ASSERT_EQ(10u, listed.size());
    EXPECT_EQ("d\\f0.txt", listed[0]);
    EXPECT_EQ("empty\\", listed[9]);
    EXPECT_TRUE(PathExists(dir / "out\\empty"));
    EXPECT_FALSE(PathExists(dir / "out\\$preextractdir$"));
    // The rest of the setting file is kept.
    SelectProfile(InstallOptions.TempDir + kSettingFileName, "options");
    EXPECT_EQ("試験", ReadProfileString("AppName", ""));
}

TEST_F(ExtractionRun, EmptyInstallDirFallsBackToTheHostFolder) {
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"a.txt", "a"}, {"$preextractdir$/_$$$setting$$$_.ini", "s"}}));
    UniqueHKey key;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Calderex\\MarlethWare2002", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    WriteRegString(key.get(), "InstallPath", dir / "host");
    InstallOptions.ArchivePath = dir / "p.zip";
    InstallOptions.PreExtractedCount = 1;
    ScopedBoxAnswers boxes;
    EXPECT_TRUE(ExtractPackage());
    EXPECT_EQ(dir / "host\\", InstallOptions.InstallDir);
    EXPECT_EQ("a", ReadTextFile(dir / "host\\a.txt"));
}

TEST_F(ExtractionRun, NothingToExtractFailsWithoutAMessage) {
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"$preextractdir$/_$$$setting$$$_.ini", "s"}}));
    InstallOptions.ArchivePath = dir / "p.zip";
    InstallOptions.PreExtractedCount = 1;
    InstallOptions.InstallDir = dir / "out\\";
    ScopedBoxAnswers boxes;
    EXPECT_FALSE(ExtractPackage());
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_TRUE(Listed().empty());
}

TEST_F(ExtractionRun, AFailedEntryEndsTheRunWithTheEntriesBeforeItListed) {
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"},
                                         {"$preextractdir$/_$$$setting$$$_.ini", "s"}}));
    InstallOptions.ArchivePath = dir / "p.zip";
    InstallOptions.PreExtractedCount = 1;
    InstallOptions.InstallDir = dir / "out\\";
    ForceFolders(dir / "out\\b.txt");  // a folder where the file should go
    ScopedBoxAnswers boxes;
    EXPECT_FALSE(ExtractPackage());
    ASSERT_EQ(1u, boxes.asked().size());
    EXPECT_EQ("ファイルの書き込みに失敗しました。: " + dir.path() + "out\\\\b.txt", boxes.asked()[0].text);
    EXPECT_EQ(std::vector<std::string>{"a.txt"}, Listed());
}

TEST_F(ExtractionRun, QuitMessageCancels) {
    ZipMembers members;
    for (int i = 0; i < 5; ++i) members.push_back({"f" + std::to_string(i) + ".txt", "x"});
    members.push_back({"$preextractdir$/_$$$setting$$$_.ini", "s"});
    ASSERT_TRUE(WriteZip(dir / "p.zip", members));
    InstallOptions.ArchivePath = dir / "p.zip";
    InstallOptions.PreExtractedCount = 1;
    InstallOptions.InstallDir = dir / "out\\";
    PostQuitMessage(0);  // as the main window's destruction does
    ScopedBoxAnswers boxes;
    EXPECT_FALSE(ExtractPackage());
    ASSERT_EQ(1u, boxes.asked().size());
    EXPECT_EQ("インストールは中止されました。", boxes.asked()[0].text);
    EXPECT_EQ("確認", boxes.asked()[0].caption);
    // The pump before the first entry met the quit message: the first entry is extracted,
    // the second is not started.
    EXPECT_EQ(std::vector<std::string>{"f0.txt"}, Listed());
    EXPECT_FALSE(PathExists(dir / "out\\f1.txt"));
}

// Before writing anything the declared sizes are compared with the destination's free space.
struct FreeSpaceCase {
    uint64_t free_bytes;
    bool fits;
};

TEST_F(ExtractionRun, DeclaredSizesBeyondTheFreeSpaceStopBeforeWriting) {
    const std::string big(3 * 1024 * 1024 + 1, 'x');  // 3 MB and a byte: 4 MB needed
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"big.bin", big}, {"$preextractdir$/_$$$setting$$$_.ini", "s"}}));
    const uint64_t declared = big.size() + 1;
    for (const FreeSpaceCase& c : {FreeSpaceCase{declared - 1, false},
                                   FreeSpaceCase{2 * 1024 * 1024 + 5, false},
                                   FreeSpaceCase{declared, true}}) {
        SCOPED_TRACE(c.free_bytes);
        TestFolder out;
        InstallOptions.ArchivePath = dir / "p.zip";
        InstallOptions.PreExtractedCount = 1;
        InstallOptions.InstallDir = out / "dest\\";
        ScopedFreeSpace space(c.free_bytes);
        ScopedBoxAnswers boxes;
        EXPECT_EQ(c.fits, ExtractPackage());
        if (c.fits) {
            EXPECT_TRUE(boxes.asked().empty());
            EXPECT_TRUE(FileExists(out / "dest\\big.bin"));
        } else {
            ASSERT_EQ(1u, boxes.asked().size());
            EXPECT_EQ("インストール先の空き容量が足りません。\r\n必要な容量: 4 MB\r\n空き容量: " +
                          std::to_string(c.free_bytes / (1024 * 1024)) + " MB",
                      boxes.asked()[0].text);
            EXPECT_EQ("エラー", boxes.asked()[0].caption);
            EXPECT_FALSE(PathExists(out / "dest"));
        }
    }
}

// A record left by a killed run of the same package is reported before anything is written:
// Yes goes on (and the finished run removes the record), No stops with nothing written. A
// record of another package is no concern of this run.
struct LeftRecordCase {
    const char* app_name;  // of the run that left the record
    int answer;
    bool asked;
    bool installs;
};

TEST_F(ExtractionRun, ARecordLeftByAKilledRunIsAskedAbout) {
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"a.txt", "a"}, {"$preextractdir$/_$$$setting$$$_.ini", "s"}}));
    for (const LeftRecordCase& c : {LeftRecordCase{"試験", IDYES, true, true},
                                    LeftRecordCase{"試験", IDNO, true, false},
                                    LeftRecordCase{"別の荷物", IDNO, false, true}}) {
        SCOPED_TRACE(std::string(c.app_name) + (c.answer == IDYES ? " yes" : " no"));
        TestFolder out;
        InstallOptions.ArchivePath = dir / "p.zip";
        InstallOptions.PreExtractedCount = 1;
        InstallOptions.InstallDir = out.path();
        TInstallOptions other = InstallOptions;
        other.AppName = c.app_name;
        const std::string left = RunRecordPath(other);
        WriteTextFile(left, "[run]\r\nAppName=x\r\n[INSTALLEDFILE]\r\nitem0=a.txt\r\n");

        ScopedBoxAnswers boxes{c.answer};
        EXPECT_EQ(c.installs, ExtractPackage());
        if (c.asked) {
            ASSERT_EQ(1u, boxes.asked().size());
            EXPECT_EQ("\"試験\"の前回のインストールは途中で終了しています。\r\n"
                      "このままインストールを続けますか？",
                      boxes.asked()[0].text);
            EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION), boxes.asked()[0].flags);
        } else {
            EXPECT_TRUE(boxes.asked().empty());
        }
        EXPECT_EQ(c.installs, FileExists(out / "a.txt"));
        // The record of this run is gone once it ended; one it did not start stays.
        EXPECT_EQ(c.app_name != InstallOptions.AppName || !c.installs, FileExists(left));
        EXPECT_FALSE(FileExists(RunRecordPath(InstallOptions)) && c.installs);
    }
}

TEST_F(ExtractionRun, TheRecordIsRemovedWhenTheRunFails) {
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"a.txt", "a"}, {"b.txt", "b"},
                                         {"$preextractdir$/_$$$setting$$$_.ini", "s"}}));
    InstallOptions.ArchivePath = dir / "p.zip";
    InstallOptions.PreExtractedCount = 1;
    InstallOptions.InstallDir = dir / "out\\";
    ForceFolders(dir / "out\\b.txt");  // a folder where the file should go
    ScopedBoxAnswers boxes;
    EXPECT_FALSE(ExtractPackage());
    EXPECT_FALSE(FileExists(RunRecordPath(InstallOptions)));
}

}  // namespace

namespace {

TEST(ProgressDialog, TitleAndARangeBeyondSixteenBits) {
    InstallOptions.AppName = "大きな荷物";
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS),
                                     nullptr, ProgressDlgProc, 0);
    ASSERT_NE(nullptr, dialog);
    char title[256] = {};
    GetWindowTextA(dialog, title, sizeof title);
    EXPECT_STREQ("\"大きな荷物\" インストール中", title);
    SetProgressRange(dialog, 70000);
    SetProgressPosition(dialog, 70000);
    HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    EXPECT_EQ(70000, SendMessageA(bar, PBM_GETRANGE, FALSE, 0));
    EXPECT_EQ(0, SendMessageA(bar, PBM_GETRANGE, TRUE, 0));
    EXPECT_EQ(70000, SendMessageA(bar, PBM_GETPOS, 0, 0));
    DestroyWindow(dialog);
    EXPECT_FALSE(IsWindow(dialog));
}

}  // namespace
