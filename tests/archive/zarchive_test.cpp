// The archive extractor and its reader: sequential passes, single members, archives in every
// placement (alone, behind a program, ZIP64, signed), name safety, damaged archives.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "archive/seal.h"
#include "archive/zarchive.h"
#include "archive/zip_reader.h"
#include "support/test_support.h"
#include "support/zip_writer.h"
#include "utils/files.h"
#include "utils/message_box.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

const char kUnsafeMessage[] =
    "不正なファイル名です、展開を中止します。\r\n(\\で始まるまたは..\\を含むファイル名は展開できません): ";
// The same message's first part, for the names refused beyond a leading backslash and a parent
// step, each followed by its own reason.
const char kUnsafeFirstPart[] = "不正なファイル名です、展開を中止します。\r\n(";
const char kDotReason[] = ".または..だけのフォルダ名やファイル名は展開できません";
const char kTrailingReason[] = "ピリオドまたは空白で終わるフォルダ名やファイル名は展開できません";
const char kDeviceReason[] = "CON、NUL、COM1などの装置名は展開できません";
const char kColonReason[] = ":を含むファイル名は展開できません";
const char kControlReason[] = "制御文字を含むファイル名は展開できません";
const char kBrokenReason[] = "Shift-JISの文字として正しくないバイトを含むファイル名は展開できません";
const char kReadMessage[] =
    "ファイルの読み込みに失敗しました。\r\n実行ファイルが壊れている可能性があります。: ";

std::string Fixture(const std::string& name) {
    return TestBinDir() + "..\\test-data\\archive\\" + name;
}

// Every file and folder under root (relative paths) with the files' contents.
void Snapshot(const std::string& root, const std::string& relative,
              std::map<std::string, std::string>& out) {
    WIN32_FIND_DATAA entry;
    UniqueFindHandle search(FindFirstFileA((root + relative + "*").c_str(), &entry));
    if (!search) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[relative + name + "\\"] = "";
            Snapshot(root, relative + name + "\\", out);
        } else {
            out[relative + name] = ReadTextFile(root + relative + name);
        }
    } while (FindNextFileA(search.get(), &entry));
}

std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    Snapshot(root, "", out);
    return out;
}

// Runs a whole sequential pass; returns the ExtractNext results and fills the entry names.
std::vector<int> ExtractAll(TZlibArchiver& archiver, const std::string& destination,
                            std::vector<std::string>* names = nullptr) {
    std::vector<int> results;
    if (archiver.OpenArchive() == 0) return results;
    for (;;) {
        std::string name;
        const int result = archiver.ExtractNext(name, destination);
        results.push_back(result);
        if (names != nullptr && result != 0) names->push_back(name);
        if (result != 1) break;
    }
    return results;
}

FILETIME LocalMemberTime() {
    SYSTEMTIME system{};
    system.wYear = 2021;
    system.wMonth = 3;
    system.wDay = 4;
    system.wHour = 5;
    system.wMinute = 6;
    system.wSecond = 8;
    FILETIME local{}, universal{};
    SystemTimeToFileTime(&system, &local);
    LocalFileTimeToFileTime(&local, &universal);
    return universal;
}

struct FileTimes {
    FILETIME creation{}, access{}, write{};
};

FileTimes ReadTimes(const std::string& path) {
    FileTimes t;
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr));
    GetFileTime(file.get(), &t.creation, &t.access, &t.write);
    return t;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return CompareFileTime(&a, &b) == 0;
}

TEST(SequentialPass, KeepFoldersExtractsEveryMember) {
    TestFolder dir;
    const std::string dest = dir / "dest\\";
    TZlibArchiver archiver(Fixture("good.zip"));
    ScopedBoxAnswers boxes;
    std::vector<std::string> names;
    const std::vector<int> results = ExtractAll(archiver, dest, &names);

    EXPECT_EQ((std::vector<int>{1, 1, 1, 1, 1, 1, -1}), results);
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_EQ(7, archiver.EntryCount());
    ASSERT_EQ(7u, names.size());
    EXPECT_EQ("sub/dir/a.txt", names[1]);
    EXPECT_EQ("emptydir/", names[2]);

    EXPECT_EQ("stored data\r\n", ReadTextFile(dest + "stored.txt"));
    std::string deflated;
    for (int i = 0; i < 1000; ++i) deflated += "deflated ";
    EXPECT_EQ(deflated, ReadTextFile(dest + "sub\\dir\\a.txt"));
    EXPECT_TRUE(FolderExists(dest + "emptydir"));
    EXPECT_TRUE(FileExists(dest + "zero.bin"));
    EXPECT_EQ("", ReadTextFile(dest + "zero.bin"));
    EXPECT_EQ("日本語の内容", ReadTextFile(dest + "表\\表.txt"));

    // After the last member the archive is closed already: a later close reports false.
    EXPECT_FALSE(archiver.CloseArchive());
}

TEST(SequentialPass, WithoutKeepFoldersEverythingLandsInTheDestination) {
    TestFolder dir;
    const std::string dest = dir / "flat\\";
    TZlibArchiver archiver(Fixture("good.zip"));
    archiver.SetKeepFolders(0);
    ScopedBoxAnswers boxes;
    ExtractAll(archiver, dest);
    EXPECT_TRUE(boxes.asked().empty());
    // sub/dir/a.txt and other/a.txt land on the same target: the later one stays.
    EXPECT_EQ("the other a\r\n", ReadTextFile(dest + "a.txt"));
    EXPECT_FALSE(PathExists(dest + "sub"));
    EXPECT_FALSE(PathExists(dest + "emptydir"));
    EXPECT_EQ("日本語の内容", ReadTextFile(dest + "表.txt"));
}

TEST(SequentialPass, OnlyTheValueOneSwitchesFlagsOn) {
    TestFolder dir;
    TZlibArchiver archiver(Fixture("samename.zip"));
    archiver.SetKeepFolders(2);
    archiver.SetConfirmOverwrite(2);
    ScopedBoxAnswers boxes;
    ExtractAll(archiver, dir.path());
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_EQ("second", ReadTextFile(dir / "same.txt"));
}

TEST(Overwrite, NoKeepsTheOldFileYesReplacesIt) {
    TestFolder dir;
    TZlibArchiver archiver(Fixture("samename.zip"));
    archiver.SetKeepFolders(0);
    archiver.SetConfirmOverwrite(1);
    {
        ScopedBoxAnswers boxes{IDNO};
        EXPECT_EQ((std::vector<int>{1, -1}), ExtractAll(archiver, dir.path()));
        ASSERT_EQ(1u, boxes.asked().size());
        EXPECT_EQ("上書きしてもよろしいですか？", boxes.asked()[0].text);
        EXPECT_EQ("確認", boxes.asked()[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION), boxes.asked()[0].flags);
        EXPECT_EQ("first", ReadTextFile(dir / "same.txt"));
    }
    {
        ScopedBoxAnswers boxes{IDYES, IDYES};
        ExtractAll(archiver, dir.path());
        EXPECT_EQ(2u, boxes.asked().size());
        EXPECT_EQ("second", ReadTextFile(dir / "same.txt"));
    }
}

TEST(Overwrite, ReadOnlyTargetIsReplaced) {
    TestFolder dir;
    WriteTextFile(dir / "stored.txt", "old");
    SetFileAttributesA((dir / "stored.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    TZlibArchiver archiver(Fixture("good.zip"));
    ScopedBoxAnswers boxes;
    EXPECT_EQ(-1, ExtractAll(archiver, dir.path()).back());
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_EQ("stored data\r\n", ReadTextFile(dir / "stored.txt"));
}

TEST(Overwrite, TargetThatCannotBeWritten) {
    TestFolder dir;
    WriteTextFile(dir / "stored.txt", "held");
    UniqueFile held(CreateFileA((dir / "stored.txt").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    TZlibArchiver archiver(Fixture("good.zip"));
    ScopedBoxAnswers boxes;
    EXPECT_EQ((std::vector<int>{0}), ExtractAll(archiver, dir.path()));
    ASSERT_EQ(1u, boxes.asked().size());
    EXPECT_EQ("ファイルの書き込みに失敗しました。: " + dir.path() + "\\stored.txt",
              boxes.asked()[0].text);
    EXPECT_TRUE(archiver.CloseArchive());
    held.reset();
    EXPECT_EQ("held", ReadTextFile(dir / "stored.txt"));
}

TEST(MemberTimes, CreationAndLastWriteFromTheMemberAccessUntouched) {
    TestFolder dir;
    TZlibArchiver archiver(Fixture("good.zip"));
    ScopedBoxAnswers boxes;
    ExtractAll(archiver, dir.path());
    const FILETIME expected = LocalMemberTime();
    for (const char* name : {"stored.txt", "zero.bin", "sub\\dir\\a.txt"}) {
        const FileTimes times = ReadTimes(dir / name);
        EXPECT_TRUE(SameTime(expected, times.write)) << name;
        EXPECT_TRUE(SameTime(expected, times.creation)) << name;
        EXPECT_FALSE(SameTime(expected, times.access)) << name;
    }
}

// A single member is found by its name with backslashes or slashes and ASCII letters in any
// case; the second byte of a Shift-JIS character is compared as it is (ヂ is 0x83 0x61, ア 0x83
// 0x41), so that no other member comes out in its place.
TEST(SingleMember, FoundInAnyLetterCaseOfSingleByteCharacters) {
    const struct {
        const char* archive;
        const char* asked;
        const char* written;  // the file it lands in
        const char* content;
        const char* absent;   // a file that must not be written
    } cases[] = {
        {"good.zip", "$preextractdir$\\_$$$setting$$$_.ini", "_$$$SETTING$$$_.INI",
         "[options]\r\nAppName=x\r\n", "$preextractdir$"},
        {"kana.zip", "ア.TXT", "ア.txt", "kana a", "ヂ.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked);
        TestFolder dir;
        TZlibArchiver archiver(Fixture(c.archive));
        archiver.SetKeepFolders(0);
        ScopedBoxAnswers boxes;
        EXPECT_TRUE(archiver.ExtractFile(c.asked, dir.path()));
        EXPECT_TRUE(boxes.asked().empty());
        EXPECT_EQ(c.content, ReadTextFile(dir / c.written));
        EXPECT_FALSE(PathExists(dir / c.absent));
    }
}

TEST(SingleMember, MissingMemberIsReportedAndTheArchiveClosed) {
    TestFolder dir;
    TZlibArchiver archiver(Fixture("good.zip"));
    ScopedBoxAnswers boxes;
    EXPECT_FALSE(archiver.ExtractFile("$preextractdir$\\missing.txt", dir.path()));
    ASSERT_EQ(1u, boxes.asked().size());
    EXPECT_EQ("次のファイルが見つかりません。: $preextractdir$\\missing.txt", boxes.asked()[0].text);
    EXPECT_EQ("エラー", boxes.asked()[0].caption);
    EXPECT_FALSE(archiver.CloseArchive());
    // The archive file is not held open: it can be deleted right away.
    TestFolder copy;
    CopyFileA(Fixture("good.zip").c_str(), (copy / "g.zip").c_str(), FALSE);
    TZlibArchiver other(copy / "g.zip");
    other.ExtractFile("nothing", copy.path());
    EXPECT_TRUE(DeleteFileA((copy / "g.zip").c_str()));
}

uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST(ArchiveFiles, EveryPlacementReadsLikeTheArchiveAlone) {
    const uint64_t program = FileSize(TestBinDir() + "version_fixture.exe");
    const uint64_t archive = FileSize(Fixture("good.zip"));
    const uint64_t archive64 = FileSize(Fixture("good64.zip"));
    const uint64_t comment = 18 * 40;
    struct Placement {
        const char* file;
        uint64_t start;   // where the archive's offsets count from
        uint64_t length;  // up to the end of its end record
        bool zip64;
    };
    const Placement placements[] = {
        {"good.zip", 0, archive, false},
        {"good64.zip", 0, archive64, true},
        {"appended.exe", program, archive, false},
        {"appended64.exe", program, archive64, true},
        // Offsets counted from the start of the file, as self-extractor tools adjust them.
        {"absolute.exe", 0, program + archive, false},
        {"absolute64.exe", 0, program + archive64, true},
        {"commented.exe", program, archive + comment, false},
        // The Authenticode signature follows the archive: the archive no longer ends the file.
        {"signed.exe", program, archive, false},
        {"signed64.exe", program, archive64, true},
    };

    TestFolder alone;
    ScopedBoxAnswers boxes;
    TZlibArchiver reference(Fixture("good.zip"));
    const std::vector<int> results = ExtractAll(reference, alone.path());
    const auto expected = Snapshot(alone.path());
    ASSERT_EQ(12u, expected.size());  // 6 files and 6 folders
    for (const Placement& placement : placements) {
        SCOPED_TRACE(placement.file);
        ASSERT_TRUE(PathExists(Fixture(placement.file)))
            << "fixture missing; signing needs openssl and osslsigncode on the build machine";
        ArchiveSpan span;
        ASSERT_TRUE(FindArchive(Fixture(placement.file), span));
        EXPECT_EQ(placement.start, span.start);
        EXPECT_EQ(placement.length, span.length);
        EXPECT_EQ(placement.zip64, span.zip64);

        TestFolder dir;
        TZlibArchiver archiver(Fixture(placement.file));
        EXPECT_EQ(results, ExtractAll(archiver, dir.path()));
        EXPECT_EQ(expected, Snapshot(dir.path()));
        TestFolder single;
        archiver.SetKeepFolders(0);
        EXPECT_TRUE(archiver.ExtractFile("$preextractdir$\\_$$$setting$$$_.ini", single.path()));
    }
    EXPECT_TRUE(boxes.asked().empty());
}

TEST(ArchiveFiles, FilesWithoutAnArchive) {
    ArchiveSpan span;
    for (const std::string& path : {TestBinDir() + "version_fixture.exe", Fixture("garbage.zip"),
                                    Fixture("truncated.zip"), Fixture("no_such_file.zip")}) {
        EXPECT_FALSE(FindArchive(path, span)) << path;
        EXPECT_FALSE(ZipReader().Open(path)) << path;
    }
}

TEST(ArchiveFiles, RunningProgramCanReadItsOwnFile) {
    // The archive is opened with write sharing: another open handle with write access is fine.
    TestFolder dir;
    CopyFileA(Fixture("appended.exe").c_str(), (dir / "setup.exe").c_str(), FALSE);
    UniqueFile writer(CreateFileA((dir / "setup.exe").c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    ASSERT_TRUE(writer);
    TZlibArchiver archiver(dir / "setup.exe");
    ScopedBoxAnswers boxes;
    EXPECT_TRUE(archiver.ExtractFile("stored.txt", dir / "out\\"));
    EXPECT_TRUE(boxes.asked().empty());
}

TEST(ArchiveFiles, UnreadableArchives) {
    for (const char* name : {"truncated.zip", "garbage.zip", "no_such_file.zip"}) {
        TestFolder dir;
        TZlibArchiver archiver(Fixture(name));
        ScopedBoxAnswers boxes;
        EXPECT_EQ(0, archiver.OpenArchive()) << name;
        EXPECT_FALSE(archiver.ExtractFile("stored.txt", dir.path())) << name;
        ASSERT_EQ(2u, boxes.asked().size()) << name;
        EXPECT_EQ("ファイルのオープンに失敗しました。: " + Fixture(name), boxes.asked()[0].text);
        EXPECT_TRUE(Snapshot(dir.path()).empty()) << name;
    }
}

TEST(DamagedMembers, BadChecksumIsReportedAtCloseAndTheFileRemoved) {
    TestFolder dir;
    TZlibArchiver archiver(Fixture("badcrc.zip"));
    ScopedBoxAnswers boxes;
    EXPECT_EQ((std::vector<int>{0}), ExtractAll(archiver, dir.path()));
    ASSERT_EQ(1u, boxes.asked().size());
    EXPECT_EQ("ファイルのクローズに失敗しました。: " + Fixture("badcrc.zip"), boxes.asked()[0].text);
    EXPECT_TRUE(Snapshot(dir.path()).empty());
}

// Members whose data the reader cannot vouch for: an unknown method, encryption, a local header
// that does not repeat its central entry.
TEST(DamagedMembers, UntrustedMembersFailToOpen) {
    const struct {
        const char* archive;
        std::vector<int> results;
        const char* member;
    } cases[] = {
        {"method12.zip", {1, 0}, "bz.bin"},    {"encrypted.zip", {0}, "m.txt"},
        {"local_method.zip", {0}, "m.txt"},    {"local_name.zip", {0}, "m.txt"},
        {"local_crc.zip", {0}, "m.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        TestFolder dir;
        TZlibArchiver archiver(Fixture(c.archive));
        ScopedBoxAnswers boxes;
        EXPECT_EQ(c.results, ExtractAll(archiver, dir.path()));
        ASSERT_EQ(1u, boxes.asked().size());
        EXPECT_EQ("Archive中のファイルオープンに失敗しました。: " + dir.path() + "\\" + c.member,
                  boxes.asked()[0].text);
        EXPECT_FALSE(PathExists(dir / c.member));
        EXPECT_TRUE(archiver.CloseArchive());
    }
}

TEST(DamagedMembers, DataEndingEarlyIsAReadFailure) {
    for (const char* name : {"cutdeflate.zip", "oversize.zip"}) {
        TestFolder dir;
        TZlibArchiver archiver(Fixture(name));
        ScopedBoxAnswers boxes;
        EXPECT_EQ((std::vector<int>{0}), ExtractAll(archiver, dir.path())) << name;
        ASSERT_FALSE(boxes.asked().empty()) << name;
        const std::string& text = boxes.asked()[0].text;
        EXPECT_TRUE(text.rfind(kReadMessage, 0) == 0 ||
                    text.rfind("ファイルのクローズに失敗しました。: ", 0) == 0)
            << name << ": " << text;
        EXPECT_TRUE(archiver.CloseArchive()) << name;
    }
}

// A member that fails leaves no file of its own behind, and an existing file it was to replace
// exactly as it was; a member that succeeds replaces it whole.
struct ReplaceCase {
    const char* archive;
    const char* member;       // its target, relative to the destination
    bool existing;            // a file is there before
    bool held;                // that file is open elsewhere, without sharing deletion
    const char* message;      // start of the error box, null for none
    const char* content;      // the file's content afterwards, null for no file
    bool near_limit = false;  // in a folder whose path leaves no room for a suffix
};

// The longest folder path a folder can be created at (room for an 8.3 name, as Windows wants).
constexpr size_t kLongestFolderPath = MAX_PATH - 13;

const ReplaceCase kReplaceCases[] = {
    {"replace_badcrc.zip", "keep.txt", true, false, "ファイルのクローズに失敗しました。: ", "old"},
    {"replace_badcrc.zip", "keep.txt", false, false, "ファイルのクローズに失敗しました。: ", nullptr},
    {"cutdeflate.zip", "short.bin", true, false, kReadMessage, "old"},
    {"cutdeflate.zip", "short.bin", false, false, kReadMessage, nullptr},
    {"oversize.zip", "oversize.txt", true, false, kReadMessage, "old"},
    {"oversize.zip", "oversize.txt", false, false, kReadMessage, nullptr},
    {"replace_good.zip", "keep.txt", true, true, "ファイルの書き込みに失敗しました。: ", "old"},
    {"replace_good.zip", "keep.txt", true, false, nullptr, "new content"},
    {"replace_good.zip", "keep.txt", true, false, nullptr, "new content", true},
};

TEST(AtomicMembers, AFailedMemberLeavesTheEarlierFileAndNoPartialFile) {
    for (const ReplaceCase& c : kReplaceCases) {
        SCOPED_TRACE(std::string(c.archive) + (c.existing ? " over a file" : " new") +
                     (c.held ? ", held" : "") + (c.near_limit ? ", near the path limit" : ""));
        TestFolder test_folder;
        std::string destination = test_folder.path();
        if (c.near_limit) {
            destination += std::string(kLongestFolderPath - destination.size(), 'd') + "\\";
            ASSERT_TRUE(ForceFolders(destination));
        }
        const std::string target = destination + c.member;
        if (c.existing) WriteTextFile(target, "old");
        UniqueFile holder;
        if (c.held) {
            holder.reset(CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
        }
        TZlibArchiver archiver(Fixture(c.archive));
        ScopedBoxAnswers boxes;
        const std::vector<int> results = ExtractAll(archiver, destination);
        holder.reset();

        EXPECT_EQ(c.message == nullptr ? -1 : 0, results.back());
        if (c.message == nullptr) {
            EXPECT_TRUE(boxes.asked().empty());
        } else {
            ASSERT_EQ(1u, boxes.asked().size());
            EXPECT_EQ(0u, boxes.asked()[0].text.rfind(c.message, 0)) << boxes.asked()[0].text;
        }
        std::map<std::string, std::string> expected;
        if (c.content != nullptr) expected[c.member] = c.content;
        EXPECT_EQ(expected, Snapshot(destination));  // no part file either
        if (c.content != nullptr && c.message == nullptr) {
            EXPECT_TRUE(SameTime(LocalMemberTime(), ReadTimes(target).write));
        }
    }
}

// Archives whose central directory claims what the file does not hold: each is refused before
// anything is written, by the sequential pass and by a single-member extraction alike.
struct LyingCase {
    const char* archive;
    const char* what;
};

const LyingCase kLyingArchives[] = {
    {"lie_shared_data.zip", "200 entries on one local entry, 1 GB from 15 KB"},
    {"lie_overlap.zip", "a member's header inside another member's data"},
    {"lie_into_directory.zip", "data running into the central directory"},
    {"lie_stored_size.zip", "a stored member larger than its data"},
    {"lie_ratio.zip", "a deflated member beyond the deflate ratio"},
    {"lie_count_more.zip", "more entries counted than the directory holds"},
    {"lie_count_fewer.zip", "fewer entries counted than the directory holds"},
    {"lie_gap64.zip", "a ZIP64 directory that does not reach its end records"},
};

TEST(LyingArchives, AreRefusedBeforeAnythingIsWritten) {
    for (const LyingCase& c : kLyingArchives) {
        SCOPED_TRACE(std::string(c.archive) + ": " + c.what);
        TestFolder dir;
        TZlibArchiver archiver(Fixture(c.archive));
        ScopedBoxAnswers boxes;
        EXPECT_EQ(0, archiver.OpenArchive());
        archiver.SetKeepFolders(0);
        EXPECT_FALSE(archiver.ExtractFile("bomb/7.bin", dir.path()));
        ASSERT_EQ(2u, boxes.asked().size());
        for (const AskedBox& box : boxes.asked()) {
            EXPECT_EQ("ファイルのオープンに失敗しました。: " + Fixture(c.archive), box.text);
        }
        EXPECT_TRUE(Snapshot(dir.path()).empty());
        EXPECT_FALSE(ZipReader().Open(Fixture(c.archive)));
    }
}

TEST(LyingArchives, LocalExtraFieldPushingDataOntoTheNextMember) {
    TestFolder dir;
    TZlibArchiver archiver(Fixture("lie_local_extra.zip"));
    ScopedBoxAnswers boxes;
    EXPECT_EQ((std::vector<int>{0}), ExtractAll(archiver, dir.path()));
    ASSERT_EQ(1u, boxes.asked().size());
    EXPECT_EQ("Archive中のファイルオープンに失敗しました。: " + dir.path() + "\\first.txt",
              boxes.asked()[0].text);
    EXPECT_TRUE(Snapshot(dir.path()).empty());
}

TEST(LyingArchives, DeclaredSizeIsTheSumOfTheMembers) {
    TZlibArchiver archiver(Fixture("good.zip"));
    ScopedBoxAnswers boxes;
    ASSERT_EQ(7, archiver.OpenArchive());
    EXPECT_EQ(13u + 9000u + 0u + 0u + 13u + 12u + 22u, archiver.DeclaredSize());
    EXPECT_TRUE(archiver.CloseArchive());
}

struct UnsafeCase {
    const char* name;
    TZlibArchiver::UnsafeName kind;
    const char* reason;  // null: the message's own reason
};

using Unsafe = TZlibArchiver::UnsafeName;

const UnsafeCase kUnsafeNames[] = {
    {"/abs.txt", Unsafe::kLeadingSeparator, nullptr},
    {"\\abs.txt", Unsafe::kLeadingSeparator, nullptr},
    {"//host/share/x", Unsafe::kLeadingSeparator, nullptr},
    {"//?/C:/x", Unsafe::kLeadingSeparator, nullptr},
    {"\\\\?\\C:\\x", Unsafe::kLeadingSeparator, nullptr},
    {"../up.txt", Unsafe::kParentStep, nullptr},
    {"a/../../up.txt", Unsafe::kParentStep, nullptr},
    {"safe/..\\..\\x", Unsafe::kParentStep, nullptr},
    {"x\x81/../y", Unsafe::kParentStep, nullptr},  // a lead byte does not hide the slash
    {"a/..", Unsafe::kDotComponent, kDotReason},
    {"..", Unsafe::kDotComponent, kDotReason},
    {"a\\..", Unsafe::kDotComponent, kDotReason},
    {".", Unsafe::kDotComponent, kDotReason},
    {"./x", Unsafe::kDotComponent, kDotReason},
    {"dir./x", Unsafe::kTrailingDotOrBlank, kTrailingReason},
    {"x.", Unsafe::kTrailingDotOrBlank, kTrailingReason},
    {"x ", Unsafe::kTrailingDotOrBlank, kTrailingReason},
    {"dir /x", Unsafe::kTrailingDotOrBlank, kTrailingReason},
    {"C:x", Unsafe::kColon, kColonReason},
    {"C:/x", Unsafe::kColon, kColonReason},
    {"c:\\x", Unsafe::kColon, kColonReason},
    {"a.txt:stream", Unsafe::kColon, kColonReason},
    {"CON", Unsafe::kDeviceName, kDeviceReason},
    {"con.txt", Unsafe::kDeviceName, kDeviceReason},
    {"nul", Unsafe::kDeviceName, kDeviceReason},
    {"dir/Com1.log", Unsafe::kDeviceName, kDeviceReason},
    {"LPT9", Unsafe::kDeviceName, kDeviceReason},
    {"aux .txt", Unsafe::kDeviceName, kDeviceReason},
    {"prn/x.txt", Unsafe::kDeviceName, kDeviceReason},
    {"CONOUT$", Unsafe::kDeviceName, kDeviceReason},
    {"a\nb.txt", Unsafe::kControlCharacter, kControlReason},
    {"a\rb.txt", Unsafe::kControlCharacter, kControlReason},
    {"tab\there", Unsafe::kControlCharacter, kControlReason},
    {"a\x01", Unsafe::kControlCharacter, kControlReason},
    {"bad\x81", Unsafe::kBrokenCharacter, kBrokenReason},  // a lead byte at the end
    {"bad\x81\x20.txt", Unsafe::kBrokenCharacter, kBrokenReason},
};

// A sealed archive changed in one place at a time, and archives without a seal.
TEST(Seal, OnlyTheSealedBytesAsWrittenAreIntact) {
    TestFolder dir;
    const ZipMembers members = {{"a.txt", std::string(300, 'a')}, {"b.txt", "bbb"}};
    // Written with the placeholder comment, then sealed as mkpackage does.
    auto sealed = [&](const std::string& path, const std::string& prefix_file) {
        EXPECT_TRUE(WriteZip(path, members, prefix_file));
        std::string bytes = ReadTextFile(path);
        const std::string placeholder = SealPlaceholder();
        bytes[bytes.size() - 2] = static_cast<char>(placeholder.size());
        WriteTextFile(path, bytes + placeholder);
        EXPECT_TRUE(SealArchive(path));
        return ReadTextFile(path);
    };
    const std::string plain = sealed(dir / "plain.zip", "");
    const std::string behind = sealed(dir / "behind.exe", TestBinDir() + "version_fixture.exe");
    const size_t directory = plain.find("PK\x01\x02");
    const size_t seal = plain.find("MarlethSeal SHA-256 ");
    ASSERT_NE(std::string::npos, directory);
    ASSERT_EQ(plain.size() - 84, seal);
    ASSERT_TRUE(WriteZip(dir / "unsealed.zip", members));
    const std::string unsealed = ReadTextFile(dir / "unsealed.zip");

    // The program's CheckSum field, which signing rewrites (as the certificate table's entry).
    const uint32_t nt = static_cast<unsigned char>(behind[0x3C]) |
                        static_cast<unsigned char>(behind[0x3D]) << 8;
    const size_t checksum = nt + 4 + 20 + 64;
    const size_t program_size = ReadTextFile(TestBinDir() + "version_fixture.exe").size();

    const struct {
        const char* what;
        std::function<std::string()> bytes;
        SealState expected;
    } cases[] = {
        {"as sealed", [&] { return plain; }, SealState::kIntact},
        {"behind a program", [&] { return behind; }, SealState::kIntact},
        {"the program's checksum field", [&] { std::string b = behind; b[checksum] ^= 1; return b; },
         SealState::kIntact},
        {"a byte of the program", [&] { std::string b = behind; b[program_size / 2] ^= 1; return b; },
         SealState::kBroken},
        {"bytes after the archive", [&] { return behind + "more"; }, SealState::kBroken},
        {"zeros after the archive, no signature", [&] { return behind + std::string(4, '\0'); },
         SealState::kBroken},
        {"an archive appended", [&] { return behind + unsealed; }, SealState::kBroken},
        {"a member's data", [&] { std::string b = plain; b[60] ^= 1; return b; }, SealState::kBroken},
        {"a local header's time", [&] { std::string b = plain; b[10] ^= 1; return b; }, SealState::kBroken},
        {"the directory's attributes", [&] { std::string b = plain; b[directory + 38] ^= 1; return b; },
         SealState::kBroken},
        {"the seal's digits", [&] { std::string b = plain; b[b.size() - 1] ^= 1; return b; }, SealState::kBroken},
        {"a seal cut short", [&] {
             std::string b = plain.substr(0, plain.size() - 10);
             b[seal - 2] = static_cast<char>(b.size() - seal);
             return b;
         }, SealState::kBroken},
        {"no comment", [&] { return unsealed; }, SealState::kUnsealed},
        {"another tool's comment", [&] {
             std::string b = unsealed;
             b[b.size() - 2] = 8;
             return b + "made by ";
         }, SealState::kUnsealed},
        // A bare installer has nothing to install; bytes that are no program and no archive are
        // a package damaged (a cut installer is the end-to-end tests').
        {"a bare installer", [&] { return ReadTextFile(TestBinDir() + "setup.exe"); },
         SealState::kUnsealed},
        {"no program, no archive", [&] { return std::string("MZ not an archive"); },
         SealState::kBroken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteTextFile(dir / "case.exe", c.bytes());
        EXPECT_EQ(c.expected, CheckArchiveSeal(dir / "case.exe"));
    }
    // Sealed independently of this code (by the fixture script), ZIP64 end records included.
    EXPECT_EQ(SealState::kIntact, CheckArchiveSeal(Fixture("sealed.exe")));
    EXPECT_EQ(SealState::kIntact, CheckArchiveSeal(Fixture("sealed64.exe")));
    EXPECT_EQ(SealState::kUnsealed, CheckArchiveSeal(Fixture("commented.exe")));
    EXPECT_EQ(SealState::kUnsealed, CheckArchiveSeal(dir / "missing.exe"));
    EXPECT_FALSE(SealArchive(dir / "unsealed.zip"));  // no room for a seal
}

TEST(Names, EveryUnsafeShapeIsRefusedWithItsReasonAndNothingIsWritten) {
    for (const UnsafeCase& unsafe : kUnsafeNames) {
        SCOPED_TRACE(unsafe.name);
        EXPECT_EQ(unsafe.kind, TZlibArchiver::CheckEntryName(unsafe.name));
        EXPECT_TRUE(TZlibArchiver::IsUnsafeEntryName(unsafe.name));

        TestFolder dir;
        const std::string dest = dir / "inside\\dest\\";
        ForceFolders(dest);
        WriteTextFile(dir / "up.txt", "marker above");
        WriteTextFile(dir / "inside\\up.txt", "marker beside");
        WriteTextFile(dest + "x", "marker in destination");
        ASSERT_TRUE(WriteZip(dir / "unsafe.zip", {{unsafe.name, "must never be written"}}));
        const auto before = Snapshot(dir.path());

        TZlibArchiver archiver(dir / "unsafe.zip");
        ScopedBoxAnswers boxes;
        EXPECT_EQ((std::vector<int>{0}), ExtractAll(archiver, dest));
        ASSERT_EQ(1u, boxes.asked().size());
        const std::string expected =
            unsafe.reason == nullptr
                ? kUnsafeMessage + std::string(unsafe.name)
                : kUnsafeFirstPart + std::string(unsafe.reason) + "): " + unsafe.name;
        EXPECT_EQ(expected, boxes.asked()[0].text);
        EXPECT_EQ(before, Snapshot(dir.path()));
        EXPECT_TRUE(archiver.CloseArchive());
    }
}

TEST(Names, AZeroByteIsAControlCharacterNotTheNamesEnd) {
    TestFolder dir;
    TZlibArchiver archiver(Fixture("zeroname.zip"));
    ScopedBoxAnswers boxes;
    EXPECT_EQ((std::vector<int>{0}), ExtractAll(archiver, dir.path()));
    ASSERT_EQ(1u, boxes.asked().size());
    EXPECT_EQ(0u, boxes.asked()[0].text.find(kUnsafeFirstPart + std::string(kControlReason)));
    EXPECT_TRUE(Snapshot(dir.path()).empty());
}

TEST(Names, SafeNames) {
    for (const char* name : {"表/表.txt", "表", "dir/", "com10.txt", "console.txt", "a..b/c",
                             "..hidden", "a//b", "ｶﾀｶﾅ.txt"}) {
        EXPECT_EQ(Unsafe::kSafe, TZlibArchiver::CheckEntryName(name)) << name;  // 表 ends in 0x5C
    }
}

TEST(Names, TwoDotsInsideNamesAreAccepted) {
    TestFolder dir;
    TZlibArchiver archiver(Fixture("oddbutsafe.zip"));
    ScopedBoxAnswers boxes;
    EXPECT_EQ(-1, ExtractAll(archiver, dir.path()).back());
    EXPECT_TRUE(boxes.asked().empty());
    EXPECT_EQ("accepted", ReadTextFile(dir / "dir\\a..b"));
    EXPECT_EQ("accepted", ReadTextFile(dir / "..hidden"));
    EXPECT_EQ("accepted", ReadTextFile(dir / "表\\表.txt"));
}

TEST(Names, LongNamesAreCutAt261BytesFirst) {
    {
        TestFolder dir;
        TZlibArchiver archiver(Fixture("longname.zip"));
        archiver.SetKeepFolders(0);
        ScopedBoxAnswers boxes;
        std::vector<std::string> names;
        EXPECT_EQ((std::vector<int>{-1}), ExtractAll(archiver, dir.path(), &names));
        ASSERT_EQ(1u, names.size());
        EXPECT_EQ(261u, names[0].size());
        EXPECT_EQ("long but fine", ReadTextFile(dir / std::string(60, 'f')));
    }
    {
        // Cut after 261 bytes the last component ends in a dot, which is refused.
        TestFolder dir;
        TZlibArchiver archiver(Fixture("longcut_unsafe.zip"));
        ScopedBoxAnswers boxes;
        EXPECT_EQ((std::vector<int>{0}), ExtractAll(archiver, dir.path()));
        ASSERT_EQ(1u, boxes.asked().size());
        EXPECT_EQ(kUnsafeFirstPart + std::string(kTrailingReason) + "): " + std::string(257, 'x') +
                      "/ab.",
                  boxes.asked()[0].text);
    }
}

}  // namespace
