// The protocol with the running host platform: its character windows, the shared identifier
// and the two messages, and the mutex that keeps two archive-mode installers apart.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "utils/unique_any.h"

// Touch points of the host platform.
extern const char kHostRegistryKey[];    // "Software\Calderex\MarlethWare2002" under HKCU
extern const char kHostWindowClass[];    // "TfmActWin"
extern const char kHostWindowTitle[];    // "マーレスウェア"
extern const char kHostMappingName[];    // "Marlethware Installer Mapping Object"
extern const char kInstallerMutexName[]; // "Marleth Installer Mutex"
extern const char kHostExeName[];        // "marleth.exe"

constexpr UINT WM_INSTALLER_INSTALLED = WM_USER + 7;     // 1031
constexpr UINT WM_INSTALLER_QUERYRUNNING = WM_USER + 8;  // 1032

// Publishes Vendor|Type in the mapping object and sends the message to every host character
// window; the sum of their answers, 0 when there is none or the object can't be set up.
int32_t NotifyHostWindows(UINT message, const std::string& vendor, const std::string& type);
BOOL CALLBACK HostWindowEnumProc(HWND window, LPARAM message);

// Creates the installer mutex; already_existed tells whether another installer holds it.
UniqueHandle CreateInstallerMutex(bool& already_existed);
