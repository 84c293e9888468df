// File version resources and version comparison.
#include "utils/version.h"

#include <windows.h>

#include <array>
#include <vector>

#include "utils/text.h"

std::string GetFileVersionText(const std::string& path) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) return std::string();
    std::vector<char> info(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, info.data())) return std::string();

    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length) ||
        length < sizeof(DWORD)) {
        return std::string();
    }
    // The entry's low word is the language, its high word the code page; the sub-block name
    // wants the language first (041103a4 for Japanese in code page 932).
    const std::string digits = IntToHexText(*static_cast<const DWORD*>(value), 8);
    const std::string language_first = digits.substr(4, 4) + digits.substr(0, 4);

    const std::string block = JoinText({"\\StringFileInfo\\", language_first, "\\FileVersion"});
    value = nullptr;
    length = 0;
    if (!VerQueryValueA(info.data(), block.c_str(), &value, &length) || length == 0) {
        return std::string();
    }
    const char* text = static_cast<const char*>(value);
    return std::string(text, strnlen(text, length));
}

namespace {

std::array<int, 3> LeadingNumbers(const std::string& version) {
    std::array<int, 3> numbers{};
    for (int i = 0; i < 3; ++i) {
        std::string field;
        GetField(version, ".", i, field);
        numbers[i] = DigitsToInt(field);
    }
    return numbers;
}

}  // namespace

bool IsVersionNewer(const std::string& a, const std::string& b) {
    return LeadingNumbers(a) > LeadingNumbers(b);
}

bool IsFileNewer(const std::string& a, const std::string& b) {
    const std::string version_a = GetFileVersionText(a);
    if (version_a.empty()) return false;
    const std::string version_b = GetFileVersionText(b);
    if (version_b.empty()) return true;
    return IsVersionNewer(version_a, version_b);
}
