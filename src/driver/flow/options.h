// Loading the install options from the setting file.
#pragma once

#include <windows.h>

#include <string>

// Creates the temporary folder, pre-extracts the setting file and the listed members, fills
// InstallOptions and builds the page sequence. False after a message: the run ends.
bool LoadInstallOptions();
