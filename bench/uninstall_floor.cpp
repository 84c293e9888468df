// Benchmark helper: the system calls of the uninstaller's checked removal and nothing else, as
// the floor of its design: for every file of a list, an open relative to its folder without
// following a link, the attribute query, the name query, a read, the deletion mark and the close
// (the uninstaller's own bookkeeping, record and folders left out). Each step is timed apart.
//   uninstall_floor.exe ROOT LIST [--without name|read]
// LIST holds one name relative to ROOT a line, files of one folder after each other; it is read
// before the timing starts. --without leaves out the name query, or the attribute query and the
// read (so that no file descriptor is fetched): what that check costs.
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_report.h"

namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtQueryObjectFn = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);

constexpr ULONG kSynchronousIo = 0x00000020;
constexpr ULONG kNonDirectoryFile = 0x00000040;
constexpr ULONG kOpenReparsePoint = 0x00200000;
constexpr ULONG kOpenExisting = 1;
constexpr ULONG kCaseInsensitive = 0x00000040;
constexpr auto kObjectNameInformation = static_cast<OBJECT_INFORMATION_CLASS>(1);

template <typename Function>
Function NativeFunction(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                           wide.data(), static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return wide;
}

// Seconds spent in each step, summed over the files.
struct Steps {
    double open = 0, attributes = 0, name = 0, read = 0, mark = 0, close = 0;
};

// Adds the seconds since the last call to one step.
class Clock {
public:
    Clock() { QueryPerformanceCounter(&last_); }
    void Charge(double& step) {
        step += SecondsSince(last_);
        QueryPerformanceCounter(&last_);
    }

private:
    LARGE_INTEGER last_{};
};

class FolderHandle {
public:
    ~FolderHandle() { reset(); }
    bool Open(const std::string& path) {
        reset();
        handle_ = CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        return handle_ != INVALID_HANDLE_VALUE;
    }
    HANDLE get() const { return handle_; }

private:
    void reset() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

int main(int argc, char** argv) {
    const bool without_name = argc == 5 && std::strcmp(argv[3], "--without") == 0 &&
                              std::strcmp(argv[4], "name") == 0;
    const bool without_read = argc == 5 && std::strcmp(argv[3], "--without") == 0 &&
                              std::strcmp(argv[4], "read") == 0;
    if (argc != 3 && !without_name && !without_read) {
        std::fputs("usage: uninstall_floor.exe ROOT LIST [--without name|read]\n", stderr);
        return 2;
    }
    std::string root = argv[1];
    if (!root.empty() && root.back() != '\\') root += '\\';
    std::vector<std::string> paths;
    std::ifstream list(argv[2]);
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) paths.push_back(line);
    }
    const auto create = NativeFunction<NtCreateFileFn>("NtCreateFile");
    const auto query_name = NativeFunction<NtQueryObjectFn>("NtQueryObject");
    std::vector<char> name(sizeof(UNICODE_STRING) + 65536 * sizeof(wchar_t));
    std::vector<char> data(65536);

    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    Steps steps;
    FolderHandle folder;
    std::string folder_path;
    int deleted = 0;
    for (const std::string& path : paths) {
        const size_t slash = path.rfind('\\');
        const std::string parent = slash == std::string::npos ? "" : path.substr(0, slash);
        if (folder.get() == INVALID_HANDLE_VALUE || folder_path != parent) {
            if (!folder.Open(root + parent)) continue;
            folder_path = parent;
        }
        std::wstring wide = Wide(path.substr(slash == std::string::npos ? 0 : slash + 1));
        UNICODE_STRING unicode_name;
        unicode_name.Buffer = wide.data();
        unicode_name.Length = unicode_name.MaximumLength =
            static_cast<USHORT>(wide.size() * sizeof(wchar_t));
        OBJECT_ATTRIBUTES attributes{};
        attributes.Length = sizeof attributes;
        attributes.RootDirectory = folder.get();
        attributes.ObjectName = &unicode_name;
        attributes.Attributes = kCaseInsensitive;
        IO_STATUS_BLOCK io{};
        HANDLE file = nullptr;
        Clock clock;
        if (create(&file, DELETE | FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES |
                              SYNCHRONIZE,
                   &attributes, &io, nullptr, 0, FILE_SHARE_READ | FILE_SHARE_DELETE, kOpenExisting,
                   kNonDirectoryFile | kSynchronousIo | kOpenReparsePoint, nullptr, 0) < 0) {
            continue;
        }
        clock.Charge(steps.open);
        if (!without_read) {
            FILE_ATTRIBUTE_TAG_INFO tag{};
            GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag);
        }
        clock.Charge(steps.attributes);
        if (!without_name) {
            ULONG length = 0;
            query_name(file, kObjectNameInformation, name.data(), static_cast<ULONG>(name.size()),
                       &length);
        }
        clock.Charge(steps.name);
        if (!without_read) {
            DWORD read = 0;
            ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &read, nullptr);
        }
        clock.Charge(steps.read);
        FILE_DISPOSITION_INFO disposition{TRUE};
        const bool marked =
            SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
        clock.Charge(steps.mark);
        CloseHandle(file);
        clock.Charge(steps.close);
        deleted += marked ? 1 : 0;
    }
    PrintReport(deleted, SecondsSince(start));
    const double per_file = 1e6 / (deleted > 0 ? deleted : 1);
    std::printf("microseconds a file: open=%.1f attributes=%.1f name=%.1f read=%.1f mark=%.1f "
                "close=%.1f\n",
                steps.open * per_file, steps.attributes * per_file, steps.name * per_file,
                steps.read * per_file, steps.mark * per_file, steps.close * per_file);
    return deleted == static_cast<int>(paths.size()) ? 0 : 1;
}
