// HTTP download of one file into a local file through WinInet, and the message text and
// follow-up kind for a download's result code.
#pragma once

#include <cstdint>
#include <string>

// Called after every block written. Cancel is false on entry to the first call; set it to true to
// stop the transfer. Done counts the bytes written so far, Total is the size the server announced
// (0 when it announced none or an unreadable one), Reserved is always 0.
using TDownloadProgressProc = void (*)(bool& Cancel, int32_t Done, int32_t Total, int32_t Reserved);

// Fetches url into local_path. Returns 0 when the body was read to its end or the callback
// cancelled (the caller tells the two apart by its own flag); -1 when the Internet session could
// not be opened; -2 when the URL could not be opened (no answer); -3 when reading the body failed
// (the part received stays in the file) or the local file could not be created, written or
// closed (then what was written is deleted); -status for an HTTP status of 300 or more, in which
// case no local file is created and an existing one is left untouched.
int32_t DownloadToFile(const std::string& local_path, const std::string& url,
                       TDownloadProgressProc progress);

// What the user can do about a failed download.
enum TDownloadErrorKind {
    dekNotice = 0,    // the user can fix the cause: only inform
    dekHelpPage = 1,  // offer the support page for the code
    dekContact = 2,   // the server is at fault: offer to contact support
};

// The follow-up kind for a result code, and its message text in text (empty for unknown codes,
// whose kind is dekHelpPage).
TDownloadErrorKind DownloadErrorText(int32_t code, std::string& text);
