// The rule for the names of package entries.
#include "package/entry_name.h"

#include "utils/text.h"

namespace {

bool IsReservedDeviceName(const std::string& component) {
    // The device name is the part before the first dot, trailing blanks ignored: "nul .txt"
    // opens the NUL device just as "NUL" does.
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    base = LowerCaseText(base);
    if (base == "con" || base == "prn" || base == "aux" || base == "nul" || base == "conin$" ||
        base == "conout$") {
        return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

// A path component that Windows would not store as written, or that steps out of its folder.
UnsafeName CheckComponent(const std::string& component) {
    if (component.empty()) return UnsafeName::kSafe;  // "a//b" or the end of a folder entry "dir/"
    if (component == "." || component == "..") return UnsafeName::kDotComponent;
    const char end = component.back();
    if (end == '.' || end == ' ') return UnsafeName::kTrailingDotOrBlank;
    return IsReservedDeviceName(component) ? UnsafeName::kDeviceName : UnsafeName::kSafe;
}

bool IsTrailByte(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

}  // namespace

UnsafeName CheckEntryName(const std::string& name) {
    if (name.empty()) return UnsafeName::kSafe;
    if (name[0] == '/' || name[0] == '\\') return UnsafeName::kLeadingSeparator;
    // The character-aware search is costly; most names hold no two dots at all.
    if (name.find("..") != std::string::npos &&
        (FindText("../", name) != 0 || FindText("..\\", name) != 0)) {
        return UnsafeName::kParentStep;
    }

    // Walk the name character by character. A lead byte must be followed by a valid second
    // byte; then "/", ".", ":", blanks and control bytes never hide inside a two-byte character,
    // while a backslash may (表 is 0x95 0x5C) and is no separator there.
    size_t start = 0;
    for (size_t i = 0; i <= name.size();) {
        if (i == name.size() || name[i] == '/' || name[i] == '\\') {
            const UnsafeName component = CheckComponent(name.substr(start, i - start));
            if (component != UnsafeName::kSafe) return component;
            start = ++i;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20) return UnsafeName::kControlCharacter;
        if (c == ':') return UnsafeName::kColon;  // drives, data streams
        if (IsLeadByte(c)) {
            if (i + 1 >= name.size() || !IsTrailByte(static_cast<unsigned char>(name[i + 1]))) {
                return UnsafeName::kBrokenCharacter;
            }
            i += 2;
        } else {
            i += 1;
        }
    }
    return UnsafeName::kSafe;
}
