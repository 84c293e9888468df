// The extraction run in-process: entries, free space, the run record, cancelling.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/run/extraction.h"
#include "driver/flow/globals.h"
#include "driver/records/run_record.h"
#include "package/ini_text.h"
#include "package/install_record.h"
#include "host/host.h"
#include "support/saved_registry_key.h"
#include "support/test_support.h"
#include "support/zip_writer.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/message_pump.h"
#include "utils/profile.h"
#include "utils/registry.h"

namespace {

class ExtractionRun : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kHostRegistryKey);
        InstallOptions = TInstallOptions();
        InstallOptions.AppName = "試験";
        InstallOptions.KeepFolders = true;
        InstallOptions.Silent = true;
        InstallOptions.TempDir = dir / "temp\\";
        ForceFolders(InstallOptions.TempDir);
        WriteTextFile(InstallOptions.TempDir + kSettingFileName, "[options]\r\nAppName=試験\r\n");
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
    // The names the run's record lists.
    static std::vector<std::string> RecordListed() {
        std::vector<std::string> names;
        for (const RecordedEntry& entry :
             ReadRunRecordEntries(IniText(ReadTextFile(RunRecord::PathFor(InstallOptions))))) {
            names.push_back(entry.name);
        }
        return names;
    }
    // The extraction as the run does it, with the run's record, which a run that completes
    // removes.
    static bool Extract() {
        ResolveInstallDir();
        RunRecord record;
        const bool done = ExtractPackage(record);
        if (done) record.Finish();
        return done;
    }
    const SavedRegistryKey host_key{HKEY_CURRENT_USER, kHostRegistryKey};
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
    EXPECT_TRUE(Extract());
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
    RegCreateKeyExA(HKEY_CURRENT_USER, kHostRegistryKey, 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    WriteRegString(key.get(), "InstallPath", dir / "host");
    InstallOptions.ArchivePath = dir / "p.zip";
    InstallOptions.PreExtractedCount = 1;
    ScopedBoxAnswers boxes;
    EXPECT_TRUE(Extract());
    EXPECT_EQ(dir / "host\\", InstallOptions.InstallDir);
    EXPECT_EQ("a", ReadTextFile(dir / "host\\a.txt"));
}

TEST_F(ExtractionRun, NothingToExtractFailsWithoutAMessage) {
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"$preextractdir$/_$$$setting$$$_.ini", "s"}}));
    InstallOptions.ArchivePath = dir / "p.zip";
    InstallOptions.PreExtractedCount = 1;
    InstallOptions.InstallDir = dir / "out\\";
    ScopedBoxAnswers boxes;
    EXPECT_FALSE(Extract());
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_TRUE(Listed().empty());
}

// A run that fails (or stops) leaves its record behind, listing every member it began to write,
// the failed one too, each with what the archive says it holds: it lists each before anything of
// it is on the disk, and the uninstaller removes them.
TEST_F(ExtractionRun, AFailedEntryEndsTheRunWithTheEntriesUpToItRecorded) {
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"},
                                         {"$preextractdir$/_$$$setting$$$_.ini", "s"}}));
    InstallOptions.ArchivePath = dir / "p.zip";
    InstallOptions.PreExtractedCount = 1;
    InstallOptions.InstallDir = dir / "out\\";
    ForceFolders(dir / "out\\b.txt");  // a folder where the file should go
    ScopedBoxAnswers boxes;
    EXPECT_FALSE(Extract());
    ASSERT_EQ(1u, boxes.asked().size());
    EXPECT_EQ("ファイルの書き込みに失敗しました。: " + dir.path() + "out\\\\b.txt", boxes.asked()[0].text);
    EXPECT_EQ("[run]\r\nAppName=試験\r\nVendor=\r\nType=\r\n[INSTALLEDFILE]\r\n"
              "item0=a.txt\r\ncheck0=1,e8b7be43\r\nitem1=b.txt\r\ncheck1=1,71beeff9\r\n",
              ReadTextFile(RunRecord::PathFor(InstallOptions)));
    EXPECT_FALSE(PathExists(dir / "out\\c.txt"));
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
    EXPECT_FALSE(Extract());
    ASSERT_EQ(1u, boxes.asked().size());
    EXPECT_EQ("インストールは中止されました。", boxes.asked()[0].text);
    EXPECT_EQ("確認", boxes.asked()[0].caption);
    // The pump before the first entry met the quit message: the first entry is extracted,
    // the second is not started; the record stays, listing the first.
    EXPECT_EQ(std::vector<std::string>{"f0.txt"}, RecordListed());
    EXPECT_FALSE(PathExists(dir / "out\\f1.txt"));
}

// Before writing anything, what will land in the install folder is compared with its free
// space: the pre-extracted members do not count, the files to be replaced are credited, and the
// largest member written beside the file it replaces needs room of its own.
struct FreeSpaceCase {
    const char* what;
    bool reinstall;        // both members' files are there already, a megabyte each
    uint64_t free_bytes;
    const char* needed;    // the message's figures, null when it fits
};

TEST_F(ExtractionRun, OnlyWhatLandsInTheInstallFolderMustFitThere) {
    constexpr uint64_t kMegabyte = 1024 * 1024;
    const std::string megabyte(kMegabyte, 'x');
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"a.bin", megabyte},
                                         {"b.bin", megabyte},
                                         {"$preextractdir$/_$$$setting$$$_.ini", "s"},
                                         {"$preextractdir$/big.txt", megabyte + megabyte}}));
    const FreeSpaceCase cases[] = {
        {"first installation, room for both", false, 2 * kMegabyte, nullptr},
        {"first installation, a byte short", false, 2 * kMegabyte - 1, "2 MB\r\n空き容量: 1"},
        {"reinstall, room for one beside its file", true, kMegabyte, nullptr},
        {"reinstall, no room beside", true, kMegabyte - 1, "1 MB\r\n空き容量: 0"},
    };
    for (const FreeSpaceCase& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolder out;
        if (c.reinstall) {
            WriteTextFile(out / "a.bin", megabyte);
            WriteTextFile(out / "b.bin", megabyte);
        }
        InstallOptions.ArchivePath = dir / "p.zip";
        InstallOptions.PreExtractedCount = 2;
        InstallOptions.InstallDir = out / "dest\\";
        if (c.reinstall) InstallOptions.InstallDir = out.path();
        ScopedFreeSpace space(c.free_bytes);
        ScopedBoxAnswers boxes;
        EXPECT_EQ(c.needed == nullptr, Extract());
        if (c.needed == nullptr) {
            EXPECT_TRUE(boxes.asked().empty());
            EXPECT_TRUE(FileExists(InstallOptions.InstallDir + "b.bin"));
        } else {
            ASSERT_EQ(1u, boxes.asked().size());
            EXPECT_EQ("インストール先の空き容量が足りません。\r\n必要な容量: " + std::string(c.needed) +
                          " MB",
                      boxes.asked()[0].text);
            EXPECT_EQ("エラー", boxes.asked()[0].caption);
            EXPECT_EQ(c.reinstall, PathExists(out / "a.bin"));
            EXPECT_FALSE(PathExists(out / "dest"));
        }
    }
}

// A record left by a killed run of the same package is asked about before anything is written,
// in the asking modes only: a silent run never waits for a person and goes on. A record of
// another package is no concern of this run.
struct LeftRecordCase {
    const char* what;
    const char* app_name;  // of the run that left the record
    bool silent;
    int answer;
    bool asked;
    bool goes_on;
};

TEST_F(ExtractionRun, AnUnfinishedRunIsAskedAboutUnlessSilent) {
    const LeftRecordCase cases[] = {
        {"asked, yes", "試験", false, IDYES, true, true},
        {"asked, no", "試験", false, IDNO, true, false},
        {"silent", "試験", true, IDNO, false, true},
        {"another package's", "別の荷物", false, IDNO, false, true},
    };
    for (const LeftRecordCase& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolder out;
        InstallOptions.InstallDir = out.path();
        InstallOptions.Silent = c.silent;
        TInstallOptions other = InstallOptions;
        other.AppName = c.app_name;
        WriteTextFile(RunRecord::PathFor(other), "[run]\r\nAppName=x\r\n[INSTALLEDFILE]\r\nitem0=a.txt\r\n");

        ScopedBoxAnswers boxes{c.answer};
        EXPECT_EQ(c.goes_on, ConfirmUnfinishedRun());
        if (c.asked) {
            ASSERT_EQ(1u, boxes.asked().size());
            EXPECT_EQ("\"試験\"の前回のインストールは途中で終了しています。\r\n"
                      "このままインストールを続けますか？",
                      boxes.asked()[0].text);
            EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION), boxes.asked()[0].flags);
        } else {
            EXPECT_TRUE(boxes.asked().empty());
        }
    }
}

// The record is made anew, never written through what stands at its name: a killed run's record
// is taken over (its list kept, this run's entries first, each with what is there now when the
// record knows no content), a link put there is removed as a link or left, and what it leads to
// is never read, written or deleted.
struct RecordNameCase {
    const char* what;
    const char* stands;  // "record", "hard link" or "symbolic link" to a file outside
    std::vector<std::string> listed;
};

TEST_F(ExtractionRun, TheRunRecordIsMadeAnewAndAKilledRunsListKept) {
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"a.txt", "a"}, {"$preextractdir$/_$$$setting$$$_.ini", "s"}}));
    const std::string left = "[run]\r\nAppName=試験\r\n[INSTALLEDFILE]\r\nitem0=old\\gone.txt\r\n"
                             "item1=a.txt\r\nitem2=old\\kept.txt\r\n";
    const RecordNameCase cases[] = {
        {"a killed run's record", "record", {"a.txt:1,e8b7be43", "old\\gone.txt:",
                                             "old\\kept.txt:4,fb286a06"}},
        {"a hard link", "hard link", {"a.txt:1,e8b7be43"}},
        {"a symbolic link", "symbolic link", {"a.txt:1,e8b7be43"}},
    };
    for (const RecordNameCase& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolder out;
        WriteTextFile(InstallOptions.TempDir + kSettingFileName, "[options]\r\nAppName=試験\r\n");
        InstallOptions.ArchivePath = dir / "p.zip";
        InstallOptions.PreExtractedCount = 1;
        InstallOptions.InstallDir = out / "dest\\";
        ForceFolders(InstallOptions.InstallDir + "old");
        WriteTextFile(InstallOptions.InstallDir + "old\\kept.txt", "kept");  // the killed run's
        const std::string record = RunRecord::PathFor(InstallOptions);
        const std::string outside = out / "outside.ini";
        WriteTextFile(c.stands == std::string("record") ? record : outside, left);
        std::unique_ptr<UnixSymlink> symlink;
        if (c.stands == std::string("hard link")) {
            ASSERT_TRUE(CreateHardLinkA(record.c_str(), outside.c_str(), nullptr));
        } else if (c.stands == std::string("symbolic link")) {
            symlink = std::make_unique<UnixSymlink>(outside, record);
            ASSERT_TRUE(symlink->made());
        }

        ScopedBoxAnswers boxes;
        EXPECT_TRUE(Extract());
        EXPECT_TRUE(boxes.asked().empty());
        std::vector<std::string> listed;
        for (const RecordedEntry& entry : ReadInstalledEntries(
                 IniText(ReadTextFile(InstallOptions.TempDir + kSettingFileName)))) {
            listed.push_back(entry.name + ":" + entry.checks);
        }
        EXPECT_EQ(c.listed, listed);
        if (c.stands != std::string("record")) {
            EXPECT_EQ(left, ReadTextFile(outside));
        }
        if (!symlink) {
            EXPECT_FALSE(PathExists(record));
        }
    }
}

}  // namespace
