#include "version_stamp.h"

#include <windows.h>


namespace {

constexpr WORD kVersionResourceId = 1;
constexpr WORD kShiftJisCodePage = 932;
constexpr WORD kBinaryValue = 0;
constexpr WORD kTextValue = 1;

constexpr WORD kVersionType = 16;  // RT_VERSION

std::wstring Widen(const std::string& text, UINT code_page) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

void PadToFour(std::vector<unsigned char>& bytes) {
    while (bytes.size() % 4 != 0) bytes.push_back(0);
}

void PutWord(std::vector<unsigned char>& bytes, size_t at, size_t value) {
    bytes[at] = static_cast<unsigned char>(value & 0xFF);
    bytes[at + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

void AppendText(std::vector<unsigned char>& bytes, const std::wstring& text) {
    for (wchar_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
    }
    bytes.push_back(0);
    bytes.push_back(0);
}

// One node of a version resource: its length, the value's length (words for a text, bytes
// otherwise), the type, the key, then the value and the children, each starting on four bytes.
// The length leaves out the padding after the last child.
std::vector<unsigned char> Node(const std::wstring& key, WORD type, const void* value,
                                size_t value_bytes, size_t value_length,
                                const std::vector<std::vector<unsigned char>>& children = {}) {
    std::vector<unsigned char> bytes(6, 0);
    AppendText(bytes, key);
    PadToFour(bytes);
    const auto* first = static_cast<const unsigned char*>(value);
    bytes.insert(bytes.end(), first, first + value_bytes);
    for (const std::vector<unsigned char>& child : children) {
        PadToFour(bytes);
        bytes.insert(bytes.end(), child.begin(), child.end());
    }
    PutWord(bytes, 0, bytes.size());
    PutWord(bytes, 2, value_length);
    PutWord(bytes, 4, type);
    return bytes;
}

std::vector<unsigned char> TextNode(const std::wstring& key, const std::wstring& value) {
    std::vector<unsigned char> text;
    AppendText(text, value);
    return Node(key, kTextValue, text.data(), text.size(), value.size() + 1);
}

std::vector<unsigned char> Block(const std::wstring& key,
                                 const std::vector<std::vector<unsigned char>>& children) {
    return Node(key, kTextValue, nullptr, 0, 0, children);
}

VS_FIXEDFILEINFO FixedInfo(const std::array<uint16_t, 4>& version) {
    VS_FIXEDFILEINFO info{};
    info.dwSignature = VS_FFI_SIGNATURE;
    info.dwStrucVersion = VS_FFI_STRUCVERSION;
    info.dwFileVersionMS = MAKELONG(version[1], version[0]);
    info.dwFileVersionLS = MAKELONG(version[3], version[2]);
    info.dwProductVersionMS = info.dwFileVersionMS;
    info.dwProductVersionLS = info.dwFileVersionLS;
    info.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
    info.dwFileOS = VOS__WINDOWS32;
    info.dwFileType = VFT_APP;
    return info;
}

}  // namespace

bool ParseProductVersion(const std::string& text, std::array<uint16_t, 4>& version) {
    std::array<uint16_t, 4> parts{};
    size_t part = 0;
    size_t at = 0;
    while (true) {
        if (part == parts.size() || at == text.size() || text[at] < '0' || text[at] > '9') {
            return false;
        }
        unsigned long value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            value = value * 10 + static_cast<unsigned long>(text[at] - '0');
            if (value > 0xFFFF) return false;
            ++at;
        }
        parts[part++] = static_cast<uint16_t>(value);
        if (at == text.size()) break;
        if (text[at] != '.') return false;
        ++at;
    }
    version = parts;
    return true;
}

std::string VersionText(const std::array<uint16_t, 4>& version) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
           std::to_string(version[2]) + "." + std::to_string(version[3]);
}

std::vector<unsigned char> BuildVersionInfo(const ProductStamp& stamp) {
    const std::wstring version = Widen(VersionText(stamp.version), CP_ACP);
    const std::wstring product = Widen(stamp.product_name, kShiftJisCodePage);
    std::vector<std::vector<unsigned char>> strings;
    if (!stamp.publisher.empty()) {
        strings.push_back(TextNode(L"CompanyName", Widen(stamp.publisher, kShiftJisCodePage)));
    }
    strings.push_back(TextNode(L"FileDescription", product));
    strings.push_back(TextNode(L"FileVersion", version));
    strings.push_back(TextNode(L"ProductName", product));
    strings.push_back(TextNode(L"ProductVersion", version));

    const DWORD translation = MAKELONG(kJapaneseLanguage, kShiftJisCodePage);
    const VS_FIXEDFILEINFO fixed = FixedInfo(stamp.version);
    return Node(L"VS_VERSION_INFO", kBinaryValue, &fixed, sizeof fixed, sizeof fixed,
                {Block(L"StringFileInfo", {Block(L"041103a4", strings)}),
                 Block(L"VarFileInfo", {Node(L"Translation", kBinaryValue, &translation,
                                             sizeof translation, sizeof translation)})});
}

void StampProduct(std::vector<Resource>& resources, const ProductStamp& stamp) {
    const Resource* own = FindResourceById(resources, kVersionType, kVersionResourceId);
    Resource version{ResourceName{kVersionType, {}}, ResourceName{kVersionResourceId, {}},
                     own ? own->language : kJapaneseLanguage, BuildVersionInfo(stamp)};
    RemoveResources(resources, kVersionType, kVersionResourceId);
    resources.push_back(std::move(version));
}
