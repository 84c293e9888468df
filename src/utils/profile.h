// The current profile: one INI-style file and section, chosen with SelectProfile and then used by
// key-only reads and writes. Shared by the whole run; select right before use.
#pragma once

#include <string>

void SelectProfile(const std::string& file, const std::string& section);
// At most 32,769 bytes; the default for a missing key; surrounding quotes removed.
std::string ReadProfileString(const std::string& key, const std::string& default_value);
// An empty value deletes the key.
void WriteProfileString(const std::string& key, const std::string& value);
int ReadProfileInt(const std::string& key, int default_value);
bool ReadProfileBool(const std::string& key, bool default_value);
