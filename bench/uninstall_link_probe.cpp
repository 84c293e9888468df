// Benchmark helper: what the system shows of the entries of one folder, in the folder's listing
// and on a handle opened the uninstaller's way (relative to the folder, without following a
// reparse point). It tells whether a listing could replace the name query that proves no link
// was followed: only if a linked entry differs from a plain one in the listing (attributes,
// reparse tag) or its listed id differs from the opened handle's.
//   uninstall_link_probe.exe FOLDER NAME...
// One line a name: the listing's attributes, reparse tag and file id, then the handle's
// attributes, file id and object name.
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "utils/unique_any.h"

namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtQueryObjectFn = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);

constexpr ULONG kSynchronousIo = 0x00000020;
constexpr ULONG kOpenForBackupIntent = 0x00004000;
constexpr ULONG kOpenReparsePoint = 0x00200000;
constexpr ULONG kOpenExisting = 1;
constexpr ULONG kCaseInsensitive = 0x00000040;
constexpr auto kObjectNameInformation = static_cast<OBJECT_INFORMATION_CLASS>(1);

template <typename Function>
Function NativeFunction(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

std::wstring Wide(const char* text) {
    std::wstring wide(std::strlen(text), L'\0');
    const int length = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(wide.size()),
                                           wide.data(), static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return wide;
}

// One entry of the folder's listing.
struct Listed {
    std::wstring name;
    DWORD attributes = 0;
    DWORD reparse_tag = 0;  // the listing gives a reparse point's tag in place of its EA size
    unsigned long long id = 0;
};

std::vector<Listed> List(HANDLE folder) {
    std::vector<Listed> entries;
    std::vector<unsigned char> buffer(65536);
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(folder, kind, buffer.data(),
                                        static_cast<DWORD>(buffer.size()))) {
        kind = FileIdBothDirectoryInfo;
        for (size_t offset = 0;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(&buffer[offset]);
            entries.push_back({std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t)),
                               info->FileAttributes, info->EaSize,
                               static_cast<unsigned long long>(info->FileId.QuadPart)});
            if (info->NextEntryOffset == 0) break;
            offset += info->NextEntryOffset;
        }
    }
    return entries;
}

// The handle's attributes, file id and object name, opened as the uninstaller opens.
void PrintOpened(HANDLE folder, std::wstring name) {
    static const auto create = NativeFunction<NtCreateFileFn>("NtCreateFile");
    static const auto query_name = NativeFunction<NtQueryObjectFn>("NtQueryObject");
    UNICODE_STRING unicode_name;
    unicode_name.Buffer = name.data();
    unicode_name.Length = unicode_name.MaximumLength =
        static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof attributes;
    attributes.RootDirectory = folder;
    attributes.ObjectName = &unicode_name;
    attributes.Attributes = kCaseInsensitive;
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    const NTSTATUS status =
        create(&opened, FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &io, nullptr, 0,
               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kOpenExisting,
               kSynchronousIo | kOpenReparsePoint | kOpenForBackupIntent, nullptr, 0);
    if (status < 0) {
        std::printf("  not opened (status %08lx)\n", static_cast<unsigned long>(status));
        return;
    }
    const UniqueFile file(opened);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    BY_HANDLE_FILE_INFORMATION information{};
    GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof tag);
    GetFileInformationByHandle(file.get(), &information);
    std::vector<char> buffer(sizeof(UNICODE_STRING) + 65536 * sizeof(wchar_t));
    ULONG length = 0;
    std::wstring object_name = L"?";
    if (query_name(file.get(), kObjectNameInformation, buffer.data(),
                   static_cast<ULONG>(buffer.size()), &length) >= 0) {
        const auto* named = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
        object_name.assign(named->Buffer, named->Length / sizeof(wchar_t));
    }
    const unsigned long long id =
        (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) |
        information.nFileIndexLow;
    std::printf("  opened: attributes %08lx tag %08lx id %llu name %ls\n", tag.FileAttributes,
                tag.ReparseTag, id, object_name.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: uninstall_link_probe.exe FOLDER NAME...\n", stderr);
        return 2;
    }
    const UniqueFile folder(CreateFileA(argv[1],
                                        FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const std::vector<Listed> entries = List(folder.get());
    for (int i = 2; i < argc; ++i) {
        const std::wstring name = Wide(argv[i]);
        std::printf("%s\n", argv[i]);
        bool listed = false;
        for (const Listed& entry : entries) {
            if (entry.name != name) continue;
            listed = true;
            std::printf("  listed: attributes %08lx tag %08lx id %llu\n", entry.attributes,
                        entry.reparse_tag, entry.id);
        }
        if (!listed) std::printf("  not listed\n");
        PrintOpened(folder.get(), name);
    }
    return 0;
}
