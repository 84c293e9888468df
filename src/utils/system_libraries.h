// Where the program's DLLs come from: only the system folder, never the program's own folder
// nor the current one, and each DLL beyond the few every process has only when first used.
#pragma once

#include <windows.h>

// Restricts the DLL search of the whole process to the system folder. The program body calls it
// first. Every delay-loaded DLL (every one but kernel32 and msvcrt) is loaded by this unit's
// loader stub (see cmake/delay_load.cmake), from the system folder too.
void RestrictDllSearch();

// Loads a DLL of the system (a bare file name such as "version.dll") from the system folder, its
// own imports searched there first; nullptr when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* name);

// Registers the common controls' window classes (progress bar, tree view) once, before the first
// dialog that holds one is created. Loads comctl32 then, not at start.
void EnsureCommonControls();
