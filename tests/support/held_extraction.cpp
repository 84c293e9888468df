// The test side of the installer's extraction hold: the two events and the variables.
#include "support/held_extraction.h"

#include "driver/run/extraction_hold.h"

namespace {

// Events of their own for each hold, so that test processes running side by side never share one.
std::string UniqueEventBase() {
    static int holds = 0;
    return "MarlethTestExtractionHold-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++holds);
}

}  // namespace

HeldExtraction::HeldExtraction(const std::string& member) {
    const std::string base = UniqueEventBase();
    held_.reset(CreateEventA(nullptr, TRUE, FALSE, (base + kHeldEventSuffix).c_str()));
    release_.reset(CreateEventA(nullptr, TRUE, FALSE, (base + kReleaseEventSuffix).c_str()));
    SetEnvironmentVariableA(kExtractionHoldVariable, member.c_str());
    SetEnvironmentVariableA(kExtractionHoldEventsVariable, base.c_str());
}

HeldExtraction::~HeldExtraction() {
    Release();
    SetEnvironmentVariableA(kExtractionHoldVariable, nullptr);
    SetEnvironmentVariableA(kExtractionHoldEventsVariable, nullptr);
}

bool HeldExtraction::WaitUntilHeld(HANDLE process, DWORD timeout_ms) const {
    if (!held_ || !process) return false;
    const HANDLE held_or_ended[] = {held_.get(), process};
    return WaitForMultipleObjects(2, held_or_ended, FALSE, timeout_ms) == WAIT_OBJECT_0;
}

void HeldExtraction::Release() const {
    if (release_) SetEvent(release_.get());
}
