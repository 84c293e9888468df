// HTTP download of one file into a local file through WinInet, and the message text and
// follow-up kind for a download's result.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Called on the calling thread while the download runs: whenever messages wait for the thread
// (the callback is where the caller pumps them) and whenever the count has grown, at most every
// kProgressInterval ms (transfer_worker.h). Cancel is false on entry to the first call; set it
// to true to stop the transfer. Done counts the bytes written so far, Total is the size the server announced, or the
// expected size when it announced none (0 when neither is known); Reserved is always 0.
using TDownloadProgressProc = void (*)(bool& Cancel, uint64_t Done, uint64_t Total,
                                       int32_t Reserved);

// The download's bounds and what the caller knows of the file.
struct TDownloadOptions {
    // The file's size as the download list gives it (0: unknown), a figure for the display only:
    // shown when the server announces no length, never taken for the body's length.
    uint64_t expected_size = 0;
    // The caller checks the file against its published SHA-256 before using it: a body whose end
    // the protocol marks but WinInet does not show (sent in chunks) is then left to that check.
    bool digest_checked = false;
    // No byte for this long ends the download: before the answer as an open failure (-2), in the
    // body as a failed transfer (-3).
    DWORD stall_ms = 30000;
};

// Redirects followed at most; one more fails the download with the last redirect's status.
constexpr int kMaxRedirects = 10;

// What went wrong, finer than the result code, so that the message can say it.
enum class TDownloadFailure {
    kNone,
    kHostNotFound,      // the server's name could not be resolved
    kConnectFailed,     // the connection was refused or timed out
    kCertificate,       // the server's certificate was not accepted
    kNoAnswer,          // the server closed or stayed silent without answering
    kStalled,           // no byte arrived within the bound
    kTooManyRedirects,  // more than kMaxRedirects redirects
    kCutShort,          // the body ended before its announced size
    kUnconfirmedEnd,    // sent in chunks without a digest to check: its end cannot be confirmed
    kEncoding,          // the body came in an encoding this program does not decode
    kLocalFile,         // the local file could not be created or written
    kOther,             // anything else: the code's own text
};

struct TDownloadResult {
    // 0 when the body was read to its end or the callback cancelled (the caller tells the two
    // apart by its own flag); -1 when the Internet session could not be opened; -2 when the URL
    // could not be opened (no answer); -3 when the body or the local file failed; -status for an
    // HTTP status of 300 or more.
    int32_t code = 0;
    TDownloadFailure failure = TDownloadFailure::kNone;
};

// Fetches url into local_path. The blocking network calls run on a worker thread; the calling
// thread waits for them, calling progress, and gives up at once when the callback cancels or the
// stall bound passes. On any result but a complete body, no file is left at local_path; for an
// HTTP status of 300 or more no local file is created and an existing one is left untouched.
TDownloadResult DownloadToFile(const std::string& local_path, const std::string& url,
                               TDownloadProgressProc progress,
                               const TDownloadOptions& options = {});

// What the user can do about a failed download.
enum TDownloadErrorKind {
    dekNotice = 0,    // the user can fix the cause: only inform
    dekHelpPage = 1,  // offer the support page for the code
    dekContact = 2,   // the server is at fault: offer to contact support
};

// The follow-up kind for a result code, and its message text in text: the fixed texts of -1 to
// -3, 404, 407 and 408, a Japanese phrase with the number for other HTTP statuses, and empty for
// other codes (whose kind is dekHelpPage).
TDownloadErrorKind DownloadErrorText(int32_t code, std::string& text);
// The message line for a result: what went wrong where the failure tells more than the code.
std::string DownloadFailureText(const TDownloadResult& result);
// The failure a WinInet error of opening a URL stands for.
TDownloadFailure OpenFailureOf(DWORD error);
