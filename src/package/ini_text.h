// An INI text read once and looked up the way the profile API reads it, for the long lists of
// the install record (uinstall.ini's INSTALLEDFILE and its check section, a run's record): the
// profile API looks a key up by walking the section, so reading 30,000 items key by key would
// take time quadratic in their number.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class IniText {
public:
    explicit IniText(std::string text) : text_(std::move(text)) {}

    // The value of key in the first section of that name (names compared without regard to
    // ASCII case); false when there is no such key. Blanks around the value and one pair of
    // surrounding double quotes are removed, as the profile API does.
    bool Value(std::string_view section, std::string_view key, std::string& value) const;
    // Every key of the section that is prefix followed by a decimal index ("item0", "item17";
    // no leading zeros), with its value, by index: gaps in the numbering are stepped over, not
    // taken for the end, and of two equal keys the first counts, as for the profile API.
    std::vector<std::pair<size_t, std::string_view>> Indexed(std::string_view section,
                                                             std::string_view prefix) const;

private:
    // The lines of the section's body: [begin, end) in text_; begin == npos when there is none.
    void FindSection(std::string_view section, size_t& begin, size_t& end) const;
    template <typename Visit>
    void ForEachEntry(std::string_view section, Visit visit) const;

    std::string text_;
};
