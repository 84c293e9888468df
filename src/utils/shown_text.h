// What a person reads, converted in one place for the system's wide (W) calls, so that it shows
// as written whatever code page the system uses for non-Unicode programs.
//
// The program's messages and the package's texts (its name, the agreement, the pages' texts) are
// Shift-JIS (code page 932) on every system. A path that the system named (the host's folder,
// the temporary folder, what the user chose or typed, a member's place on the disk) is in the
// system's ANSI code page, in which the program hands it to the A calls: it is shown in that
// code page. Everything stored (the log, the settings, the records) keeps its bytes.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// A Shift-JIS text in UTF-16.
std::wstring ShownText(const std::string& text);
// A path the system named, in UTF-16.
std::wstring ShownPath(const std::string& path);
void SetShownText(HWND window, const std::string& text);
void SetShownPath(HWND window, const std::string& path);
// A text the user typed, in the system's ANSI code page (as paths are handed to the A calls);
// false when the code page cannot hold one of its characters (then path is left as it was).
bool TypedSystemText(HWND window, std::string& path);

// A message made of a Shift-JIS text, a path and a Shift-JIS end, as one byte string that keeps
// where the path is: the message box shortens and breaks it as a whole. Marks set the path
// apart; a mark's byte that is part of a text or the path (a hostile name may hold any byte) is
// escaped, so nothing given can pass for a mark.
std::string MarkedText(std::string_view text, std::string_view path = {},
                       std::string_view end = {});
// The marked text in UTF-16: the path read in system_code_page (0: the system's ANSI code page),
// the rest in code page 932.
std::wstring ShownMarkedText(const std::string& marked, unsigned system_code_page = 0);
// The marked text's bytes as given, without marks: as the log keeps it.
std::string StoredText(const std::string& marked);
