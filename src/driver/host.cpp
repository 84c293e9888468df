// The host protocol: character windows asked through window messages and a named mapping.
#include "driver/host.h"

#include <cstring>

const char kHostRegistryKey[] = "Software\\Calderex\\MarlethWare2002";
const char kHostWindowClass[] = "TfmActWin";
const char kHostWindowTitle[] = "マーレスウェア";
const char kHostMappingName[] = "Marlethware Installer Mapping Object";
const char kInstallerMutexName[] = "Marleth Installer Mutex";
const char kHostExeName[] = "marleth.exe";

namespace {
int32_t g_answer_sum = 0;
}

BOOL CALLBACK HostWindowEnumProc(HWND window, LPARAM message) {
    char text[1025] = {};
    GetClassNameA(window, text, 1024);
    if (std::strcmp(text, kHostWindowClass) != 0) return TRUE;
    text[0] = '\0';
    GetWindowTextA(window, text, 1024);
    if (std::strcmp(text, kHostWindowTitle) != 0) return TRUE;
    // Answers are summed as signed 32-bit values; wrap-around is well defined in unsigned.
    const auto answer = static_cast<uint32_t>(SendMessageA(window, static_cast<UINT>(message), 0, 0));
    g_answer_sum = static_cast<int32_t>(static_cast<uint32_t>(g_answer_sum) + answer);
    return TRUE;
}

int32_t NotifyHostWindows(UINT message, const std::string& vendor, const std::string& type) {
    g_answer_sum = 0;
    const std::string identifier = vendor + "|" + type;
    const DWORD size = static_cast<DWORD>(identifier.size() + 2);
    // The name may be taken by another program's object: of another type (no mapping), or a
    // mapping that is smaller (no view of the size written) or holds other bytes (the
    // terminating zeros are written, not assumed). Then no host is asked.
    UniqueHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size,
                                            kHostMappingName));
    if (!mapping) return 0;
    {
        UniqueView view(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, size));
        if (!view) return 0;
        std::memcpy(view.get(), identifier.c_str(), identifier.size() + 1);
        static_cast<char*>(view.get())[size - 1] = '\0';
    }
    EnumWindows(HostWindowEnumProc, static_cast<LPARAM>(message));
    return g_answer_sum;
}

UniqueHandle CreateInstallerMutex(bool& already_existed) {
    UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kInstallerMutexName));
    // A name taken by an object of another type counts as another installer.
    already_existed = !mutex || GetLastError() == ERROR_ALREADY_EXISTS;
    return mutex;
}
