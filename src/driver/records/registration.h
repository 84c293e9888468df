// Registration of an installed character with the host platform.
#pragma once

// Writes Distributor and Attr into the host's registry key (opened, never created).
void WriteHostRegistry();
// Writes InstallDir\marleth.rc naming the character file, beside an earlier one and moved over it
// once complete. False when it can't be written or put in place (the earlier one stays).
bool WriteHostRcFile();
