// mkpackage's messages on standard output and standard error. They are Shift-JIS (code page 932:
// the names of the package and the texts of its setting file are). A console is written in
// UTF-16 (WriteConsoleW), which it shows whatever its own code page: the Windows console and
// Wine's, which passes it to a Unix terminal in the terminal's encoding. A file or pipe gets the
// Shift-JIS bytes as they are, as Windows programs write their ANSI text, for the program or
// file on the other end to read as such.
#pragma once

#include <string>

enum class OutputStream { kOut, kErr };

// Writes text (code page 932) to the stream as it is, adding nothing.
void WriteOutput(OutputStream stream, const std::string& text);

// "mkpackage: " + line + a line end, on standard output.
void PrintLine(const std::string& line);
// "mkpackage: " + message + a line end, on standard error.
void PrintError(const std::string& message);
