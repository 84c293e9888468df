// The tests' hold of the extraction after a named member.
#include "driver/run/extraction_hold.h"

#include <windows.h>

#include "utils/text.h"

const char kExtractionHoldVariable[] = "MARLETH_EXTRACTION_HOLD";
const char kExtractionHoldEventsVariable[] = "MARLETH_EXTRACTION_HOLD_EVENTS";
const char kHeldEventSuffix[] = "-held";
const char kReleaseEventSuffix[] = "-release";

namespace {

// The variable's value, or "" when it is not set.
std::string Variable(const char* name) {
    const DWORD length = GetEnvironmentVariableA(name, nullptr, 0);
    if (length == 0) return {};
    std::string value(length, '\0');
    const DWORD copied = GetEnvironmentVariableA(name, &value[0], length);
    if (copied == 0 || copied >= length) return {};
    value.resize(copied);
    return value;
}

}  // namespace

ExtractionHold::ExtractionHold() {
    const std::string member = Variable(kExtractionHoldVariable);
    const std::string events = Variable(kExtractionHoldEventsVariable);
    if (member.empty() || events.empty()) return;
    // Opened, never created: without a test that made them there is nobody to release the run.
    held_.reset(OpenEventA(EVENT_MODIFY_STATE, FALSE, (events + kHeldEventSuffix).c_str()));
    release_.reset(OpenEventA(SYNCHRONIZE, FALSE, (events + kReleaseEventSuffix).c_str()));
    if (held_ && release_) member_ = ToBackslashes(member);
}

void ExtractionHold::AfterMember(const std::string& entry_name, ThrottledPump& pump) {
    if (member_.empty() || ToBackslashes(entry_name) != member_) return;
    member_.clear();
    SetEvent(held_.get());
    const HANDLE release = release_.get();
    // Woken by the release or by new messages; the time-out lets the throttled pump take
    // messages it left for later.
    while (!pump.Pump()) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &release, FALSE,
                                                      ThrottledPump::kDefaultInterval, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) break;
    }
}
