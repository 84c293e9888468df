// Loading the install options from the setting file.
#pragma once

#include <string>

// Creates the temporary folder, pre-extracts the setting file and the listed members, fills
// InstallOptions and builds the page sequence. False after a message: the run ends.
bool LoadInstallOptions();
// Deletes the temporary folders that runs killed more than a day ago left in temp_path: only
// folders named as the loader names them ("$$TMP$$" and digits).
void RemoveStaleTemporaryFolders(const std::string& temp_path);
