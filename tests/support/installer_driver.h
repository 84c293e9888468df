// Drives a Windows program started by a test: finds its windows by class and title, reads their
// texts, presses their buttons, and collects its exit code.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "utils/unique_any.h"

// A top-level window of the driven process.
struct FoundWindow {
    HWND window = nullptr;
    std::string class_name;
    std::string title;
    std::string text;  // a message box's text; empty for other windows
};

class DrivenProcess {
public:
    // Starts exe with the arguments, each quoted (an empty argument stays an argument).
    DrivenProcess(const std::string& exe, const std::vector<std::string>& arguments);
    ~DrivenProcess();  // ends the process, and those it started, if it still runs
    DrivenProcess(const DrivenProcess&) = delete;
    DrivenProcess& operator=(const DrivenProcess&) = delete;

    bool started() const { return static_cast<bool>(process_); }
    HANDLE handle() const { return process_.get(); }
    bool Running() const;

    // The visible top-level windows of the process (message boxes with their texts).
    std::vector<FoundWindow> Windows() const;
    // The visible top-level windows of the processes it started (Notepad with its read-me):
    // other programs' windows on the shared display are never taken for them.
    std::vector<FoundWindow> ChildWindows() const;
    // Waits for a visible window of the class in a process it started; an empty one when none
    // came before the time-out or the process ended first.
    FoundWindow WaitForChildWindow(const std::string& class_name, DWORD timeout_ms = 30000) const;
    // Waits for a visible window of the class whose title starts with title_prefix.
    FoundWindow WaitForWindow(const std::string& class_name, const std::string& title_prefix,
                              DWORD timeout_ms = 30000) const;
    // Waits for a message box with the caption ("エラー" or "確認").
    FoundWindow WaitForBox(const std::string& caption, DWORD timeout_ms = 30000) const;
    // Presses a dialog button (IDOK, IDYES, IDNO, ...) of a message box or dialog.
    static void Press(const FoundWindow& box, int button_id);
    // Waits for the process to end: its exit code, or -1 after the time-out (it is then ended,
    // with the processes it started).
    int WaitForExit(DWORD timeout_ms = 60000);
    // A description of the open windows, for failure messages.
    std::string Describe() const;

private:
    void EndWithChildren();
    std::vector<FoundWindow> WindowsOf(const std::vector<DWORD>& process_ids) const;

    UniqueHandle process_;
    DWORD process_id_ = 0;
};

// Controls of a driven window, reached across processes with messages the system carries over.
HWND Control(const FoundWindow& dialog, int id);
// A control's text and a window's title as the user reads them (through the W calls, whatever
// the system's code page), in Shift-JIS to compare with the program's texts.
std::string ControlText(HWND control);
std::string WindowTitle(HWND window);
// A control's text that is a path, in the system's code page, as the system names the path.
std::string ControlPath(HWND control);
// Types text, a path in the system's code page, into the control.
void SetControlText(HWND control, const std::string& text);
// Posts a click to a button, as the user's mouse would (nothing happens when it is disabled).
void Click(HWND button);
// Posts a key press to a control; a dialog's keys (Enter, Escape) go through its dialog manager.
void PressKey(HWND control, WPARAM key);
// Returns once every message posted to the edit control's thread before the call has been
// handled, including the messages those post in turn (a key that closes by way of WM_CLOSE).
// Round trips through the control's modified flag: harmless, and it never scrolls.
void Settle(HWND edit);

// Polls the state until it holds or the time-out passes; true when it holds.
bool WaitFor(const std::function<bool()>& state, DWORD timeout_ms = 30000);

// Answers boxes in order as they appear and waits for the exit. For each expected box the
// caption and text must match; the button is then pressed. Returns the exit code, and appends
// to mismatch a description of anything that did not match (a box not found, another text,
// a box that was not expected).
struct ExpectedBox {
    std::string caption;
    std::string text;
    int button;
};
int AnswerBoxesAndWait(DrivenProcess& process, const std::vector<ExpectedBox>& boxes,
                       std::string& mismatch, DWORD timeout_ms = 60000);

// Runs a console or GUI program to its end: exit code, or -1 when it could not be started.
int RunProgram(const std::string& command_line, DWORD timeout_ms = 60000);
