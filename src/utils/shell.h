// Shell services: shortcut files written through COM, and special-folder paths.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <cstdint>
#include <string>

struct TShortcutSetting {
    std::string LinkFile;     // full path of the .lnk file to write; its folder must exist
    std::string Target;       // file the shortcut starts
    std::string WorkDir;      // working folder of the started program
    std::string Args;         // command-line arguments
    int32_t ShowCmd = SW_SHOWNORMAL;
    std::string Description;
    std::string IconFile;
    int32_t IconIndex = 0;
};

// CoInitialize for the scope (single-threaded apartment, as the shell's dialogs need); its
// result is not examined, so a thread that initialised COM before works too (CoUninitialize
// balances either way).
class ScopedCoInit {
public:
    ScopedCoInit() { CoInitialize(nullptr); }
    ~ScopedCoInit() { CoUninitialize(); }
    ScopedCoInit(const ScopedCoInit&) = delete;
    ScopedCoInit& operator=(const ScopedCoInit&) = delete;
};

// What CreateShortcut did: made the file, or not (then GetLastError tells why), or could not even
// create the system's shell-link object.
enum class ShortcutMade { kYes, kNotSaved, kNoShellLink };
// Writes (or replaces) the shortcut file; kYes only when the file is there afterwards.
ShortcutMade CreateShortcut(const TShortcutSetting& s);
// The special folder's file-system path without trailing backslash, or an empty text.
std::string GetSpecialFolder(int csidl);
std::string GetProgramsFolder();
