// A stand-in for a prerequisite's installer: "--create PATH" leaves the file PATH behind.
// A real installer leaves its program where the installer's check looks for it; this one
// shows no window at all, so that the wizard tour meets no window it would have to answer.
// Exit code 0 when the file was written, 1 when it could not be, 2 for a wrong command line.
// Plain Win32 calls and no C++ library: the sample serves two copies of this program, and the
// library would make it several times larger.
#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>

#include "utils/unique_any.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc != 3 || lstrcmpA(__argv[1], "--create") != 0) return 2;
    const char* path = __argv[2];
    // Installers make their own folders; an existing one is fine. PathRemoveFileSpecA knows
    // Shift-JIS trail bytes that look like a backslash.
    char folder[MAX_PATH] = {};
    lstrcpynA(folder, path, MAX_PATH);
    if (PathRemoveFileSpecA(folder)) SHCreateDirectoryExA(nullptr, folder, nullptr);

    UniqueFile file(
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 1;
    const char text[] = "left behind by sample_prerequisite.exe\r\n";
    DWORD written = 0;
    const bool ok = WriteFile(file.get(), text, sizeof text - 1, &written, nullptr) &&
                    written == sizeof text - 1;
    return file.close() && ok ? 0 : 1;
}
