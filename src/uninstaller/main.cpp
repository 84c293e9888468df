// The uninstaller's program body: restricts DLL loading, runs the uninstaller and ends with its
// exit code.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "uninstaller/uninstaller.h"
#include "utils/system_libraries.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // First of all, before any DLL beyond kernel32 and msvcrt is loaded: the uninstaller runs
    // from the install folder, and its copy from the temporary folder.
    RestrictDllSearch();
    return RunUninstaller(std::vector<std::string>(__argv + (__argc > 0 ? 1 : 0), __argv + __argc));
}
