// A hold of the extraction after one named member, for tests only: it lets a test act on a run
// in progress (close it, kill it) at a known member instead of racing the run.
#pragma once

#include <string>

#include "utils/message_pump.h"
#include "utils/unique_any.h"

// The member to hold after, as the archive names it (slashes or backslashes alike).
extern const char kExtractionHoldVariable[];
// The base name of the two events a test creates beforehand: the run sets base + "-held" once
// the member is on disk and waits for base + "-release".
extern const char kExtractionHoldEventsVariable[];
extern const char kHeldEventSuffix[];
extern const char kReleaseEventSuffix[];

// Inert unless both variables are set and both events exist: a user's run never holds. The hold
// happens once.
class ExtractionHold {
public:
    ExtractionHold();
    ExtractionHold(const ExtractionHold&) = delete;
    ExtractionHold& operator=(const ExtractionHold&) = delete;

    // When entry_name is the member named: signals "held" and waits for "release", pumping the
    // thread's messages through pump, so that a close arrives; a quit message (the main window was
    // destroyed) ends the wait too, and pump remembers it for the extraction loop.
    void AfterMember(const std::string& entry_name, ThrottledPump& pump);

private:
    std::string member_;  // empty: no hold (left or never asked for)
    UniqueHandle held_;
    UniqueHandle release_;
};
