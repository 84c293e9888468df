// The registry guard of the tests: whatever a scope does to a key, the key's state comes back.
#include "support/saved_registry_key.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

#include "utils/registry.h"
#include "utils/text.h"
#include "utils/unique_any.h"

// Failure messages name the keys and values instead of their bytes.
void PrintTo(const SavedRegistryKey::Key& key, std::ostream* out) {
    *out << "[" << key.path << "]";
    for (const SavedRegistryKey::Value& value : key.values) {
        *out << " " << value.name << "(" << value.type << ")=" << value.data.size() << " bytes";
    }
}

namespace {

// A key tree of this test's own, removed when the test ends.
class OwnTree {
public:
    OwnTree() : root_("Software\\MarlethGuardTest" + IntToText(GetCurrentProcessId())) {}
    ~OwnTree() { RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str()); }
    OwnTree(const OwnTree&) = delete;
    OwnTree& operator=(const OwnTree&) = delete;
    const std::string& root() const { return root_; }

private:
    std::string root_;
};

UniqueHKey Create(const std::string& path) {
    UniqueHKey key;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    key.put(), nullptr);
    return key;
}

void SetDword(const std::string& path, const std::string& name, DWORD value) {
    RegSetValueExA(Create(path).get(), name.c_str(), 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&value), sizeof value);
}

bool Exists(const std::string& path) {
    return static_cast<bool>(OpenRegKey(HKEY_CURRENT_USER, path, KEY_READ));
}

TEST(SavedRegistryKey, PutsBackTheKeyAsItWas) {
    // The guarded key is root\Parent\Key; before makes its state, change what a test then does.
    using Step = std::function<void(const std::string& key)>;
    const Step full = [](const std::string& key) {
        WriteRegString(Create(key).get(), "InstallPath", "C:\\ホスト\\");
        WriteRegString(Create(key).get(), "", "既定");
        SetDword(key, "Count", 7);
        WriteRegString(Create(key + "\\Sub\\Deeper").get(), "Name", "深い");
    };
    const Step empty = [](const std::string& key) { Create(key); };
    const Step absent = [](const std::string&) {};
    const Step remove = [](const std::string& key) {
        RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    };
    const Step rewrite = [](const std::string& key) {
        WriteRegString(Create(key).get(), "InstallPath", "D:\\other\\");
        RegDeleteValueA(Create(key).get(), "Count");
        SetDword(key, "Added", 1);
        RegDeleteTreeA(HKEY_CURRENT_USER, (key + "\\Sub").c_str());
        Create(key + "\\New");
    };
    struct Case {
        const char* name;
        Step before;
        Step change;
    };
    const Case cases[] = {
        {"values and subkeys, deleted", full, remove},
        {"values and subkeys, rewritten", full, rewrite},
        {"values and subkeys, untouched", full, absent},
        {"empty key, filled", empty, rewrite},
        {"absent key, created with its parents", absent, rewrite},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnTree tree;
        const std::string key = tree.root() + "\\Parent\\Key";
        c.before(key);
        const auto saved = SavedRegistryKey::Read(HKEY_CURRENT_USER, key);
        const bool parent_existed = Exists(tree.root() + "\\Parent");
        {
            SavedRegistryKey guard(HKEY_CURRENT_USER, key);
            c.change(key);
        }
        EXPECT_EQ(saved, SavedRegistryKey::Read(HKEY_CURRENT_USER, key));
        EXPECT_EQ(parent_existed, Exists(tree.root() + "\\Parent"));
    }
}

}  // namespace
