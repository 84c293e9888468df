// Helpers for tests.
#include "support/test_support.h"

#include <fstream>
#include <iterator>
#include <sstream>

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
