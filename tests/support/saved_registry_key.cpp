// Saving a registry key's tree and putting it back.
#include "support/saved_registry_key.h"

#include "utils/registry.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

std::vector<SavedRegistryKey::Value> ReadValues(HKEY key) {
    DWORD count = 0, longest_name = 0, longest_data = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longest_name, &longest_data, nullptr, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<SavedRegistryKey::Value> values;
    for (DWORD i = 0; i < count; ++i) {
        std::string name(longest_name + 1, '\0');
        std::string data(longest_data, '\0');
        DWORD name_length = static_cast<DWORD>(name.size());
        DWORD data_length = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        if (RegEnumValueA(key, i, name.data(), &name_length, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &data_length) != ERROR_SUCCESS) {
            continue;
        }
        name.resize(name_length);
        data.resize(data_length);
        values.push_back({name, type, data});
    }
    return values;
}

std::vector<std::string> SubkeyNames(HKEY key) {
    DWORD count = 0, longest = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<std::string> names;
    for (DWORD i = 0; i < count; ++i) {
        std::string name(longest + 1, '\0');
        DWORD length = static_cast<DWORD>(name.size());
        if (RegEnumKeyExA(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS) {
            name.resize(length);
            names.push_back(name);
        }
    }
    return names;
}

void ReadTree(HKEY root, const std::string& path, const std::string& relative,
              std::vector<SavedRegistryKey::Key>& out) {
    const std::string full = relative.empty() ? path : path + "\\" + relative;
    UniqueHKey key;
    if (RegOpenKeyExA(root, full.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    out.push_back({relative, ReadValues(key.get())});
    for (const std::string& name : SubkeyNames(key.get())) {
        ReadTree(root, path, relative.empty() ? name : relative + "\\" + name, out);
    }
}

void WriteKey(HKEY root, const std::string& path, const SavedRegistryKey::Key& saved) {
    const std::string full = saved.path.empty() ? path : path + "\\" + saved.path;
    UniqueHKey key;
    if (RegCreateKeyExA(root, full.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    for (const SavedRegistryKey::Value& value : saved.values) {
        RegSetValueExA(key.get(), value.name.c_str(), 0, value.type,
                       reinterpret_cast<const BYTE*>(value.data.data()),
                       static_cast<DWORD>(value.data.size()));
    }
}

bool KeyExists(HKEY root, const std::string& path) {
    return static_cast<bool>(OpenRegKey(root, path, KEY_READ));
}

}  // namespace

std::vector<SavedRegistryKey::Key> SavedRegistryKey::Read(HKEY root, const std::string& path) {
    std::vector<Key> keys;
    ReadTree(root, path, "", keys);
    return keys;
}

SavedRegistryKey::SavedRegistryKey(HKEY root, const std::string& path)
    : root_(root), path_(path), saved_(Read(root, path)), first_absent_(path) {
    // A key that was absent goes with the parents a test's run created above it.
    while (saved_.empty()) {
        const std::string parent = FolderOfNoSlash(first_absent_);
        if (parent.empty() || KeyExists(root, parent)) break;
        first_absent_ = parent;
    }
}

SavedRegistryKey::~SavedRegistryKey() {
    RegDeleteTreeA(root_, (saved_.empty() ? first_absent_ : path_).c_str());
    for (const Key& key : saved_) WriteKey(root_, path_, key);
}
