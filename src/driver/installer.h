// The installer's main flow, run once by the program body.
#pragma once

// Runs the whole installation and returns the process exit code: 0 after a completed
// installation, 1 otherwise.
int RunInstaller();
