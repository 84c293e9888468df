// A registry key a test changes or deletes without owning it, put back when the scope ends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Saves the key's state (whether it exists, its values and its subkeys with theirs) when
// constructed; when the scope ends, however it ends, deletes the key as it then stands and
// rebuilds exactly the saved state (or, when the key was absent, deletes it and the parents
// that have been created above it since).
class SavedRegistryKey {
public:
    SavedRegistryKey(HKEY root, const std::string& path);
    ~SavedRegistryKey();
    SavedRegistryKey(const SavedRegistryKey&) = delete;
    SavedRegistryKey& operator=(const SavedRegistryKey&) = delete;

    // One value as stored: its name, type and bytes.
    struct Value {
        std::string name;
        DWORD type = REG_NONE;
        std::string data;
        bool operator==(const Value& other) const {
            return name == other.name && type == other.type && data == other.data;
        }
    };
    // One key of the saved tree: its path below the saved key ("" for the key itself).
    struct Key {
        std::string path;
        std::vector<Value> values;
        bool operator==(const Key& other) const {
            return path == other.path && values == other.values;
        }
    };
    // The key and its subkeys, each parent before its children; empty when the key is absent.
    static std::vector<Key> Read(HKEY root, const std::string& path);

private:
    HKEY root_;
    std::string path_;
    std::vector<Key> saved_;
    std::string first_absent_;  // the topmost of path's keys that did not exist, when it did not
};
