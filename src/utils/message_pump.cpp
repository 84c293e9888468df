// The thread's message pump, plain and throttled.
#include "utils/message_pump.h"

bool PumpMessages(HWND dialog, MSG& record) {
    bool taken = false;
    while (PeekMessageW(&record, nullptr, 0, 0, PM_REMOVE)) {
        taken = true;
        if (record.message == WM_QUIT) return true;
        if (IsWindow(dialog) && IsDialogMessageW(dialog, &record)) continue;
        TranslateMessage(&record);
        DispatchMessageW(&record);
    }
    return taken;
}

void ProcessMessages(HWND dialog) {
    MSG record{};
    while (PumpMessages(dialog, record)) {
    }
}

ThrottledPump::ThrottledPump(HWND dialog, DWORD interval)
    : dialog_(dialog), interval_(interval), last_pump_(GetTickCount() - interval) {}

bool ThrottledPump::Pump() {
    if (GetTickCount() - last_pump_ < interval_) return quit_;
    MSG record{};
    if (PumpMessages(dialog_, record) && record.message == WM_QUIT) quit_ = true;
    last_pump_ = GetTickCount();
    return quit_;
}
