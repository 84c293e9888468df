// The install record written with its writer and read back with its reader: uinstall.ini's two
// sections and the run record, gaps and damage included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/ini_text.h"
#include "package/install_record.h"

namespace {

std::vector<std::string> Described(const std::vector<RecordedEntry>& entries) {
    std::vector<std::string> described;
    for (const RecordedEntry& entry : entries) {
        described.push_back(std::to_string(entry.index) + ":" + entry.name + ":" + entry.checks);
    }
    return described;
}

struct ReadCase {
    const char* what;
    std::string text;
    bool run_record;
    std::vector<std::string> read;  // index:name:checks
};

TEST(InstallRecord, WhatTheWriterWritesTheReaderReads) {
    InstalledListWriter writer("C:\\dest\\");
    writer.Add("a.txt", FileChecksText({{1, 0xe8b7be43}}));
    writer.Add("sub\\", "");
    writer.Add("表\\b.txt", FileChecksText({{2, 0x0000000a}, {3, 0xffffffff}}));
    const std::string installed = "[options]\r\nAppName=x\r\n[INSTALLEDFILE]\r\n" + writer.items() +
                                  "[INSTALLEDFILECHECK]\r\n" + writer.checks();
    const std::string run = RunRecordHeader("名前", "ven", "typ") + RunRecordEntry(0, "a.txt", "1,e8b7be43") +
                            RunRecordEntry(1, "sub\\", "") + RunRecordEntry(2, "c.txt", "5,00000001");
    const ReadCase cases[] = {
        {"uinstall.ini as written", installed, false,
         {"0:a.txt:1,e8b7be43", "1:sub\\:", "2:表\\b.txt:2,0000000a|3,ffffffff"}},
        {"a run record as written", run, true,
         {"0:a.txt:1,e8b7be43", "1:sub\\:", "2:c.txt:5,00000001"}},
        {"a run record cut in its last line", std::string(RunRecordWholeLines(run + "item3=c.t")),
         true, {"0:a.txt:1,e8b7be43", "1:sub\\:", "2:c.txt:5,00000001"}},
        // A gap in the numbering is no end: every item is read, in the order of its number.
        {"a gap and items out of order",
         "[INSTALLEDFILE]\r\nitem5=e.txt\r\nitem0=a.txt\r\nitem2=c.txt\r\n", false,
         {"0:a.txt:", "2:c.txt:", "5:e.txt:"}},
        // As for the profile API: the first of two equal keys counts; "item01" is another key.
        {"a key twice and a padded number",
         "[INSTALLEDFILE]\r\nitem0=first\r\nitem0=second\r\nitem01=padded\r\nitem1=\r\n", false,
         {"0:first:"}},
        {"checks of another section or none", "[INSTALLEDFILE]\r\nitem0=a\r\n[other]\r\nitem0=1,00000000\r\n",
         false, {"0:a:"}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        const IniText ini(c.text);
        EXPECT_EQ(c.read, Described(c.run_record ? ReadRunRecordEntries(ini) : ReadInstalledEntries(ini)));
    }
    std::string app_name;
    EXPECT_TRUE(IniText(run).Value("run", "AppName", app_name));
    EXPECT_EQ("名前", app_name);
    EXPECT_EQ(RunRecordName("名前", "ven", "typ"), RunRecordName("名前", "ven", "typ"));
    EXPECT_NE(RunRecordName("名前", "ven", "typ"), RunRecordName("名前", "ven", "other"));
}

TEST(InstallRecord, ChecksAreReadOnlyInTheirOwnForm) {
    struct Row {
        const char* text;
        std::vector<FileCheck> read;  // empty: refused
    };
    const Row rows[] = {
        {"17,0000abcd", {{17, 0xabcd}}},
        {"0,FFFFFFFF|4294967296,00000001", {{0, 0xffffffff}, {4294967296ULL, 1}}},
        {"17,abcd", {}},
        {",0000abcd", {}},
        {"1x,0000abcd", {}},
        {"17,0000abcg", {}},
        {"17,0000abcd|", {}},
        {"17,0000abcd|bad", {}},
        {"", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::vector<FileCheck> read{{9, 9}};  // what was there before stays, alone on refusal
        EXPECT_EQ(!row.read.empty(), ParseFileChecks(row.text, read));
        std::vector<FileCheck> expected{{9, 9}};
        expected.insert(expected.end(), row.read.begin(), row.read.end());
        EXPECT_EQ(expected, read);
    }
}

TEST(InstallRecord, ChecksHandedOverJoinTheItemsOwn) {
    const std::string text =
        "[options]\r\nAppName=x\r\n[INSTALLEDFILECHECK]\r\nInstallDir=C:\\d\\\r\nitem0=1,00000001\r\n"
        "item10=2,00000002\r\n[INSTALLEDFILE]\r\nitem0=a\r\nitem1=b\r\nitem10=c\r\n";
    const std::string added = WithAddedChecks(text, {{0, "5,00000005"}, {1, "6,00000006"}});
    EXPECT_EQ("[options]\r\nAppName=x\r\n[INSTALLEDFILECHECK]\r\nInstallDir=C:\\d\\\r\n"
              "item0=1,00000001|5,00000005\r\nitem10=2,00000002\r\nitem1=6,00000006\r\n"
              "[INSTALLEDFILE]\r\nitem0=a\r\nitem1=b\r\nitem10=c\r\n",
              added);
    const std::vector<RecordedEntry> entries = ReadInstalledEntries(IniText(added));
    EXPECT_EQ((std::vector<std::string>{"0:a:1,00000001|5,00000005", "1:b:6,00000006",
                                        "10:c:2,00000002"}),
              Described(entries));
}

}  // namespace
