// Shift-JIS (code page 932) aware text and path helpers. Texts are byte strings; positions are
// 1-based byte positions and 0 means "not found". Searches for separators walk whole characters,
// so the second byte of a two-byte character (which may be 0x5C, a backslash) is never mistaken
// for a separator.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// The code page of the program's own texts and of the package's: Shift-JIS.
inline constexpr unsigned kJapaneseCodePage = 932;

bool IsLeadByte(unsigned char b);

// Position of the last one-byte character c among the walk's positions; 0 if none.
int LastCharPos(char c, const std::string& text);
// True when the byte at n is "\" or "/" and n starts a character.
bool IsDelimiterAt(const std::string& text, int n);
// Position of the (n+1)-th occurrence of needle (0-based n); matches may overlap. Compared with
// CompareStringA in the user's default locale.
int FindNth(const std::string& needle, const std::string& text, int n);
int FindText(const std::string& needle, const std::string& text);
// First position at or after start where needle stands byte for byte; 0 if none.
int FindFrom(const std::string& text, const std::string& needle, int start);
// Field number index of text split at separator. On false, field is left unchanged.
bool GetField(const std::string& text, const std::string& separator, int index, std::string& field);

std::string FolderOf(const std::string& path);
std::string FolderOfNoSlash(const std::string& path);
std::string FileNameOf(const std::string& path);
std::string ExtensionOf(const std::string& path);
std::string DriveOf(const std::string& path);
std::string StripTrailingDelimiter(const std::string& path);
// The path ending in a backslash: one is appended unless its last character is one.
std::string AddBackslash(const std::string& path);
std::string ToSlashes(const std::string& path);
std::string ToBackslashes(const std::string& path);

// The text's first 780 bytes (all of a name, path or hash) lower-cased by the system's ANSI case
// mapping; the rest is cut.
std::string LowerCaseText(const std::string& text);
// A name as a key that ignores the letter case of one-byte letters (the second byte of a
// two-byte character is kept as it is), as the file system compares names.
std::string FileNameKey(const std::string& name);
// The text in UTF-16, read in the given code page (0: the system's ANSI code page, in which the
// A functions take paths).
std::wstring WideText(const std::string& text, unsigned code_page = 0);
// True when the two names are equal as the file system compares names (letter case ignored).
bool SameFileName(const std::wstring& a, const std::wstring& b);
// The UTF-16 text in the code page (0: the system's ANSI code page); what it cannot hold becomes
// the code page's default character.
std::string NarrowText(const std::wstring& text, unsigned code_page = 0);
std::string IntToText(int32_t value);
// In decimal, whatever its size.
std::string UInt64ToText(uint64_t value);
std::string IntToHexText(uint32_t value, int width);
std::string TrimText(const std::string& text);
// The parts one after the other: one call instead of a chain of concatenations, each of which
// the compiler expands in place.
std::string JoinText(std::initializer_list<std::string_view> parts);
// The text between double quotes, as messages name things.
std::string Quoted(const std::string& text);
// The text when it has at most max_bytes bytes (4 or more); otherwise its beginning and its
// end, whole characters, joined by "…", in at most max_bytes bytes: what a box or a title bar can
// show, with the end of a message (its question) kept.
std::string ShortenedText(const std::string& text, size_t max_bytes);
// The text with a line break (CR LF) inserted wherever a line would be longer than
// max_line_bytes, between whole characters: a box sizes itself to its longest line, and Wine's
// breaks no word (nor a run of Japanese) of its own.
std::string BrokenLines(const std::string& text, size_t max_line_bytes);
// A plain run of decimal digits (at most 19) as a number; anything else (a sign, a blank, a
// letter, an empty text) is 0.
uint64_t DigitsToSize(const std::string& text);
int DigitsToInt(const std::string& text);
// Sorts the numbers in ascending order: one copy of the sort for every list the programs order
// by number (a sort is a kilobyte of code each time it is written out).
void SortNumbers(std::vector<uint64_t>& numbers);
