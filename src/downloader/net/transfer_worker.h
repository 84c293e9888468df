// The blocking half of a download: WinInet calls and file writes made on a worker thread, while
// the calling (user-interface) thread waits for them without blocking its windows, and can give
// up on them at once.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "utils/unique_any.h"

// What a download's two threads share. The calling thread and a running job each hold a
// reference; the last one to let go frees it, closing the Internet handles. A job blocked in
// WinInet can outlive the download it served (Wine's WinInet does not end a blocked call when
// its handle is closed from another thread): it then finds the transfer abandoned and stops
// without touching the file.
class Transfer {
public:
    static Transfer* Create();  // one reference, for the caller; null without memory
    void AddRef();
    void Release();

    // The worker's results are read only after its job has ended (RunJob returned kDone).
    UniqueInternet session;
    UniqueInternet request;
    std::string url;          // what the open job opens
    std::string headers;      // sent with it
    DWORD open_flags = 0;
    DWORD open_error = 0;     // GetLastError of a failed open
    enum class BodyEnd { kEnd, kReadFailed, kWriteFailed, kAbandoned } body_end = BodyEnd::kEnd;
    DWORD body_error = 0;     // GetLastError of a failed read

    // Takes the file the body is written to (the caller created it).
    void SetFile(UniqueFile file);
    // Bytes of the body written so far.
    uint64_t Received();
    // From now on the job writes nothing: closes the file and deletes path (when a file is open).
    void Abandon(const std::string& path);
    // Closes the file after a complete body; false when the close failed.
    bool CloseFile();

    // Worker side: writes a block unless the transfer was abandoned.
    BodyEnd WriteBlock(const char* data, DWORD size);
    bool abandoned();

private:
    Transfer();
    ~Transfer();

    LONG refs_ = 1;
    CRITICAL_SECTION lock_;
    bool abandoned_ = false;
    UniqueFile file_;
    uint64_t received_ = 0;
};

// Lets go of the caller's reference on a thread of its own, where closing the Internet handles
// may take its time.
void ReleaseAside(Transfer* transfer);

// Opens transfer.url into transfer.request (open_error on failure), closing the request before.
void OpenJob(Transfer& transfer);
// Reads the body of transfer.request into its file, a block as soon as bytes are there (not
// when a whole block has come: a slow server's bytes are counted as they arrive).
void BodyJob(Transfer& transfer);

// The least time between two progress calls that report a grown count, in ms.
constexpr DWORD kProgressInterval = 50;

// How waiting for a job ended.
enum class WaitEnd { kDone, kCancelled, kStalled, kNoThread };

// Progress as the waiting thread reports it: the callback's arguments and state.
struct WaitReport {
    void (*progress)(bool& cancel, uint64_t done, uint64_t total, int32_t reserved) = nullptr;
    uint64_t total = 0;
    bool cancel = false;
    uint64_t reported = 0;  // Done of the last call
};

// Runs job on a new worker thread and waits for it: calls report.progress whenever messages
// wait and whenever the count grew (at most every kProgressInterval ms); gives up when the
// callback cancels or when nothing arrived for stall_ms. The job keeps its own reference.
WaitEnd RunJob(Transfer& transfer, void (*job)(Transfer&), WaitReport& report, DWORD stall_ms);
