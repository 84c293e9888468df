// mkpackage's messages, written as the console or the file on the other end expects them.
#include "console_output.h"

#include <windows.h>

#include "utils/text.h"

namespace {

constexpr unsigned kMessageCodePage = 932;

}  // namespace

void WriteOutput(OutputStream stream, const std::string& text) {
    HANDLE handle = GetStdHandle(stream == OutputStream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = WideText(text, kMessageCodePage);
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // Line ends as the C runtime's text mode writes them, and as Windows' tools read them.
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 32);
    for (const char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void PrintLine(const std::string& line) {
    WriteOutput(OutputStream::kOut, "mkpackage: " + line + "\n");
}

void PrintError(const std::string& message) {
    WriteOutput(OutputStream::kErr, "mkpackage: " + message + "\n");
}
