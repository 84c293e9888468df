// The host platform's touch points, shared by the installer and the uninstaller: its registry
// key and folder, its executable and start file, and the protocol with its character windows
// (the shared identifier and the messages).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

extern const char kHostRegistryKey[];    // "Software\Calderex\MarlethWare2002" under HKCU
extern const char kHostWindowClass[];    // "TfmActWin"
extern const char kHostWindowTitle[];    // "マーレスウェア"
extern const char kHostMappingName[];    // "Marlethware Installer Mapping Object"
extern const char kHostExeName[];        // "marleth.exe"
extern const char kHostRcFileName[];     // "marleth.rc", in the install folder

constexpr UINT WM_INSTALLER_INSTALLED = WM_USER + 7;     // 1031
constexpr UINT WM_INSTALLER_QUERYRUNNING = WM_USER + 8;  // 1032

// How long a host window may take to answer, in ms: a host that hangs must not hang us.
constexpr UINT kHostAnswerTimeout = 10000;

// Publishes Vendor|Type in the mapping object and sends the message to every host character
// window; the sum of their answers, 0 when there is none or the object can't be set up. A
// window that does not answer within kHostAnswerTimeout (or hangs) adds nothing; *unanswered,
// when given, tells whether one did not.
int32_t NotifyHostWindows(UINT message, const std::string& vendor, const std::string& type,
                          bool* unanswered = nullptr);
// One round of asking the host's windows: the message, the sum of the answers, and whether a
// window did not answer.
struct HostAsking {
    UINT message;
    int32_t sum = 0;
    bool unanswered = false;
};
// The enumeration callback; param points to the HostAsking of the round.
BOOL CALLBACK HostWindowEnumProc(HWND window, LPARAM param);

// The host's InstallPath registry value; with default_allowed, the default folder when empty.
std::string GetHostFolder(bool default_allowed);
std::string GetDefaultHostFolder();
std::string GetProgramFilesFolder();

// The content of marleth.rc naming the character: its character file, then an empty line.
std::string HostRcFileText(const std::string& vendor, const std::string& type);
