// DLL loading from the system folder only: the process-wide search restriction, the loader stub
// of the delay-import libraries, and the common controls' one-time registration.
#include "utils/system_libraries.h"

#include <commctrl.h>
#include <delayimp.h>

#include <string>

#include "utils/text.h"

namespace {

// Set once SetDefaultDllDirectories restricted the search: LOAD_LIBRARY_SEARCH_SYSTEM32 is then
// understood by LoadLibraryExA (it is not on systems that lack that function).
bool g_search_flags_supported = false;

}  // namespace

extern "C" IMAGE_DOS_HEADER __ImageBase;

// The loader stub every delay-import library calls at the first call of each of its functions
// (in place of the toolchain's, which would fall back to the default search when a hook fails):
// loads the DLL from the system folder at the first of its functions, finds the function and
// writes it into the import address table, so that later calls go straight to it. A DLL or
// function the system lacks ends the program with exit code 1: without the DLL nothing can be
// shown. The tables hold addresses relative to the image (dlltool writes them so).
extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* entry) {
    char* const image = reinterpret_cast<char*>(&__ImageBase);
    auto* module = reinterpret_cast<HMODULE*>(image + descriptor->rvaHmod);
    if (*module == nullptr) *module = LoadSystemLibrary(image + descriptor->rvaDLLName);
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(image + descriptor->rvaINT) +
                        (entry - reinterpret_cast<FARPROC*>(image + descriptor->rvaIAT));
    const char* name =
        IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)
            ? MAKEINTRESOURCEA(IMAGE_ORDINAL(names->u1.Ordinal))
            : reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(image + names->u1.AddressOfData)->Name;
    const FARPROC function = *module != nullptr ? GetProcAddress(*module, name) : nullptr;
    if (function == nullptr) ExitProcess(1);
    *entry = function;
    return function;
}

void RestrictDllSearch() {
    // Don't load modules from the application nor current directory: an installer runs from a
    // downloads folder full of other people's files.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto set_default_directories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set_default_directories != nullptr &&
        set_default_directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        g_search_flags_supported = true;
    }
    // Removes the current folder from the search of systems without the function above.
    SetDllDirectoryA("");
    // Wine resolves the delay imports of its own DLLs by the default search, the program's
    // folder first, whatever the search was restricted to: its imm32 (which user32 loads) asks
    // for ole32 that way, and would take one planted beside the installer. Loaded from the system
    // folder first, ole32 is then found loaded. Windows loads ole32 as a known DLL, never from
    // the program's folder, and pays nothing for it here.
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr) {
        LoadSystemLibrary("ole32.dll");
    }
}

HMODULE LoadSystemLibrary(const char* name) {
    if (g_search_flags_supported) {
        return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // Older systems: by its full path, and with the altered search order the DLL's own imports
    // are looked for in the system folder before the program's.
    char folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::string path = JoinText({folder, "\\", name});
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void EnsureCommonControls() {
    static bool registered = false;
    if (registered) return;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    registered = InitCommonControlsEx(&controls) != FALSE;
}
