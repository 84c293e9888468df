// The host platform's touch points: its folder and the protocol with its character windows.
#include "host/host.h"

#include <shlobj.h>

#include <cstring>

#include "utils/registry.h"
#include "utils/shell.h"
#include "utils/text.h"
#include "utils/unique_any.h"

const char kHostRegistryKey[] = "Software\\Calderex\\MarlethWare2002";
const char kHostWindowClass[] = "TfmActWin";
const char kHostWindowTitle[] = "マーレスウェア";
const char kHostMappingName[] = "Marlethware Installer Mapping Object";
const char kHostExeName[] = "marleth.exe";
const char kHostRcFileName[] = "marleth.rc";

BOOL CALLBACK HostWindowEnumProc(HWND window, LPARAM param) {
    HostAsking& asking = *reinterpret_cast<HostAsking*>(param);
    char text[1025] = {};
    GetClassNameA(window, text, 1024);
    if (std::strcmp(text, kHostWindowClass) != 0) return TRUE;
    text[0] = '\0';
    GetWindowTextA(window, text, 1024);
    if (std::strcmp(text, kHostWindowTitle) != 0) return TRUE;
    // Answers are summed as signed 32-bit values; wrap-around is well defined in unsigned.
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, asking.message, 0, 0, SMTO_ABORTIFHUNG, kHostAnswerTimeout,
                             &result)) {
        asking.unanswered = true;
        return TRUE;
    }
    asking.sum = static_cast<int32_t>(static_cast<uint32_t>(asking.sum) + static_cast<uint32_t>(result));
    return TRUE;
}

int32_t NotifyHostWindows(UINT message, const std::string& vendor, const std::string& type,
                          bool* unanswered) {
    const std::string identifier = JoinText({vendor, "|", type});
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
    HostAsking asking{message};
    EnumWindows(HostWindowEnumProc, reinterpret_cast<LPARAM>(&asking));
    if (unanswered != nullptr) *unanswered = asking.unanswered;
    return asking.sum;
}

std::string GetHostFolder(bool default_allowed) {
    std::string folder;
    if (UniqueHKey key = OpenRegKey(HKEY_CURRENT_USER, kHostRegistryKey, KEY_READ)) {
        folder = ReadRegString(key.get(), "InstallPath", "");
    }
    if (folder.empty() && default_allowed) return GetDefaultHostFolder();
    return folder;
}

std::string GetDefaultHostFolder() {
    return GetProgramFilesFolder() + "\\calderex\\Ombrevine";
}

std::string GetProgramFilesFolder() {
    const std::string folder = GetSpecialFolder(CSIDL_PROGRAM_FILES);
    if (!folder.empty()) return folder;
    char windows[MAX_PATH + 1] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return DriveOf(windows) + "\\program files";
}

std::string HostRcFileText(const std::string& vendor, const std::string& type) {
    return JoinText({vendor, "-", type, ".mrl\r\n\r\n"});
}
