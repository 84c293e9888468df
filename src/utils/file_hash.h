// SHA-256 of a file, for checking a download against the value its publisher gives.
#pragma once

#include <string>

// The file's SHA-256 as 64 lower-case hexadecimal digits, or an empty text when the file cannot
// be read (or the system offers no SHA-256).
std::string FileSha256(const std::string& path);
// True for 64 hexadecimal digits (either case).
bool IsSha256Text(const std::string& text);
