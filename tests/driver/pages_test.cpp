// Page sequence from the Dialogs key, and pre-extraction of the listed members.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/flow/globals.h"
#include "driver/pages/page_sequence.h"
#include "driver/run/run_files.h"
#include "support/test_support.h"
#include "support/zip_writer.h"
#include "utils/files.h"
#include "utils/message_box.h"

namespace {

std::vector<std::string> SequenceFor(const std::string& dialogs) {
    TestFolder dir;
    WriteTextFile(dir / "s.ini", "[options]\r\nDialogs=" + dialogs + "\r\n");
    EXPECT_TRUE(BuildPageSequence(dir / "s.ini", dir.path()));
    std::vector<std::string> names;
    for (const TWizardPage& page : PageSequence()) {
        if (page.DialogProc == nullptr) break;
        names.push_back(page.Name);
    }
    return names;
}

TEST(PageSequence, NamesAreMatchedExactlyInListOrder) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(Names{}, SequenceFor(""));
    EXPECT_EQ(Names{"FOLDERSELECT"}, SequenceFor("FOLDERSELECT"));
    EXPECT_EQ((Names{"LICENSEAGREE", "FOLDERSELECT"}), SequenceFor("LICENSEAGREE,FOLDERSELECT"));
    EXPECT_EQ((Names{"SELINSTALLMODULE", "FIRST"}), SequenceFor("SELINSTALLMODULE,FIRST"));
    // Fields are not trimmed and the case counts.
    EXPECT_EQ(Names{"LICENSEAGREE"}, SequenceFor("LICENSEAGREE, FOLDERSELECT"));
    EXPECT_EQ(Names{}, SequenceFor("licenseagree"));
    // Unknown and empty fields take no slot; a name listed twice takes two.
    EXPECT_EQ((Names{"FIRST", "FIRST"}), SequenceFor("NOPAGE,,FIRST,FIRST"));
}

TEST(PageSequence, AtMostElevenPages) {
    std::string twelve;
    for (int i = 0; i < 12; ++i) twelve += (i ? "," : "") + std::string(i == 11 ? "FIRST" : "FOLDERSELECT");
    const std::vector<std::string> names = SequenceFor(twelve);
    EXPECT_EQ(11u, names.size());
    EXPECT_EQ(std::vector<std::string>(11, "FOLDERSELECT"), names);
}

TEST(PageSequence, NoPagesGoesOnAndAMissingTemplateStops) {
    SequenceFor("");
    EXPECT_EQ(IDYES, RunPageSequence());
    // Template 1 is not among the resources: the dialog fails, the user is told, and the first
    // page ends the run.
    SequenceFor("FIRST");
    ScopedBoxAnswers boxes;
    EXPECT_EQ(IDNO, RunPageSequence());
    ASSERT_EQ(1u, boxes.asked().size());
    EXPECT_EQ("次のページを表示できません。: FIRST", boxes.asked()[0].text);
    EXPECT_EQ("エラー", boxes.asked()[0].caption);
}

class PreExtraction : public testing::Test {
protected:
    void SetUp() override { InstallOptions.PreExtractedCount = 1; }
    void TearDown() override { ReleaseRunFiles(); }
    TestFolder dir;
};

TEST_F(PreExtraction, ListedFilesAreHeldUntilReleased) {
    // b.txt is listed twice, from two folders, and so is the setting file: the later one replaces
    // the earlier, as before.
    const std::string setting =
        "[preextractlist]\r\nitem0=$preextractdir$\\a.txt\r\nitem1=$preextractdir$\\b.txt\r\n"
        "item2=$preextractdir$\\other\\B.txt\r\nitem3=$preextractdir$\\other\\_$$$setting$$$_.ini\r\n";
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"$preextractdir$/_$$$setting$$$_.ini", setting},
                                         {"$preextractdir$/a.txt", "a"},
                                         {"$preextractdir$/b.txt", "first b"},
                                         {"$preextractdir$/other/B.txt", "second b"},
                                         {"$preextractdir$/other/_$$$setting$$$_.ini", setting}}));
    InstallOptions.ArchivePath = dir / "p.zip";
    ScopedBoxAnswers boxes;
    ASSERT_TRUE(PreExtract(dir.path()));
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_EQ("second b", ReadTextFile(dir / "b.txt"));
    EXPECT_EQ("reading ", AllowedAccess(dir / "a.txt"));
    EXPECT_EQ("reading ", AllowedAccess(dir / "b.txt"));
    // The setting file is written to later and stays free, also when a listed member replaced it.
    EXPECT_EQ("reading writing renaming deleting ", AllowedAccess(dir / "_$$$setting$$$_.ini"));
    ReleaseRunFiles();
    EXPECT_EQ("reading writing renaming deleting ", AllowedAccess(dir / "a.txt"));
}

TEST_F(PreExtraction, ListEndsAtTheFirstGap) {
    const std::string setting =
        "[preextractlist]\r\nitem0=$preextractdir$\\a.txt\r\nitem1=$preextractdir$/b.txt\r\n"
        "item3=$preextractdir$\\d.txt\r\n";
    ASSERT_TRUE(WriteZip(dir / "p.zip", {{"pkg.txt", "pkg"},
                                         {"$preextractdir$/_$$$setting$$$_.ini", setting},
                                         {"$preextractdir$/a.txt", "a"},
                                         {"$preextractdir$/b.txt", "b"},
                                         {"$preextractdir$/d.txt", "d"}}));
    InstallOptions.ArchivePath = dir / "p.zip";
    ForceFolders(dir / "temp");
    ScopedBoxAnswers boxes;
    EXPECT_TRUE(PreExtract(dir / "temp\\"));
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_EQ(3, InstallOptions.PreExtractedCount);
    EXPECT_EQ(setting, ReadTextFile(dir / "temp\\_$$$setting$$$_.ini"));
    EXPECT_EQ("a", ReadTextFile(dir / "temp\\a.txt"));
    EXPECT_EQ("b", ReadTextFile(dir / "temp\\b.txt"));
    EXPECT_FALSE(PathExists(dir / "temp\\d.txt"));
    EXPECT_FALSE(PathExists(dir / "temp\\pkg.txt"));
}

TEST_F(PreExtraction, MissingMembersAreReported) {
    ASSERT_TRUE(WriteZip(dir / "nosetting.zip", {{"pkg.txt", "pkg"}}));
    InstallOptions.ArchivePath = dir / "nosetting.zip";
    {
        ScopedBoxAnswers boxes;
        EXPECT_FALSE(PreExtract(dir.path()));
        ASSERT_EQ(1u, boxes.asked().size());
        EXPECT_EQ("次のファイルが見つかりません。: $preextractdir$\\_$$$setting$$$_.ini",
                  boxes.asked()[0].text);
    }
    ASSERT_TRUE(WriteZip(dir / "noitem.zip",
                         {{"$preextractdir$/_$$$setting$$$_.ini",
                           "[preextractlist]\r\nitem0=$preextractdir$\\gone.txt\r\n"}}));
    InstallOptions.ArchivePath = dir / "noitem.zip";
    ScopedBoxAnswers boxes;
    EXPECT_FALSE(PreExtract(dir.path()));
    ASSERT_EQ(2u, boxes.asked().size());
    EXPECT_EQ("$preextractdir$\\gone.txtの展開に失敗しました。", boxes.asked()[1].text);
    EXPECT_EQ(1, InstallOptions.PreExtractedCount);
}

}  // namespace
