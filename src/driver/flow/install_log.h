// The installation's log for support, written when the command line asks for it (/log).
#pragma once

#include <string>

// Starts the log the command line asked for (none: nothing happens) with the run's start: the
// program, its command line and the package. From then on the settings read, the boxes and
// their answers go to it too. A log that cannot be created is reported (in a silent run only
// by the missing file) and the run goes on without one.
void StartInstallLog(const std::string& package_path);
// Ends the log with the run's exit code.
void EndInstallLog(int exit_code);
