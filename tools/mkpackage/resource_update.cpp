#include "resource_update.h"

#include <algorithm>

#include "utils/unique_any.h"

namespace {

// A program file loaded for its resources alone.
struct ModuleTraits {
    using Type = HMODULE;
    static Type Empty() { return nullptr; }
    static bool Close(Type module) { return FreeLibrary(module) != FALSE; }
};
using UniqueModule = UniqueAny<ModuleTraits>;

// A resource update left unfinished: dropped without writing anything.
struct ResourceUpdateTraits {
    using Type = HANDLE;
    static Type Empty() { return nullptr; }
    static bool Close(Type update) { return EndUpdateResourceW(update, TRUE) != FALSE; }
};
using UniqueResourceUpdate = UniqueAny<ResourceUpdateTraits>;

struct Reading {
    HMODULE module;
    std::vector<Resource>* resources;
    ResourceName type;
    ResourceName name;
};

BOOL CALLBACK AddLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language,
                          LONG_PTR context) {
    Reading& reading = *reinterpret_cast<Reading*>(context);
    HRSRC found = FindResourceExW(module, type, name, language);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* data = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
    Resource resource{reading.type, reading.name, language, {}};
    if (data) resource.data.assign(data, data + SizeofResource(module, found));
    reading.resources->push_back(std::move(resource));
    return TRUE;
}

BOOL CALLBACK AddName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR context) {
    Reading& reading = *reinterpret_cast<Reading*>(context);
    reading.name = ResourceName::FromApi(name);
    EnumResourceLanguagesW(module, type, name, AddLanguage, context);
    return TRUE;
}

BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR context) {
    Reading& reading = *reinterpret_cast<Reading*>(context);
    reading.type = ResourceName::FromApi(type);
    EnumResourceNamesW(module, type, AddName, context);
    return TRUE;
}

}  // namespace

ResourceName ResourceName::FromApi(LPCWSTR name) {
    ResourceName result;
    if (IS_INTRESOURCE(name)) {
        result.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    } else {
        result.text = name;
    }
    return result;
}

std::wstring WidePath(const std::string& path) {
    if (path.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                                           nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), length);
    return wide;
}

bool ReadResources(const std::string& path, std::vector<Resource>& resources) {
    UniqueModule module(LoadLibraryExW(WidePath(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return false;
    std::vector<Resource> read;
    Reading reading{module.get(), &read, {}, {}};
    EnumResourceTypesW(module.get(), AddType, reinterpret_cast<LONG_PTR>(&reading));
    resources = std::move(read);
    return true;
}

bool WriteResources(const std::string& path, const std::vector<Resource>& resources,
                    std::string& error) {
    UniqueResourceUpdate update(BeginUpdateResourceW(WidePath(path).c_str(), TRUE));
    if (!update) {
        error = "cannot open " + path + " to write its resources";
        return false;
    }
    for (const Resource& resource : resources) {
        std::vector<unsigned char> data = resource.data;
        if (!UpdateResourceW(update.get(), resource.type.ForApi(), resource.name.ForApi(),
                             resource.language, data.data(), static_cast<DWORD>(data.size()))) {
            error = "cannot write the resources of " + path;
            return false;
        }
    }
    if (!EndUpdateResourceW(update.release(), FALSE)) {
        error = "cannot write the resources into " + path;
        return false;
    }
    return true;
}

const Resource* FindResourceById(const std::vector<Resource>& resources, WORD type, WORD id) {
    for (const Resource& resource : resources) {
        if (resource.type.Is(type) && resource.name.Is(id)) return &resource;
    }
    return nullptr;
}

void RemoveResources(std::vector<Resource>& resources, WORD type, WORD id) {
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [type, id](const Resource& resource) {
                                       return resource.type.Is(type) && resource.name.Is(id);
                                   }),
                    resources.end());
}
