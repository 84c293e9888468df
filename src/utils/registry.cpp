// Registry access through RegOpenKeyExA, RegQueryValueExA and RegSetValueExA.
#include "utils/registry.h"

#include <vector>

UniqueHKey OpenRegKey(HKEY root, const std::string& sub_key, REGSAM access) {
    UniqueHKey key;
    const LONG result = RegOpenKeyExA(root, sub_key.c_str(), 0, access, key.put());
    SetLastError(static_cast<DWORD>(result));
    return result == ERROR_SUCCESS ? std::move(key) : UniqueHKey();
}

std::string ReadRegString(HKEY key, const std::string& name, const std::string& default_value) {
    if (key == nullptr) return default_value;
    DWORD size = 0;
    RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &size);
    if (size == 0) return default_value;
    std::vector<char> buffer(size + 2, '\0');
    DWORD read_size = size;
    if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer.data()), &read_size) != ERROR_SUCCESS) {
        return default_value;
    }
    return std::string(buffer.data());
}

bool WriteRegString(HKEY key, const std::string& name, const std::string& text) {
    return RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}
