// The extraction run: the package into the install directory, with the progress dialog.
#pragma once

// Extracts every package member (all but the pre-extracted ones) into InstallDir and lists
// them in the setting file's INSTALLEDFILE section. False on failure or cancellation.
bool ExtractPackage();
