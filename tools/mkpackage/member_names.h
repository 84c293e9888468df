// Member names as the installer and Windows will see them: the installer's refusals with their
// reasons, names that code page 932 cannot hold, and names that differ only in letter case.
#pragma once

#include <cstdint>
#include <string>

// Why the installer refuses to extract a member of this name (as stored, "/" separators), in
// words for the package author; empty when it extracts it.
std::string RefusalReason(const std::string& member_name);

// name in code page 932, strictly: false when a character has no code page 932 form (best-fit
// replacements do not count); unmappable is then its code point.
bool ToCodePage932(const std::wstring& name, std::string& out, uint32_t& unmappable);
// name in code page 932 with "?" for what it cannot hold, for messages.
std::string ToCodePage932Lossy(const std::wstring& name);
std::wstring FromCodePage932(const std::string& name);
// "U+301C"
std::string CodePointText(uint32_t code_point);

// The name (code page 932) in upper case as Windows compares file names: two names with the same
// key stand for the same file or folder. Letters of every script are folded, the full-width
// Latin ones of code page 932 included.
std::wstring CaseKey(const std::string& name);
