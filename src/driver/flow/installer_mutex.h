// The installer's side of the host protocol (host/host.h), and the mutex that keeps two
// archive-mode installers apart.
#pragma once

#include "host/host.h"
#include "utils/unique_any.h"

extern const char kInstallerMutexName[]; // "Marleth Installer Mutex"

// Creates the installer mutex; already_existed tells whether another installer holds it.
UniqueHandle CreateInstallerMutex(bool& already_existed);
