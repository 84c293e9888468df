// Member names: refusal reasons, code page 932 conversion and Windows' case folding.
#include "member_names.h"

#include <windows.h>

#include <cstdio>

#include "package/entry_name.h"

namespace {

constexpr UINT kCodePage = 932;

}  // namespace

std::string RefusalReason(const std::string& member_name) {
    switch (CheckEntryName(member_name)) {
        case UnsafeName::kSafe: return "";
        case UnsafeName::kLeadingSeparator: return "it begins with \"/\" or \"\\\"";
        case UnsafeName::kParentStep: return "it steps up a folder with \"../\" or \"..\\\"";
        case UnsafeName::kDotComponent: return "a folder or file in it is named \".\" or \"..\"";
        case UnsafeName::kTrailingDotOrBlank:
            return "a folder or file name in it ends in a dot or a blank, which Windows drops";
        case UnsafeName::kDeviceName:
            return "a folder or file name in it is a Windows device name (CON, PRN, AUX, NUL, "
                   "CONIN$, CONOUT$, COM1-9, LPT1-9, also with an extension)";
        case UnsafeName::kColon: return "it holds a colon (a drive or a data stream)";
        case UnsafeName::kControlCharacter: return "it holds a control character";
        case UnsafeName::kBrokenCharacter:
            return "it holds a byte that begins no complete Shift-JIS character";
    }
    return "the installer refuses it";
}

bool ToCodePage932(const std::wstring& name, std::string& out, uint32_t& unmappable) {
    out = ToCodePage932Lossy(name);
    // A character without a form of its own comes back as another one (or "?"): compare the
    // round trip character by character to find it.
    const std::wstring back = FromCodePage932(out);
    if (back == name) return true;
    size_t i = 0;
    while (i < name.size() && i < back.size() && name[i] == back[i]) ++i;
    unmappable = i < name.size() ? name[i] : 0;
    if (unmappable >= 0xD800 && unmappable < 0xDC00 && i + 1 < name.size()) {
        unmappable = 0x10000 + ((unmappable - 0xD800) << 10) + (name[i + 1] - 0xDC00);
    }
    return false;
}

std::string ToCodePage932Lossy(const std::wstring& name) {
    if (name.empty()) return "";
    const int size = WideCharToMultiByte(kCodePage, 0, name.data(), static_cast<int>(name.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(kCodePage, 0, name.data(), static_cast<int>(name.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring FromCodePage932(const std::string& name) {
    if (name.empty()) return L"";
    const int size = MultiByteToWideChar(kCodePage, 0, name.data(), static_cast<int>(name.size()),
                                         nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(kCodePage, 0, name.data(), static_cast<int>(name.size()), out.data(), size);
    return out;
}

std::string CodePointText(uint32_t code_point) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code_point));
    return text;
}

std::wstring CaseKey(const std::string& name) {
    const std::wstring wide = FromCodePage932(name);
    std::wstring key(wide.size(), L'\0');
    if (!wide.empty()) {
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), static_cast<int>(wide.size()),
                     key.data(), static_cast<int>(key.size()));
    }
    return key;
}
