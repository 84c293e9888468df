// The setting file's bytes: the installer reads it as Shift-JIS (code page 932), so a file saved
// in UTF-8 or UTF-16 shows every Japanese text garbled.
#pragma once

#include <string>
#include <vector>

// Adds a message, with the conversion to offer, when the file at path is not Shift-JIS text.
void CheckSettingEncoding(const std::string& path, std::vector<std::string>& problems);

// Where bytes stop being Shift-JIS text: the offset of the first byte that begins no valid
// character (a NUL byte included), or npos when every byte is part of one.
size_t FirstNonShiftJisByte(const std::string& bytes);
// True when bytes are valid UTF-8 and hold at least one character of two or more bytes.
bool IsUtf8WithMultiByteCharacters(const std::string& bytes);
