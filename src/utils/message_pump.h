// The message pump that keeps the windows of the one user-interface thread alive while long work
// (extraction, downloads, a started program) runs on that thread.
#pragma once

#include <windows.h>

// Handles every pending message of the thread (dialog keys through dialog first). Stops at a
// quit message, which is then removed. record holds the last message taken. True when at least
// one message was taken.
bool PumpMessages(HWND dialog, MSG& record);
// Pumps until the queue is empty; a quit message met on the way is dropped.
void ProcessMessages(HWND dialog);

// Pumps at most every interval ms: between small steps an empty pump costs more than the step,
// and the windows stay just as responsive. Remembers a quit message (the main window was
// destroyed), which the record alone would lose to the messages a later pump takes.
class ThrottledPump {
public:
    static constexpr DWORD kDefaultInterval = 10;

    explicit ThrottledPump(HWND dialog, DWORD interval = kDefaultInterval);
    // Pumps unless the last pump was less than the interval ago; true once a quit message was met.
    bool Pump();
    bool quit() const { return quit_; }

private:
    HWND dialog_;
    DWORD interval_;
    DWORD last_pump_;
    bool quit_ = false;
};
