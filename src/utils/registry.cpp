// Registry access through the A functions (and RegSetValueExW for text in UTF-16).
#include "utils/registry.h"

#include <vector>

#include "utils/text.h"

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

UniqueHKey CreateRegKey(HKEY root, const std::string& sub_key) {
    UniqueHKey key;
    if (RegCreateKeyExA(root, sub_key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
        return UniqueHKey();
    }
    return key;
}

bool WriteRegWideString(HKEY key, const std::string& name, const std::wstring& text) {
    return RegSetValueExW(key, WideText(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool WriteRegDword(HKEY key, const std::string& name, DWORD value) {
    return RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}
