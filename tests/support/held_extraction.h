// Holds an installer's extraction after one member, through the installer's hold for tests, so
// that a test acts on a run in progress at a known member instead of racing it.
#pragma once

#include <windows.h>

#include <string>

#include "utils/unique_any.h"

// Made before the installer starts (it inherits the environment); for one run at a time.
class HeldExtraction {
public:
    // member: as the archive names it ("many\\f0.txt").
    explicit HeldExtraction(const std::string& member);
    ~HeldExtraction();  // releases the run and takes the variables away
    HeldExtraction(const HeldExtraction&) = delete;
    HeldExtraction& operator=(const HeldExtraction&) = delete;

    // Waits until the run stands held, the member on disk; false when the process ended first
    // or the time-out passed.
    bool WaitUntilHeld(HANDLE process, DWORD timeout_ms = 60000) const;
    // Lets the run go on.
    void Release() const;

private:
    UniqueHandle held_;
    UniqueHandle release_;
};
