// The current profile: INI-file access by key within a selected file and section.
#include "utils/profile.h"

#include <windows.h>

#include <vector>

namespace {

struct CurrentProfile {
    std::string file;
    std::string section;
};

CurrentProfile& Current() {
    static CurrentProfile profile;
    return profile;
}

constexpr DWORD kReadBufferSize = 32770;  // 32,769 bytes of value and the terminating zero

}  // namespace

void SelectProfile(const std::string& file, const std::string& section) {
    Current() = {file, section};
}

std::string ReadProfileString(const std::string& key, const std::string& default_value) {
    std::vector<char> buffer(kReadBufferSize, '\0');
    const DWORD length = GetPrivateProfileStringA(Current().section.c_str(), key.c_str(),
                                                  default_value.c_str(), buffer.data(),
                                                  kReadBufferSize, Current().file.c_str());
    return std::string(buffer.data(), std::min<DWORD>(length, kReadBufferSize - 1));
}

void WriteProfileString(const std::string& key, const std::string& value) {
    WritePrivateProfileStringA(Current().section.c_str(), key.c_str(),
                               value.empty() ? nullptr : value.c_str(), Current().file.c_str());
}

int ReadProfileInt(const std::string& key, int default_value) {
    return static_cast<int>(GetPrivateProfileIntA(Current().section.c_str(), key.c_str(),
                                                  default_value, Current().file.c_str()));
}

bool ReadProfileBool(const std::string& key, bool default_value) {
    return ReadProfileInt(key, default_value ? 1 : 0) != 0;
}
