// The run's log for support, written only when the user asks for it (/log on the command line):
// a text file in code page 932 with CR LF, readable in Notepad on Japanese Windows. Each line
// starts with the seconds since the log was started. Without a started log every call does
// nothing, at the cost of one test.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// What the command line asked for: /log or -log (any letter case), alone or with "=PATH".
struct LogRequest {
    bool requested = false;
    std::string path;  // empty: a file of its own in the temporary folder
    // /nowait (also -nowait, any letter case): no box waits for a person (SetUnattended in
    // utils/message_box.h); what the boxes say goes to the log.
    bool unattended = false;
};

// Takes every /log and /nowait switch out of arguments (wherever it stands), so that the rest
// keeps the meaning it has without one. A later /log overrides an earlier one's path. (The
// uninstaller has no use for /nowait: its -s shows nothing at all.)
LogRequest TakeLogSwitches(std::vector<std::string>& arguments);
// The message-box observer (utils/message_box.h SetBoxObserver) of a program's log: each box's
// caption and text, then the answer ("回答 はい").
void LogBox(const char* caption, const std::string& text, int answer);
// True for a request of the switches' box: /?, -?, -h, --help (any letter case).
bool IsHelpSwitch(const std::string& argument);

// The log file a run without a path gets: the temporary folder, the package file's name without
// its extension, the local date and time ("sample-setup-20261207-193005.log").
std::string DefaultLogPath(const std::string& temp_folder, const std::string& package_path);

// Starts the log in a new file at path: nothing that stands at the name is opened or written
// through (a link planted there would have an elevated run overwrite what it leads to), and no
// device (NUL, CON, COM1, a \\.\ path) is opened. With take_free_name (the default name, which
// anybody can predict; it ends in ".log") a taken name is passed over for the next free one
// ("NAME-1.log", ...); otherwise whatever stands at path is removed as itself first (a file, a
// link as a link, never what it leads to, an empty folder). False when no log can be created;
// the run then goes on without one.
bool StartRunLog(const std::string& path, bool take_free_name = false);
bool RunLogStarted();
// The log's file, as created.
const std::string& RunLogPath();
// Ends the log: what is pending is written and the file closed.
void EndRunLog();

// A line, written at once: a run killed after it still leaves it in the file. Line breaks inside
// the text continue on indented lines.
void LogLine(const std::string& text);
// The parts one after the other (JoinText), as one line: a call costs no concatenations.
void LogLine(std::initializer_list<std::string_view> parts);
// A line of a long series (the members written, say), kept with others and written in batches:
// at most a few hundred lines or a fraction of a second later, and before any LogLine.
void LogBatched(const std::string& text);
void FlushRunLog();

// The end of a line that tells an outcome: " " and done_text when done; otherwise
// " 失敗 (エラー 5: アクセスが拒否されました。)", the thread's last error and the system's text.
std::string OutcomeText(bool done, const char* done_text);
