// File versions: the "FileVersion" text of an executable's version resource and comparisons of
// such texts by their first three numbers.
#pragma once

#include <string>

// The file's version text, or an empty text when it has none (or cannot be read).
std::string GetFileVersionText(const std::string& path);
// True when a is strictly newer than b in its first three numbers; non-numeric fields count 0.
bool IsVersionNewer(const std::string& a, const std::string& b);
// True when file a has a version and b has none or an older one.
bool IsFileNewer(const std::string& a, const std::string& b);
