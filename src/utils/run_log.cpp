// The run's log: lines stamped with the time since the start, written at once or in batches.
#include "utils/run_log.h"

#include <windows.h>

#include <cstring>

#include "utils/files.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

// A batch is written when it holds this many lines or bytes, or is this old.
constexpr size_t kBatchLines = 256;
constexpr size_t kBatchBytes = 64 * 1024;
constexpr DWORD kBatchAge = 200;  // ms

// Free names tried after a default name that is taken.
constexpr int kFreeNames = 100;
const char kDevicePrefix[] = "\\\\.\\";

const char kSwitchSlash[] = "/log";
const char kSwitchDash[] = "-log";

struct RunLog {
    UniqueFile file;
    std::string path;
    DWORD started_at = 0;
    std::string pending;
    size_t pending_lines = 0;
    DWORD pending_since = 0;
};

RunLog& Log() {
    static RunLog log;
    return log;
}

// "[  12.345] " for the milliseconds since the start.
std::string Stamp(DWORD elapsed) {
    char text[32];
    wsprintfA(text, "[%4lu.%03lu] ", static_cast<unsigned long>(elapsed / 1000),
              static_cast<unsigned long>(elapsed % 1000));
    return text;
}

// The text as lines of the log: each line break (CR LF, CR or LF) continues on a line indented
// under the text's start.
std::string Formatted(const std::string& text) {
    const std::string stamp = Stamp(GetTickCount() - Log().started_at);
    std::string lines = stamp;
    lines.reserve(stamp.size() + text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines += "\r\n";
            lines.append(stamp.size(), ' ');
        } else {
            lines += c;
        }
    }
    return lines + "\r\n";
}

void Write(const std::string& bytes) {
    RunLog& log = Log();
    DWORD written = 0;
    if (!bytes.empty()) {
        WriteFile(log.file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                  nullptr);
    }
}

// "/log", "-log", "/log=PATH", "-log=PATH" in any letter case; path set for the last form.
bool IsLogSwitch(const std::string& argument, std::string& path) {
    const size_t length = sizeof kSwitchSlash - 1;
    if (argument.size() < length) return false;
    const std::string head = LowerCaseText(argument.substr(0, length));
    if (head != kSwitchSlash && head != kSwitchDash) return false;
    if (argument.size() == length) {
        path.clear();
        return true;
    }
    if (argument[length] != '=') return false;
    path = argument.substr(length + 1);
    return true;
}

// The log file created new at path; empty when the name is taken or leads to anything but a file
// on a disk. The system maps device names (NUL, COM1.txt) to \\.\ paths: those are never opened.
UniqueFile CreateNewLog(const std::string& path) {
    char full[MAX_PATH + 1];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    // Only a full name that fits (0 < length <= MAX_PATH) is looked at.
    if (length - 1 < MAX_PATH && std::memcmp(full, kDevicePrefix, 4) == 0) {
        SetLastError(ERROR_BAD_PATHNAME);
        return {};
    }
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file && GetFileType(file.get()) != FILE_TYPE_DISK) file.reset();
    return file;
}

}  // namespace

LogRequest TakeLogSwitches(std::vector<std::string>& arguments) {
    LogRequest request;
    std::vector<std::string> rest;
    for (const std::string& argument : arguments) {
        std::string path;
        const std::string key = FileNameKey(argument);
        if (IsLogSwitch(argument, path)) {
            request.requested = true;
            request.path = path;
        } else if (key == "/nowait" || key == "-nowait") {
            request.unattended = true;
        } else {
            rest.push_back(argument);
        }
    }
    arguments.swap(rest);
    return request;
}

namespace {

std::string AnswerName(int answer) {
    switch (answer) {
        case IDOK: return "OK";
        case IDYES: return "はい";
        case IDNO: return "いいえ";
        case IDCANCEL: return "キャンセル";
        default: return IntToText(answer);
    }
}

}  // namespace

void LogBox(const char* caption, const std::string& text, int answer) {
    if (answer == 0) {
        LogLine({"メッセージ（", caption, "） ", text});
    } else {
        LogLine({"回答 ", AnswerName(answer)});
    }
}

bool IsHelpSwitch(const std::string& argument) {
    const std::string key = FileNameKey(argument);
    for (const char* name : {"/?", "-?", "-h", "--help"}) {
        if (key == name) return true;
    }
    return false;
}

std::string DefaultLogPath(const std::string& temp_folder, const std::string& package_path) {
    std::string name = FileNameOf(package_path);
    const int dot = LastCharPos('.', name);
    if (dot > 1) name.resize(static_cast<size_t>(dot) - 1);
    if (name.empty()) name = "setup";
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char stamp[32];
    wsprintfA(stamp, "-%04u%02u%02u-%02u%02u%02u.log", now.wYear, now.wMonth, now.wDay, now.wHour,
              now.wMinute, now.wSecond);
    return AddBackslash(temp_folder) + name + stamp;
}

bool StartRunLog(const std::string& path, bool take_free_name) {
    RunLog& log = Log();
    EndRunLog();
    log.path = path;
    for (int n = 1; !(log.file = CreateNewLog(log.path)); ++n) {
        if (GetLastError() != ERROR_FILE_EXISTS || n > kFreeNames) return false;
        if (take_free_name) {
            char number[16];
            wsprintfA(number, "-%d.log", n);
            log.path.resize(path.size() - 4);  // the default name's ".log"
            log.path += number;
        } else if (n > 1 || !DeleteEntry(path)) {
            // The user named this file: what stands there goes as itself, and only once.
            return false;
        }
    }
    log.started_at = GetTickCount();
    return true;
}

bool RunLogStarted() {
    return static_cast<bool>(Log().file);
}

const std::string& RunLogPath() {
    return Log().path;
}

void EndRunLog() {
    RunLog& log = Log();
    if (!log.file) return;
    FlushRunLog();
    log.file.reset();
}

void LogLine(std::initializer_list<std::string_view> parts) {
    if (RunLogStarted()) LogLine(JoinText(parts));
}

void LogLine(const std::string& text) {
    if (!RunLogStarted()) return;
    FlushRunLog();
    Write(Formatted(text));
}

void LogBatched(const std::string& text) {
    RunLog& log = Log();
    if (!log.file) return;
    if (log.pending_lines == 0) log.pending_since = GetTickCount();
    log.pending += Formatted(text);
    ++log.pending_lines;
    if (log.pending_lines >= kBatchLines || log.pending.size() >= kBatchBytes ||
        GetTickCount() - log.pending_since >= kBatchAge) {
        FlushRunLog();
    }
}

std::string OutcomeText(bool done, const char* done_text) {
    const DWORD error = GetLastError();
    if (done) return std::string(" ") + done_text;
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    // The system's text ends in a line break.
    int length = text != nullptr ? lstrlenA(text) : 0;
    while (length > 0 && static_cast<unsigned char>(text[length - 1]) <= ' ') text[--length] = '\0';
    char line[640];
    wsprintfA(line, " 失敗 (エラー %lu: %.500s)", error, length > 0 ? text : "");
    LocalFree(text);
    return line;
}

void FlushRunLog() {
    RunLog& log = Log();
    if (!log.file || log.pending.empty()) return;
    Write(log.pending);
    log.pending.clear();
    log.pending_lines = 0;
}
