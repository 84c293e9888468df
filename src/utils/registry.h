// Registry access: open a key, read and write text values.
#pragma once

#include <windows.h>

#include <string>

#include "utils/unique_any.h"

// The opened key, or an empty owner on any failure (GetLastError then tells which).
UniqueHKey OpenRegKey(HKEY root, const std::string& sub_key, REGSAM access);
// The value's text up to its first zero byte; the default when the key is empty, the value is
// missing or it has no bytes. An empty name reads the key's default value.
std::string ReadRegString(HKEY key, const std::string& name, const std::string& default_value);
// Opens the key with write access, creating it (and its parents) when missing; empty on failure.
UniqueHKey CreateRegKey(HKEY root, const std::string& sub_key);
// Writes a REG_SZ value, terminating zero included.
bool WriteRegString(HKEY key, const std::string& name, const std::string& text);
// Writes a REG_SZ value given in UTF-16, which every system shows as written.
bool WriteRegWideString(HKEY key, const std::string& name, const std::wstring& text);
bool WriteRegDword(HKEY key, const std::string& name, DWORD value);
