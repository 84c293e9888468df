// The resources of a program file, read into memory and written back in place of all it had:
// a replacement is made in the list, so nothing of the old one is left behind in the file.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

inline constexpr WORD kJapaneseLanguage = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);  // 0x0411

// A resource type or name: a number, or a text.
struct ResourceName {
    WORD id = 0;
    std::wstring text;  // empty for a number

    static ResourceName FromApi(LPCWSTR name);
    LPCWSTR ForApi() const { return text.empty() ? MAKEINTRESOURCEW(id) : text.c_str(); }
    bool Is(WORD number) const { return text.empty() && id == number; }
};

struct Resource {
    ResourceName type;
    ResourceName name;
    WORD language = 0;
    std::vector<unsigned char> data;
};

// The path for the wide resource functions (mkpackage's paths are in the ANSI code page).
std::wstring WidePath(const std::string& path);

// Every resource of the program file at path, in the file's order. False when it cannot be
// loaded.
bool ReadResources(const std::string& path, std::vector<Resource>& resources);

// Writes resources into the program file at path in place of every resource it had. The file is
// rewritten: do it before anything is appended to it. False with error filled.
bool WriteResources(const std::string& path, const std::vector<Resource>& resources,
                    std::string& error);

// The first resource of that type and number; nullptr when there is none.
const Resource* FindResourceById(const std::vector<Resource>& resources, WORD type, WORD id);

// Removes the resources of that type and number (in every language).
void RemoveResources(std::vector<Resource>& resources, WORD type, WORD id);
