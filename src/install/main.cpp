// The program body: restricts DLL loading, runs the installer and ends with its exit code.
#include <windows.h>

#include <cstdlib>

#include "driver/installer.h"

namespace {

// The installer usually runs from a downloads folder full of other files: never load a DLL from
// the application's or the current folder, only from the system folder.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set_default != nullptr) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryA("");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RestrictDllSearch();
    return RunInstaller(__argc, __argv);
}
