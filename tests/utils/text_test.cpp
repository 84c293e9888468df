// Shift-JIS aware text and path helpers.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "utils/shown_text.h"
#include "utils/text.h"

namespace {

// 表 is 0x95 0x5C in code page 932: its second byte looks like a backslash.
const std::string kHyo = "表";
const std::string kPath = "C:\\dir\\" + kHyo;

TEST(ShiftJis, LiteralsAreCodePage932) {
    ASSERT_EQ(2u, kHyo.size());
    EXPECT_EQ('\x95', kHyo[0]);
    EXPECT_EQ('\\', kHyo[1]);
}

TEST(ShiftJis, SecondByteBackslashIsNoSeparator) {
    EXPECT_EQ(kHyo, FileNameOf(kPath));
    EXPECT_EQ("C:\\dir\\", FolderOf(kPath));
    EXPECT_EQ("C:\\dir", FolderOfNoSlash(kPath));
    EXPECT_EQ("C:/dir/" + kHyo, ToSlashes(kPath));
    EXPECT_EQ(kPath, ToBackslashes("C:/dir/" + kHyo));
    EXPECT_EQ(7, LastCharPos('\\', kPath));
    EXPECT_FALSE(IsDelimiterAt(kPath, static_cast<int>(kPath.size())));
    EXPECT_TRUE(IsDelimiterAt(kPath, 7));
    EXPECT_TRUE(IsDelimiterAt("a/b", 2));
    EXPECT_FALSE(IsDelimiterAt("", 1));
}

TEST(ShiftJis, TrailingDelimiters) {
    EXPECT_EQ(kPath, StripTrailingDelimiter(kPath));
    EXPECT_EQ("C:\\dir", StripTrailingDelimiter("C:\\dir\\"));
    EXPECT_EQ("C:\\dir\\", StripTrailingDelimiter("C:\\dir\\\\"));
}

// A path whose last character is 表 ends in a character, not in a separator: it gets its
// backslash like any other folder.
TEST(ShiftJis, AddBackslashLooksAtTheLastCharacter) {
    const struct {
        std::string path;
        std::string expected;
    } cases[] = {
        {kPath, kPath + "\\"},
        {kPath + "\\", kPath + "\\"},
        {"C:\\dir", "C:\\dir\\"},
        {"C:\\dir\\", "C:\\dir\\"},
        {"C:\\" + kHyo + kHyo, "C:\\" + kHyo + kHyo + "\\"},
        {"C:\\dir/", "C:\\dir/\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, AddBackslash(c.path)) << c.path;
}

TEST(PathParts, FolderAndFileWithoutBackslash) {
    EXPECT_EQ("", FolderOf("name.txt"));
    EXPECT_EQ("", FolderOfNoSlash("name.txt"));
    EXPECT_EQ("name.txt", FileNameOf("name.txt"));
    EXPECT_EQ("", FileNameOf("C:\\dir\\"));
    EXPECT_EQ("C:", FolderOfNoSlash("C:\\"));
}

TEST(PathParts, Extension) {
    EXPECT_EQ(".TXT", ExtensionOf("C:\\dir\\a.TXT"));
    EXPECT_EQ(".d\\file", ExtensionOf("C:\\dir.d\\file"));
    EXPECT_EQ("C:\\dir\\file", ExtensionOf("C:\\dir\\file"));
}

TEST(PathParts, Drive) {
    EXPECT_EQ("C:", DriveOf("C:\\dir\\a.txt"));
    EXPECT_EQ("\\\\server", DriveOf("\\\\server"));
    EXPECT_EQ("\\\\server", DriveOf("\\\\server\\share\\x"));
    EXPECT_EQ("", DriveOf("dir\\a.txt"));
    EXPECT_EQ("", DriveOf(""));
}

TEST(Search, FindNthCountsOverlappingMatches) {
    EXPECT_EQ(1, FindNth("aa", "aaa", 0));
    EXPECT_EQ(2, FindNth("aa", "aaa", 1));
    EXPECT_EQ(0, FindNth("aa", "aaa", 2));
    EXPECT_EQ(0, FindNth("abcd", "abc", 0));
    EXPECT_EQ(3, FindText("..\\", "a\\..\\b"));
    // The 0x5C inside 表 is stepped over.
    EXPECT_EQ(0, FindText("\\", kHyo + "x"));
}

TEST(Search, FindFromIsByteExactAndWalksCharacters) {
    EXPECT_EQ(4, FindFrom("abc?d", "?", 1));
    EXPECT_EQ(0, FindFrom("abc", "", 1));
    EXPECT_EQ(0, FindFrom("abc", "B", 1));
    EXPECT_EQ(0, FindFrom(kHyo + "ab", "\\", 1));
}

TEST(Fields, SplitAtSeparator) {
    std::string field;
    const char* expected[] = {"1", "2", "3", "4"};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(GetField("1.2.3.4", ".", i, field));
        EXPECT_EQ(expected[i], field);
    }
    field = "unchanged";
    EXPECT_FALSE(GetField("1.2.3.4", ".", 4, field));
    EXPECT_EQ("unchanged", field);

    ASSERT_TRUE(GetField("whole", ",", 0, field));
    EXPECT_EQ("whole", field);
    EXPECT_FALSE(GetField("whole", ",", 1, field));

    ASSERT_TRUE(GetField("a,b,", ",", 2, field));
    EXPECT_EQ("", field);
    ASSERT_TRUE(GetField("a::b::c", "::", 1, field));
    EXPECT_EQ("b", field);

    field = "kept";
    EXPECT_FALSE(GetField("", ",", 0, field));
    EXPECT_FALSE(GetField("a", "", 0, field));
    EXPECT_EQ("kept", field);
}

// What a box or a title bar shows of a long text: the start and the end in whole characters.
TEST(Text, ShortenedTextKeepsBothEndsInWholeCharacters) {
    const std::string hyo10 = [] {
        std::string t;
        for (int i = 0; i < 10; ++i) t += kHyo;
        return t;
    }();
    const struct {
        std::string text;
        size_t max_bytes;
        std::string expected;
    } cases[] = {
        {"short", 5, "short"},
        {"", 8, ""},
        {"abcdefghij", 8, "abc…hij"},
        {"abcdefghijk", 9, "abc…hijk"},
        // 表 is two bytes: neither half cuts one, and no half ends in a lone lead byte.
        {hyo10, 10, kHyo + kHyo + "…" + kHyo + kHyo},
        {hyo10, 11, kHyo + kHyo + "…" + kHyo + kHyo},
        {"a" + hyo10, 9, "a" + kHyo + "…" + kHyo + kHyo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " " + std::to_string(c.max_bytes));
        const std::string shortened = ShortenedText(c.text, c.max_bytes);
        EXPECT_EQ(c.expected, shortened);
        EXPECT_LE(shortened.size(), c.max_bytes);
    }
}

// Lines are broken between whole characters, only where they are longer than allowed.
TEST(Text, BrokenLinesBreakOnlyLongLinesBetweenCharacters) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"abcd\r\nefgh", "abcd\r\nefgh"},
        {"abcdefghij", "abcd\r\nefgh\r\nij"},
        {"ab\r\ncdefg", "ab\r\ncdef\r\ng"},
        {"a" + kHyo + kHyo + "b", "a" + kHyo + "\r\n" + kHyo + "b"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, BrokenLines(c.text, 4)) << c.text;
}

TEST(Numbers, DigitsToInt) {
    EXPECT_EQ(7, DigitsToInt("007"));
    EXPECT_EQ(12345, DigitsToInt("12345"));
    EXPECT_EQ(0, DigitsToInt(""));
    EXPECT_EQ(0, DigitsToInt("1a"));
    EXPECT_EQ(0, DigitsToInt("1 2"));
    EXPECT_EQ(0, DigitsToInt("-1"));
    EXPECT_EQ(0, DigitsToInt("+1"));
}

TEST(Numbers, Formatting) {
    EXPECT_EQ("00000409", IntToHexText(0x0409, 8));
    EXPECT_EQ("04e4", IntToHexText(0x4E4, 4));
    EXPECT_EQ("-42", IntToText(-42));
    EXPECT_EQ("2147483647", IntToText(2147483647));
    // 64-bit figures without a division: zeros inside and at the end, every power's edge.
    const std::pair<uint64_t, const char*> figures[] = {
        {0, "0"}, {7, "7"}, {10, "10"}, {1000000007, "1000000007"},
        {3000000000ULL, "3000000000"}, {9999999999999999999ULL, "9999999999999999999"},
        {10000000000000000000ULL, "10000000000000000000"},
        {18446744073709551615ULL, "18446744073709551615"}};
    for (const auto& [value, text] : figures) EXPECT_EQ(text, UInt64ToText(value));
}

TEST(Text, Trim) {
    EXPECT_EQ("a b", TrimText(std::string("\t \r\n a b \0\r\n", 12)));
    EXPECT_EQ("", TrimText(" \t\r\n"));
    EXPECT_EQ("", TrimText(""));
    EXPECT_EQ(kHyo, TrimText(" " + kHyo + " "));
}

TEST(Text, LowerCase) {
    EXPECT_EQ("abc\\" + kHyo + "def", LowerCaseText("ABC\\" + kHyo + "Def"));
    EXPECT_EQ(780u, LowerCaseText(std::string(1000, 'A')).size());
}

// What a box shows: the Japanese parts read as Shift-JIS whatever the system's code page, the
// path read in the system's; bytes that look like marks (a hostile name may hold any byte) are
// shown and stored as they were given.
TEST(ShownText, EachPartInItsOwnCodePage) {
    struct Case {
        const char* name;
        std::string text, path, end;
        unsigned system_code_page;
        std::wstring shown;
    };
    const std::string jose = "C:\\Jos\xE9";  // "José" in code page 1252
    const Case cases[] = {
        {"Japanese only, on 1252", "確認です", "", "", 1252, L"\x78BA\x8A8D\x3067\x3059"},
        {"a path on 1252", "開けません: ", jose, "。", 1252,
         L"\x958B\x3051\x307E\x305B\x3093: C:\\Jos\x00E9\x3002"},
        {"a path on 932", "開けません: ", "C:\\" + kHyo, "", 932,
         L"\x958B\x3051\x307E\x305B\x3093: C:\\\x8868"},
        {"mark bytes in the texts", std::string("a\x01") + "b\x03", std::string("\x02p"),
         std::string("\x01"), 1252, L"a\x0001" L"b\x0003\x0002p\x0001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string marked = MarkedText(c.text, c.path, c.end);
        EXPECT_EQ(c.shown, ShownMarkedText(marked, c.system_code_page));
        EXPECT_EQ(c.text + c.path + c.end, StoredText(marked));
    }
}

}  // namespace
