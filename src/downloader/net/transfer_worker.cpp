// A download's worker thread and the calling thread's wait for it.
#include "downloader/net/transfer_worker.h"

#include <wininet.h>

#include <algorithm>
#include <memory>
#include <new>


namespace {

// The largest read, and the buffer's size.
constexpr DWORD kReadBlock = 256 * 1024;
// Reads that wait for their whole size are made only when they fill within about this long at
// the body's recent rate, and only from this size on; smaller ones take what has arrived.
constexpr double kWaitingReadSeconds = 0.01;
constexpr DWORD kMinWaitingRead = 16 * 1024;
constexpr double kRateWindowSeconds = 0.1;

// Sizes the body's reads. WinInet (Wine's at least) returns from a read only when its buffer is
// full or the body has ended, so a read may wait only for as much as the server sends in a
// moment: a slow server's bytes must be counted as they come, or the stall bound would take a
// trickle for silence. A fast server's bytes are taken in large reads, each of which costs more
// under Wine than its copy.
class ReadPlanner {
public:
    ReadPlanner() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&window_start_);
    }
    // Bytes a read may wait for; 0: take only what has arrived.
    DWORD WaitingRead() const { return waiting_read_; }
    void Count(DWORD bytes) {
        window_bytes_ += bytes;
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        const double seconds = static_cast<double>(now.QuadPart - window_start_.QuadPart) /
                               static_cast<double>(frequency_.QuadPart);
        if (seconds < kRateWindowSeconds) return;
        const double moment = static_cast<double>(window_bytes_) / seconds * kWaitingReadSeconds;
        waiting_read_ = moment >= kReadBlock ? kReadBlock
                        : moment >= kMinWaitingRead ? static_cast<DWORD>(moment) : 0;
        window_bytes_ = 0;
        window_start_ = now;
    }

private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER window_start_{};
    uint64_t window_bytes_ = 0;
    DWORD waiting_read_ = 0;
};

// Reads the next bytes of the body into buffer: read is 0 at its end. False when a read fails.
bool ReadSome(HINTERNET request, char* buffer, const ReadPlanner& planner, DWORD& read) {
    read = 0;
    if (planner.WaitingRead() != 0) {
        return InternetReadFile(request, buffer, planner.WaitingRead(), &read) != FALSE;
    }
    // Waits until some bytes are there (or the body ends), then takes them without waiting.
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) return false;
    return available == 0 ||
           InternetReadFile(request, buffer, std::min(available, kReadBlock), &read) != FALSE;
}

// Locks a critical section for a scope.
class Locked {
public:
    explicit Locked(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
    ~Locked() { LeaveCriticalSection(&section_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& section_;
};

// What a worker thread is given: the job, its reference to the transfer, and the event it sets
// when the job has ended.
struct JobStart {
    void (*job)(Transfer&);
    Transfer* transfer;
    HANDLE done;  // the thread's own duplicate
};

DWORD WINAPI JobThread(void* context) {
    std::unique_ptr<JobStart> start(static_cast<JobStart*>(context));
    start->job(*start->transfer);
    SetEvent(start->done);
    CloseHandle(start->done);
    start->transfer->Release();
    return 0;
}

DWORD WINAPI ReleaseThread(void* transfer) {
    static_cast<Transfer*>(transfer)->Release();
    return 0;
}

// Starts the job on its own thread; the event it sets when done, or an empty handle.
UniqueHandle StartJob(Transfer& transfer, void (*job)(Transfer&)) {
    UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!done) return {};
    HANDLE thread_done = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), done.get(), GetCurrentProcess(), &thread_done, 0,
                         FALSE, DUPLICATE_SAME_ACCESS)) {
        return {};
    }
    std::unique_ptr<JobStart> start(new (std::nothrow) JobStart{job, &transfer, thread_done});
    if (!start) {
        CloseHandle(thread_done);
        return {};
    }
    transfer.AddRef();
    UniqueHandle thread(CreateThread(nullptr, 0, &JobThread, start.get(), 0, nullptr));
    if (!thread) {
        transfer.Release();
        CloseHandle(thread_done);
        return {};
    }
    start.release();  // the thread owns it now
    return done;
}

}  // namespace

Transfer* Transfer::Create() {
    return new (std::nothrow) Transfer();
}

Transfer::Transfer() {
    InitializeCriticalSection(&lock_);
}

Transfer::~Transfer() {
    // The request before its session.
    request.reset();
    session.reset();
    DeleteCriticalSection(&lock_);
}

void Transfer::AddRef() {
    InterlockedIncrement(&refs_);
}

void Transfer::Release() {
    if (InterlockedDecrement(&refs_) == 0) delete this;
}

void Transfer::SetFile(UniqueFile file) {
    Locked locked(lock_);
    file_ = std::move(file);
}

uint64_t Transfer::Received() {
    Locked locked(lock_);
    return received_;
}

void Transfer::Abandon(const std::string& path) {
    Locked locked(lock_);
    abandoned_ = true;
    if (file_) {
        file_.reset();
        DeleteFileA(path.c_str());
    }
}

bool Transfer::CloseFile() {
    Locked locked(lock_);
    return file_.close();
}

bool Transfer::abandoned() {
    Locked locked(lock_);
    return abandoned_;
}

Transfer::BodyEnd Transfer::WriteBlock(const char* data, DWORD size) {
    Locked locked(lock_);
    if (abandoned_) return BodyEnd::kAbandoned;
    DWORD written = 0;
    if (!WriteFile(file_.get(), data, size, &written, nullptr) || written != size) {
        return BodyEnd::kWriteFailed;
    }
    received_ += size;
    return BodyEnd::kEnd;
}

void OpenJob(Transfer& transfer) {
    // Closing a request whose body was not read makes WinInet read the rest (to keep the
    // connection), which can take as long as the server likes: never on the waiting thread.
    transfer.request.reset();
    transfer.request.reset(InternetOpenUrlA(transfer.session.get(), transfer.url.c_str(),
                                            transfer.headers.c_str(),
                                            static_cast<DWORD>(transfer.headers.size()),
                                            transfer.open_flags, 0));
    transfer.open_error = transfer.request ? 0 : GetLastError();
}

void BodyJob(Transfer& transfer) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadBlock]);
    if (!buffer) {
        transfer.body_end = Transfer::BodyEnd::kWriteFailed;
        return;
    }
    ReadPlanner planner;
    for (;;) {
        if (transfer.abandoned()) {
            transfer.body_end = Transfer::BodyEnd::kAbandoned;
            return;
        }
        DWORD read = 0;
        if (!ReadSome(transfer.request.get(), buffer.get(), planner, read)) {
            transfer.body_error = GetLastError();
            transfer.body_end = Transfer::BodyEnd::kReadFailed;
            return;
        }
        if (read == 0) {
            transfer.body_end = Transfer::BodyEnd::kEnd;
            return;
        }
        planner.Count(read);
        const Transfer::BodyEnd written = transfer.WriteBlock(buffer.get(), read);
        if (written != Transfer::BodyEnd::kEnd) {
            transfer.body_end = written;
            return;
        }
    }
}

void ReleaseAside(Transfer* transfer) {
    UniqueHandle thread(CreateThread(nullptr, 0, &ReleaseThread, transfer, 0, nullptr));
    if (!thread) transfer->Release();
}

WaitEnd RunJob(Transfer& transfer, void (*job)(Transfer&), WaitReport& report, DWORD stall_ms) {
    UniqueHandle done = StartJob(transfer, job);
    if (!done) return WaitEnd::kNoThread;
    const HANDLE events[] = {done.get()};
    uint64_t seen = transfer.Received();
    DWORD last_arrival = GetTickCount();
    DWORD last_report = last_arrival - kProgressInterval;
    for (;;) {
        const DWORD now = GetTickCount();
        const DWORD quiet = now - last_arrival;
        if (quiet >= stall_ms) return WaitEnd::kStalled;
        const DWORD timeout = std::min<DWORD>(kProgressInterval, stall_ms - quiet);
        const DWORD woken = MsgWaitForMultipleObjectsEx(1, events, timeout, QS_ALLINPUT,
                                                        MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) return WaitEnd::kDone;
        const uint64_t received = transfer.Received();
        if (received != seen) {
            seen = received;
            last_arrival = GetTickCount();
        }
        // Messages are pumped by the callback at once; the count is shown at most every
        // interval, so a fast download pays for no display but its own.
        const bool messages = woken == WAIT_OBJECT_0 + 1;
        const bool due = received != report.reported && GetTickCount() - last_report >= kProgressInterval;
        if (!messages && !due) continue;
        if (due) last_report = GetTickCount();
        report.reported = received;
        report.progress(report.cancel, received, report.total, 0);
        if (report.cancel) return WaitEnd::kCancelled;
    }
}
