// The program body: restricts DLL loading, runs the installer and ends with its exit code.
#include <windows.h>

#include <cstdlib>

#include "driver/flow/installer.h"
#include "utils/system_libraries.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // First of all, before any DLL beyond kernel32 and msvcrt is loaded.
    RestrictDllSearch();
    return RunInstaller(__argc, __argv);
}
