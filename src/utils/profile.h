// The current profile: one INI-style file and section, chosen with SelectProfile and then used by
// key-only reads and writes. Shared by the whole run; select right before use.
#pragma once

// windows.h first in every unit: it defines WriteProfileString as a macro (for the win.ini
// functions), which then renames this module's WriteProfileString alike everywhere.
#include <windows.h>

#include <string>
#include <vector>

// Values are read into a buffer of this many bytes (value and terminating zero).
inline constexpr DWORD kProfileValueBufferSize = 32770;

void SelectProfile(const std::string& file, const char* section);
// At most 32,769 bytes; the default for a missing key; surrounding quotes removed. The key as a
// literal costs its callers no string of their own.
std::string ReadProfileString(const char* key, const char* default_value);
inline std::string ReadProfileString(const std::string& key, const char* default_value) {
    return ReadProfileString(key.c_str(), default_value);
}
// An empty value deletes the key.
void WriteProfileString(const std::string& key, const std::string& value);
// Replaces the whole section of the current profile file with the "key=value" lines, in order.
// Cost linear in the number of lines (the profile API's section write searches its keys one by
// one on some systems). Values must not hold line breaks. False when the file could not be
// written (a full disk).
bool ReplaceProfileSection(const std::string& section, const std::vector<std::string>& lines);
// The same with the lines in one text, each ending with "\r\n": one block of memory for a long
// list instead of a string for each line.
bool ReplaceProfileSectionText(const std::string& section, const std::string& lines);
int ReadProfileInt(const char* key, int default_value);
inline int ReadProfileInt(const std::string& key, int default_value) {
    return ReadProfileInt(key.c_str(), default_value);
}
bool ReadProfileBool(const std::string& key, bool default_value);
