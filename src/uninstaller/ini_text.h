// An INI text read once and looked up the way the profile API reads it, for the long lists of
// uinstall.ini (INSTALLEDFILE and its check section): the profile API looks a key up by walking
// the section, so reading 30,000 items key by key would take time quadratic in their number.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class IniText {
public:
    explicit IniText(std::string text) : text_(std::move(text)) {}

    // The value of key in the first section of that name (names compared without regard to
    // ASCII case); false when there is no such key. Blanks around the value and one pair of
    // surrounding double quotes are removed, as the profile API does.
    bool Value(std::string_view section, std::string_view key, std::string& value) const;
    // The values of "item0", "item1", ... of the section, up to the first missing or empty one.
    std::vector<std::string_view> Items(std::string_view section) const;
    // The values of "item0" to "item<count-1>" of the section, empty where a key is missing.
    std::vector<std::string_view> ItemsByIndex(std::string_view section, size_t count) const;

private:
    // The lines of the section's body: [begin, end) in text_; begin == npos when there is none.
    void FindSection(std::string_view section, size_t& begin, size_t& end) const;
    template <typename Visit>
    void ForEachEntry(std::string_view section, Visit visit) const;

    std::string text_;
};

// The whole file, or false when it can't be read.
bool ReadWholeFile(const std::string& path, std::string& content);
