// The mutex that keeps two archive-mode installers apart.
#include "driver/flow/installer_mutex.h"

const char kInstallerMutexName[] = "Marleth Installer Mutex";

UniqueHandle CreateInstallerMutex(bool& already_existed) {
    UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kInstallerMutexName));
    // A name taken by an object of another type counts as another installer.
    already_existed = !mutex || GetLastError() == ERROR_ALREADY_EXISTS;
    return mutex;
}
