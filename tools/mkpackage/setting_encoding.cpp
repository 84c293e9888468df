// Telling the encodings of authors' text files apart and converting them to Shift-JIS with CR LF.
#include "setting_encoding.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "member_names.h"
#include "utils/text.h"

namespace {

constexpr UINT kCodePage = 932;
const char kUtf8Bom[] = "\xEF\xBB\xBF";
const char kUtf16LeBom[] = "\xFF\xFE";
const char kUtf16BeBom[] = "\xFE\xFF";

bool StartsWith(const std::string& bytes, const char* prefix) {
    return bytes.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
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

// The offset of the first byte from start on that begins no valid UTF-8 sequence, or npos; sets
// multi_byte when a sequence of two or more bytes was seen.
size_t FirstNonUtf8Byte(const std::string& bytes, size_t start, bool& multi_byte) {
    multi_byte = false;
    for (size_t i = start; i < bytes.size();) {
        const size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0) return i;
        multi_byte = multi_byte || length > 1;
        i += length;
    }
    return std::string::npos;
}

std::string NotValidProblem(const std::string& bytes, size_t at, const char* encoding) {
    return "line " + std::to_string(LineAt(bytes, at)) + " holds bytes that are no " + encoding +
           " character (" + ByteText(bytes, at, 2) + " at offset " + std::to_string(at) + ")";
}

// The UTF-8 bytes from start on as UTF-16; false with problem set when they are not UTF-8.
bool DecodeUtf8(const std::string& bytes, size_t start, std::wstring& wide, std::string& problem) {
    bool multi_byte = false;
    const size_t bad = FirstNonUtf8Byte(bytes, start, multi_byte);
    if (bad != std::string::npos) {
        problem = NotValidProblem(bytes, bad, "UTF-8");
        return false;
    }
    const int length = static_cast<int>(bytes.size() - start);
    if (length == 0) return true;
    const int size =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + start, length, nullptr, 0);
    wide.assign(static_cast<size_t>(size), L'\0');
    if (size == 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + start,
                                         length, wide.data(), size) != size) {
        problem = "it cannot be read as UTF-8";
        return false;
    }
    return true;
}

// The UTF-16 bytes after the 2-byte byte-order mark as UTF-16 in memory order.
bool DecodeUtf16(const std::string& bytes, bool big_endian, std::wstring& wide,
                 std::string& problem) {
    if (bytes.size() % 2 != 0) {
        problem = "it ends in half a UTF-16 character (an odd number of bytes)";
        return false;
    }
    wide.reserve(bytes.size() / 2);
    for (size_t i = 2; i < bytes.size(); i += 2) {
        const unsigned first = static_cast<unsigned char>(bytes[i]);
        const unsigned second = static_cast<unsigned char>(bytes[i + 1]);
        wide.push_back(static_cast<wchar_t>(big_endian ? first << 8 | second : second << 8 | first));
    }
    return true;
}

// CR LF, a lone LF and a lone CR become CR LF.
std::wstring WithCrLf(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' || text[i] == L'\n') {
            out += L"\r\n";
            if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// wide[0, count) in code page 932 without best-fit look-alikes; false when a character has no form
// of its own there.
bool ToExactShiftJis(const wchar_t* wide, size_t count, std::string& out) {
    out.clear();
    if (count == 0) return true;
    const int length = static_cast<int>(count);
    BOOL used_default = FALSE;
    const int size = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0,
                                         nullptr, &used_default);
    if (size == 0 || used_default) return false;
    out.assign(static_cast<size_t>(size), '\0');
    return WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, length, out.data(), size,
                               nullptr, &used_default) == size &&
           !used_default;
}

// What editors on other systems write for characters that code page 932 holds under another code
// point (the JIS mapping against Microsoft's), and the code point to write instead.
struct LookAlike {
    uint32_t written;
    wchar_t instead;
};
constexpr LookAlike kLookAlikes[] = {
    {0x301C, 0xFF5E},  // WAVE DASH: FULLWIDTH TILDE
    {0x2016, 0x2225},  // DOUBLE VERTICAL LINE: PARALLEL TO
    {0x2212, 0xFF0D},  // MINUS SIGN: FULLWIDTH HYPHEN-MINUS
    {0x2014, 0x2015},  // EM DASH: HORIZONTAL BAR
    {0x00A2, 0xFFE0},  // CENT SIGN: FULLWIDTH CENT SIGN
    {0x00A3, 0xFFE1},  // POUND SIGN: FULLWIDTH POUND SIGN
    {0x00A5, 0xFFE5},  // YEN SIGN: FULLWIDTH YEN SIGN
    {0x00AC, 0xFFE2},  // NOT SIGN: FULLWIDTH NOT SIGN
};

std::string InsteadHint(uint32_t code_point) {
    for (const LookAlike& look_alike : kLookAlikes) {
        if (look_alike.written != code_point) continue;
        std::string glyph;
        ToExactShiftJis(&look_alike.instead, 1, glyph);
        return "; write " + glyph + " (" + CodePointText(look_alike.instead) + ") instead";
    }
    return "";
}

// The message for the first character of text (CR LF line ends) that code page 932 cannot hold.
std::string UnmappableProblem(const std::wstring& text) {
    size_t line = 1;
    std::string ignored;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool pair = text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        if (!ToExactShiftJis(text.data() + i, pair ? 2 : 1, ignored)) {
            const uint32_t code_point =
                pair ? 0x10000 + ((text[i] - 0xD800u) << 10) + (text[i + 1] - 0xDC00u) : text[i];
            return "line " + std::to_string(line) + " holds " + CodePointText(code_point) +
                   ", which Shift-JIS (code page 932) cannot hold" + InsteadHint(code_point);
        }
        if (text[i] == L'\n') ++line;
        if (pair) ++i;
    }
    return "it holds a character that Shift-JIS (code page 932) cannot hold";
}

// The bytes read in the code page (the whole text, invalid bytes replaced).
std::wstring Decoded(UINT code_page, const std::string& bytes) {
    const int length = static_cast<int>(bytes.size());
    std::wstring wide(bytes.size(), L'\0');
    wide.resize(static_cast<size_t>(
        MultiByteToWideChar(code_page, 0, bytes.data(), length, wide.data(), length)));
    return wide;
}

}  // namespace

TextEncoding DetectTextEncoding(const std::string& bytes) {
    if (StartsWith(bytes, kUtf8Bom)) return TextEncoding::kUtf8WithBom;
    if (StartsWith(bytes, kUtf16LeBom)) return TextEncoding::kUtf16Le;
    if (StartsWith(bytes, kUtf16BeBom)) return TextEncoding::kUtf16Be;
    bool multi_byte = false;
    if (FirstNonUtf8Byte(bytes, 0, multi_byte) != std::string::npos || !multi_byte) {
        return TextEncoding::kShiftJis;
    }
    // Never a guess: a text that is Shift-JIS as well may be either, if the readings differ.
    if (FirstNonShiftJisByte(bytes) == std::string::npos &&
        Decoded(CP_UTF8, bytes) != Decoded(kCodePage, bytes)) {
        return TextEncoding::kUtf8OrShiftJis;
    }
    return TextEncoding::kUtf8;
}

std::string AmbiguousProblem(const std::string& bytes) {
    size_t at = 0;
    while (at < bytes.size() && static_cast<unsigned char>(bytes[at]) < 0x80) ++at;
    return "line " + std::to_string(LineAt(bytes, at)) + " (" + ByteText(bytes, at, 2) +
           ") reads one way as UTF-8 and another as Shift-JIS (code page 932), and mkpackage "
           "does not guess: save it as UTF-8 with a byte-order mark, or (if it was meant as UTF-8) as "
           "Shift-JIS";
}

const char* EncodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::kShiftJis: return "Shift-JIS";
        case TextEncoding::kUtf8: return "UTF-8";
        case TextEncoding::kUtf8WithBom: return "UTF-8 with a byte-order mark";
        case TextEncoding::kUtf16Le: return "UTF-16 (little-endian)";
        case TextEncoding::kUtf16Be: return "UTF-16 (big-endian)";
        case TextEncoding::kUtf8OrShiftJis: return "UTF-8 or Shift-JIS";
    }
    return "?";
}

bool ConvertToShiftJis(const std::string& bytes, TextEncoding encoding, std::string& shift_jis,
                       std::string& problem) {
    std::wstring wide;
    bool decoded = false;
    switch (encoding) {
        case TextEncoding::kShiftJis:
            problem = "it is Shift-JIS already";
            return false;
        case TextEncoding::kUtf8OrShiftJis:
            problem = AmbiguousProblem(bytes);
            return false;
        case TextEncoding::kUtf8: decoded = DecodeUtf8(bytes, 0, wide, problem); break;
        case TextEncoding::kUtf8WithBom: decoded = DecodeUtf8(bytes, 3, wide, problem); break;
        case TextEncoding::kUtf16Le: decoded = DecodeUtf16(bytes, false, wide, problem); break;
        case TextEncoding::kUtf16Be: decoded = DecodeUtf16(bytes, true, wide, problem); break;
    }
    if (!decoded) return false;
    const std::wstring text = WithCrLf(wide);
    std::string converted;
    if (!ToExactShiftJis(text.data(), text.size(), converted)) {
        problem = UnmappableProblem(text);
        return false;
    }
    shift_jis = std::move(converted);
    return true;
}

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

size_t LineAt(const std::string& bytes, size_t offset) {
    size_t line = 1;
    for (size_t i = 0; i < offset && i < bytes.size(); ++i) line += bytes[i] == '\n' ? 1 : 0;
    return line;
}
