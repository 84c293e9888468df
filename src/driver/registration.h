// Registration of an installed character with the host platform.
#pragma once

// Writes Distributor and Attr into the host's registry key (opened, never created).
void WriteHostRegistry();
// Writes InstallDir\marleth.rc naming the character file. False when it can't be written.
bool WriteHostRcFile();
