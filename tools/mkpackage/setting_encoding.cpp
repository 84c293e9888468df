// Checking that the setting file is Shift-JIS text, and naming the conversion when it is not.
#include "setting_encoding.h"

#include <windows.h>

#include <cstdio>

#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

constexpr UINT kCodePage = 932;
const char kUtf8Bom[] = "\xEF\xBB\xBF";

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bytes.clear();
    char buffer[16384];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    return true;
}

bool IsTrailByte(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// A two-byte character that code page 932 assigns (the structure alone allows unassigned ones).
bool IsAssigned(const char* pair) {
    wchar_t wide = 0;
    return MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, pair, 2, &wide, 1) == 1;
}

// Length of the UTF-8 sequence starting at i, or 0 when none starts there.
size_t Utf8SequenceLength(const std::string& bytes, size_t i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t length = 0;
    uint32_t minimum = 0;
    uint32_t value = 0;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2, minimum = 0x80, value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3, minimum = 0x800, value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4, minimum = 0x10000, value = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        value = value << 6 | (next & 0x3F);
    }
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    return value >= minimum && value <= 0x10FFFF && !surrogate ? length : 0;
}

std::string ByteText(const std::string& bytes, size_t at, size_t count) {
    std::string text;
    for (size_t i = at; i < at + count && i < bytes.size(); ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%s0x%02X", text.empty() ? "" : " ",
                      static_cast<unsigned char>(bytes[i]));
        text += hex;
    }
    return text;
}

// "tail -c +4 setting.ini | iconv ...": the conversion a package author runs on Linux.
std::string ConversionHint(const std::string& path, const char* from, bool strip_bom) {
    const std::string name = FileNameOf(path);
    const std::string input = strip_bom ? "tail -c +4 " + name + " | " : "";
    const std::string source = strip_bom ? "" : " " + name;
    return "; convert it to Shift-JIS (code page 932), for example with\n    " + input +
           "iconv -f " + from + " -t CP932" + source + " > " + name + ".sjis && mv " + name +
           ".sjis " + name + "\n  or save it as Shift-JIS (ANSI) in your editor";
}

}  // namespace

size_t FirstNonShiftJisByte(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == 0 || c == 0x80 || c == 0xA0 || c >= 0xFD) return i;
        if (!IsLeadByte(c)) {
            ++i;
            continue;
        }
        if (i + 1 >= bytes.size() || !IsTrailByte(static_cast<unsigned char>(bytes[i + 1])) ||
            !IsAssigned(bytes.data() + i)) {
            return i;
        }
        i += 2;
    }
    return std::string::npos;
}

bool IsUtf8WithMultiByteCharacters(const std::string& bytes) {
    bool multi_byte = false;
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0) return false;
        multi_byte = multi_byte || length > 1;
        i += length;
    }
    return multi_byte;
}

void CheckSettingEncoding(const std::string& path, std::vector<std::string>& problems) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return;  // a missing file is reported on its own
    const std::string subject = "setting file " + path;
    const std::string garbled =
        ": the installer reads it as Shift-JIS (code page 932) and would show its Japanese texts "
        "garbled";
    if (bytes.compare(0, 3, kUtf8Bom) == 0) {
        problems.push_back(subject + " is saved as UTF-8 with a byte-order mark" + garbled +
                           ConversionHint(path, "UTF-8", true));
    } else if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        problems.push_back(subject + " is saved as UTF-16" + garbled +
                           ConversionHint(path, "UTF-16", false));
    } else if (IsUtf8WithMultiByteCharacters(bytes)) {
        problems.push_back(subject + " is saved as UTF-8" + garbled +
                           ConversionHint(path, "UTF-8", false));
    } else {
        const size_t bad = FirstNonShiftJisByte(bytes);
        if (bad == std::string::npos) return;
        size_t line = 1;
        for (size_t i = 0; i < bad; ++i) line += bytes[i] == '\n' ? 1 : 0;
        problems.push_back(subject + " is not Shift-JIS (code page 932) text: line " +
                           std::to_string(line) + " holds bytes that are no character (" +
                           ByteText(bytes, bad, 2) + " at offset " + std::to_string(bad) +
                           "); save it as Shift-JIS");
    }
}
