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

// The Linux path of a Windows path (Wine's own kernel32 function), or "" when there is none.
std::string UnixPath(const std::string& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    const auto to_unix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (to_unix == nullptr) return "";
    wchar_t wide[MAX_PATH * 2] = {};
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2);
    char* unix_path = to_unix(wide);
    if (unix_path == nullptr) return "";
    std::string result = unix_path;
    HeapFree(GetProcessHeap(), 0, unix_path);
    return result;
}

}  // namespace

std::map<std::string, std::string> SnapshotTree(const std::string& folder) {
    std::map<std::string, std::string> out;
    SnapshotInto(folder, "", out);
    return out;
}

bool MakeUnixSymlink(const std::string& target, const std::string& link) {
    // The link's folder must exist for its Linux path to be found.
    const std::string unix_target = UnixPath(target);
    const std::string unix_folder = UnixPath(StripTrailingDelimiter(FolderOf(link)));
    if (unix_target.empty() || unix_folder.empty()) return false;
    std::string command = "Z:\\bin\\ln -s \"" + unix_target + "\" \"" + unix_folder + "/" +
                          FileNameOf(link) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    UniqueHandle process_handle(process.hProcess);
    UniqueHandle thread_handle(process.hThread);
    // The handle of a Unix program does not tell when it has ended: wait for the link itself.
    return WaitFor([&] { return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; },
                   30000);
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

DWORD WINAPI BoxPresser::Run(void* param) {
    auto* self = static_cast<BoxPresser*>(param);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < self->timeout_ms_) {
        HWND box = FindWindowA("#32770", self->caption_.c_str());
        if (box != nullptr && IsWindowVisible(box)) {
            char text[4096] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the message box's static text
            self->text_ = text;
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
