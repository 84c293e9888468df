// Helpers for tests.
#include "support/test_support.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "support/installer_driver.h"
#include "utils/files.h"
#include "utils/text.h"

TestFolder::TestFolder() {
    char temp[MAX_PATH + 1];
    GetTempPathA(sizeof temp, temp);
    static int counter = 0;
    std::ostringstream name;
    name << AddBackslash(temp) << "itest_" << GetCurrentProcessId() << "_" << GetTickCount() << "_"
         << ++counter;
    path_ = name.str();
    ForceFolders(path_);
    path_ = AddBackslash(path_);
}

TestFolder::~TestFolder() {
    DeleteTree(path_);
}

void WriteTextFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ChosenFolderName() {
    return GetACP() == 932 ? "選んだ表" : "\xE9t\xE9-chosen";
}

std::string AllowedAccess(const std::string& path) {
    const DWORD any_sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    std::string allowed;
    if (UniqueFile(CreateFileA(path.c_str(), GENERIC_READ, any_sharing, nullptr, OPEN_EXISTING, 0,
                               nullptr))) {
        allowed += "reading ";
    }
    if (UniqueFile(CreateFileA(path.c_str(), GENERIC_WRITE, any_sharing, nullptr, OPEN_EXISTING, 0,
                               nullptr))) {
        allowed += "writing ";
    }
    const std::string moved = path + ".moved";
    if (MoveFileA(path.c_str(), moved.c_str())) {
        allowed += "renaming ";
        MoveFileA(moved.c_str(), path.c_str());
    }
    if (DeleteFileA(path.c_str())) allowed += "deleting ";
    return allowed;
}

namespace {

void SnapshotInto(const std::string& root, const std::string& relative,
                  std::map<std::string, std::string>& out) {
    WIN32_FIND_DATAA entry;
    UniqueFindHandle search(FindFirstFileA((root + relative + "*").c_str(), &entry));
    if (!search) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = relative + name;
        const DWORD attributes = entry.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            out[path] = "<link>";
        } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            out[path] = "<folder>";
            SnapshotInto(root, path + "\\", out);
        } else {
            out[path] = ReadTextFile(root + path);
        }
    } while (FindNextFileA(search.get(), &entry));
}

}  // namespace

std::map<std::string, std::string> SnapshotTree(const std::string& folder) {
    std::map<std::string, std::string> out;
    SnapshotInto(folder, "", out);
    return out;
}

bool SetLastWriteHoursAgo(const std::string& path, int hours) {
    UniqueFile handle(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value{};
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    value.QuadPart -= static_cast<uint64_t>(hours) * 60 * 60 * 10000000;
    const FILETIME then{value.LowPart, value.HighPart};
    return handle && SetFileTime(handle.get(), nullptr, nullptr, &then);
}

bool ReadIconBitmaps(HICON icon, IconBitmaps& bitmaps) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return false;
    bitmaps.color.reset(info.hbmColor);
    bitmaps.mask.reset(info.hbmMask);
    return true;
}

ScopedVariable::ScopedVariable(const std::string& name) : name_(name) {
    const DWORD size = GetEnvironmentVariableA(name_.c_str(), nullptr, 0);
    was_set_ = size != 0;
    if (!was_set_) return;
    old_.resize(size);
    old_.resize(GetEnvironmentVariableA(name_.c_str(), old_.data(), size));
}

ScopedVariable::ScopedVariable(const std::string& name, const std::string& value)
    : ScopedVariable(name) {
    SetEnvironmentVariableA(name_.c_str(), value.c_str());
}

ScopedVariable::~ScopedVariable() {
    SetEnvironmentVariableA(name_.c_str(), was_set_ ? old_.c_str() : nullptr);
}

ScopedCurrentFolder::ScopedCurrentFolder(const std::string& folder) {
    char old[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(MAX_PATH, old);
    old_ = old;
    SetCurrentDirectoryA(folder.c_str());
}

ScopedCurrentFolder::~ScopedCurrentFolder() {
    SetCurrentDirectoryA(old_.c_str());
}

std::string UnixPath(const std::string& windows_path) {
    // Exported by Wine's kernel32 only; the result is allocated on the process heap.
    using UnixFileName = char*(CDECL*)(const WCHAR*);
    const auto convert = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, windows_path.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, windows_path.c_str(), -1, wide.data(), length);
    char* unix_path = convert(wide.c_str());
    if (unix_path == nullptr) return {};
    std::string result = unix_path;  // in the locale's encoding, UTF-8
    HeapFree(GetProcessHeap(), 0, unix_path);
    return result;
}

int RunUnixProgram(const std::vector<std::string>& arguments) {
    // Wine's own call for starting a Linux program and waiting for it (CreateProcess would start
    // it too, but hands out no handle to wait on): the exit status, or -1.
    using UnixSpawn = LONG(CDECL*)(char* const* argv, int wait);
    const auto spawn = reinterpret_cast<UnixSpawn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "__wine_unix_spawnvp")));
    if (spawn == nullptr || arguments.empty()) return -1;
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    return static_cast<int>(spawn(argv.data(), TRUE));
}

bool MakeUnixSymlink(const std::string& target, const std::string& link) {
    // The link's folder must exist for its Linux path to be found.
    const std::string unix_target = UnixPath(target);
    const std::string unix_folder = UnixPath(StripTrailingDelimiter(FolderOf(link)));
    return !unix_target.empty() && !unix_folder.empty() &&
           RunUnixProgram({"/bin/ln", "-s", "--", unix_target,
                           unix_folder + "/" + FileNameOf(link)}) == 0;
}

UnixSymlink::UnixSymlink(const std::string& target, const std::string& link)
    : link_(UnixPath(link)), made_(MakeUnixSymlink(target, link)) {}

UnixSymlink::~UnixSymlink() {
    if (made_) RunUnixProgram({"/bin/rm", "-f", "--", link_});
}

namespace {

// True when a new file can be created in the folder (and is removed again).
bool CanCreateIn(const std::string& folder) {
    const std::string probe = AddBackslash(folder) + "probe.tmp";
    UniqueFile file(CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return static_cast<bool>(file);
}

}  // namespace

UnwritableFolder::UnwritableFolder(const std::string& folder) {
    ForceFolders(folder);
    unix_folder_ = UnixPath(StripTrailingDelimiter(folder));
    if (unix_folder_.empty()) return;
    RunUnixProgram({"/bin/chmod", "a-w", "--", unix_folder_});
    RunUnixProgram({"/usr/bin/chattr", "+i", "--", unix_folder_});
    made_ = !CanCreateIn(folder);
}

UnwritableFolder::~UnwritableFolder() {
    if (unix_folder_.empty()) return;
    RunUnixProgram({"/usr/bin/chattr", "-i", "--", unix_folder_});
    RunUnixProgram({"/bin/chmod", "u+w", "--", unix_folder_});
}

SmallVolume::SmallVolume(const std::string& folder, int size_kb) {
    ForceFolders(folder);
    unix_folder_ = UnixPath(StripTrailingDelimiter(folder));
    const std::string size = "size=" + std::to_string(size_kb) + "k";
    mounted_ = !unix_folder_.empty() &&
               RunUnixProgram({"/bin/mount", "-t", "tmpfs", "-o", size, "tmpfs", unix_folder_}) == 0;
}

SmallVolume::~SmallVolume() {
    // Lazily: a file of the volume that Wine still has open must not keep it mounted.
    if (mounted_) RunUnixProgram({"/bin/umount", "-l", unix_folder_});
}

bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TestBinDir() {
    char module[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    return FolderOf(module);
}

BoxPresser::BoxPresser(const std::string& caption, int button_id, DWORD timeout_ms)
    : caption_(caption), button_id_(button_id), timeout_ms_(timeout_ms) {
    thread_.reset(CreateThread(nullptr, 0, &BoxPresser::Run, this, 0, nullptr));
}

BoxPresser::~BoxPresser() {
    Wait();
}

bool BoxPresser::Wait() {
    if (thread_) {
        WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }
    return pressed_;
}

namespace {

struct BoxSearch {
    const std::string* caption;
    HWND found;
};

// A visible dialog with the caption, of this process only: another program's box on the shared
// display (an installer waiting at its question) is never this test's to answer.
BOOL CALLBACK FindOwnBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char class_name[16] = {};
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
        !GetClassNameA(window, class_name, sizeof class_name) ||
        std::string(class_name) != "#32770") {
        return TRUE;
    }
    if (*search->caption != WindowTitle(window)) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

DWORD WINAPI BoxPresser::Run(void* param) {
    auto* self = static_cast<BoxPresser*>(param);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < self->timeout_ms_) {
        BoxSearch search{&self->caption_, nullptr};
        EnumWindows(FindOwnBox, reinterpret_cast<LPARAM>(&search));
        HWND box = search.found;
        if (box != nullptr) {
            self->text_ = ControlText(GetDlgItem(box, 0xFFFF));  // the message box's static text
            self->owner_ = GetWindow(box, GW_OWNER);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(self->button_id_, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, self->button_id_)));
            self->pressed_ = true;
            return 0;
        }
        Sleep(50);
    }
    return 0;
}
