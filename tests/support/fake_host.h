// A stand-in for the host platform's character windows: top-level windows of class "TfmActWin"
// that read the installer's mapping object while answering its messages. Runs its own thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "utils/unique_any.h"

class FakeHost {
public:
    // Creates windows titled "マーレスウェア" answering 1032 with answer, plus one window of the
    // same class with another title (which must never be asked). With hangs, the windows never
    // answer 1032 (their thread stops at the first until the host is destroyed), as a host that
    // hangs.
    FakeHost(int windows, LRESULT answer, bool hangs = false);
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    // What the windows saw, in order: "1032:<mapping text>" or "1031:<mapping text>"; the
    // decoy window's entries start with "decoy".
    std::vector<std::string> Seen() const;

private:
    static DWORD WINAPI Run(void* self);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    int windows_;
    LRESULT answer_;
    bool hangs_;
    UniqueHandle released_;  // set when the host is destroyed: a hung window returns
    UniqueHandle thread_;
    DWORD thread_id_ = 0;
    UniqueHandle ready_;
    mutable CRITICAL_SECTION lock_;
    std::vector<std::string> seen_;
};
