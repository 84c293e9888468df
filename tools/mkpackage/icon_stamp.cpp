#include "icon_stamp.h"

#include <windows.h>

#include <algorithm>

#include "utils/files.h"

namespace {

constexpr size_t kIconHeaderSize = 6;   // reserved, type, count
constexpr size_t kFileEntrySize = 16;   // the 12 shared bytes, then the data's offset
constexpr size_t kGroupEntrySize = 14;  // the 12 shared bytes, then the image's resource id
constexpr size_t kSharedEntrySize = 12;
constexpr size_t kMostImages = 256;    // far more than any icon has
constexpr size_t kEntryBytesAt = 8;     // the data's byte count, inside the shared bytes

constexpr WORD kIconType = 3;        // RT_ICON
constexpr WORD kGroupIconType = 14;  // RT_GROUP_ICON

uint32_t Read16(const unsigned char* at) { return at[0] | at[1] << 8; }
uint32_t Read32(const unsigned char* at) { return Read16(at) | Read16(at + 2) << 16; }

void Append16(std::vector<unsigned char>& bytes, uint32_t value) {
    bytes.push_back(static_cast<unsigned char>(value & 0xFF));
    bytes.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

// The group resource: the icon header, then per image its shared bytes and resource id.
std::vector<unsigned char> GroupData(const IconFile& icon, const std::vector<WORD>& ids) {
    std::vector<unsigned char> group;
    Append16(group, 0);
    Append16(group, 1);
    Append16(group, static_cast<uint32_t>(icon.images.size()));
    for (size_t i = 0; i < icon.images.size(); ++i) {
        const IconImage& image = icon.images[i];
        group.insert(group.end(), image.entry.begin(), image.entry.end());
        Append16(group, ids[i]);
    }
    return group;
}

// The image ids a group resource names.
std::vector<WORD> GroupImageIds(const std::vector<unsigned char>& group) {
    std::vector<WORD> ids;
    if (group.size() < kIconHeaderSize) return ids;
    const size_t count = Read16(group.data() + 4);
    for (size_t i = 0; i < count && kIconHeaderSize + (i + 1) * kGroupEntrySize <= group.size(); ++i) {
        ids.push_back(static_cast<WORD>(
            Read16(group.data() + kIconHeaderSize + i * kGroupEntrySize + kSharedEntrySize)));
    }
    return ids;
}

// count image ids that no image among resources has, lowest first.
std::vector<WORD> FreeImageIds(const std::vector<Resource>& resources, size_t count) {
    std::vector<WORD> ids;
    for (WORD id = 1; ids.size() < count && id != 0; ++id) {
        if (!FindResourceById(resources, kIconType, id)) ids.push_back(id);
    }
    return ids;
}

}  // namespace

bool ReadIconFile(const std::string& path, IconFile& icon, std::string& error) {
    const auto refuse = [&](const std::string& why) {
        error = path + " is not a usable icon file (.ico): " + why;
        return false;
    };
    std::string text;
    if (!ReadWholeFile(path, text)) return refuse("it cannot be read");
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    if (text.size() < kIconHeaderSize || Read16(bytes) != 0 || Read16(bytes + 2) != 1) {
        return refuse("no icon header");
    }
    const size_t count = Read16(bytes + 4);
    if (count == 0) return refuse("it holds no image");
    if (count > kMostImages) {
        return refuse("it holds more than " + std::to_string(kMostImages) + " images");
    }
    if (kIconHeaderSize + count * kFileEntrySize > text.size()) {
        return refuse("its directory runs past the end of the file");
    }
    IconFile read;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* entry = bytes + kIconHeaderSize + i * kFileEntrySize;
        const size_t size = Read32(entry + kEntryBytesAt);
        const size_t offset = Read32(entry + kSharedEntrySize);
        if (size == 0 || offset > text.size() || size > text.size() - offset) {
            return refuse("image " + std::to_string(i + 1) + " lies outside the file");
        }
        IconImage image;
        image.entry.assign(entry, entry + kSharedEntrySize);
        image.data.assign(bytes + offset, bytes + offset + size);
        read.images.push_back(std::move(image));
    }
    icon = std::move(read);
    return true;
}

void StampIcon(std::vector<Resource>& resources, uint16_t group_id, const IconFile& icon) {
    const Resource* own = FindResourceById(resources, kGroupIconType, group_id);
    const WORD language = own ? own->language : kJapaneseLanguage;
    if (own) {
        for (WORD id : GroupImageIds(own->data)) RemoveResources(resources, kIconType, id);
        RemoveResources(resources, kGroupIconType, group_id);
    }
    const std::vector<WORD> ids = FreeImageIds(resources, icon.images.size());
    for (size_t i = 0; i < icon.images.size(); ++i) {
        resources.push_back({ResourceName{kIconType, {}}, ResourceName{ids[i], {}}, language,
                             icon.images[i].data});
    }
    resources.push_back({ResourceName{kGroupIconType, {}}, ResourceName{group_id, {}}, language,
                         GroupData(icon, ids)});
}
