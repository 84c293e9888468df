// SHA-256 of a file or of a byte range of one, for checking a download against the value its
// publisher gives and a package against its seal.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "utils/sha256.h"

// Feeds length bytes of the open file, from offset on, to hash, read in blocks so that memory
// stays flat; false when the file cannot be read or ends before the range does.
bool HashFileRange(HANDLE file, uint64_t offset, uint64_t length, Sha256& hash);
// The SHA-256 of the whole open file (read from its start) as 64 lower-case hexadecimal digits,
// or an empty text when it cannot be read.
std::string HandleSha256(HANDLE file);
// The file's SHA-256 as 64 lower-case hexadecimal digits, or an empty text when the file cannot
// be read.
std::string FileSha256(const std::string& path);
// The file's size and CRC-32 (as a ZIP archive records them for its members); false when it
// cannot be read.
bool FileSizeAndCrc32(const std::string& path, uint64_t& size, uint32_t& crc);
// True for 64 hexadecimal digits (either case).
bool IsSha256Text(const std::string& text);
