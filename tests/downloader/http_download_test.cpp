// HTTP download against a local test server: result codes, progress calls, the local file,
// proxy credentials, and the message texts for the result codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <vector>

#include <shlobj.h>
#include <wininet.h>

#include "downloader/net/http_download.h"
#include "utils/text.h"
#include "support/http_server.h"
#include "support/installer_driver.h"
#include "support/test_support.h"

namespace {

constexpr int32_t kBlock = 16383;
const char kAgentLine[] = "User-Agent: Ombrevine_CharacterInstaller/1.00";

// Bytes that differ from block to block (251 is prime), so a lost or repeated block shows.
std::string PatternBody(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>(i % 251);
    return body;
}

int64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

struct ProgressCall {
    bool cancel_on_entry;
    uint64_t done;
    uint64_t total;
    int32_t reserved;
    int64_t file_size;  // of the local file when the call came
};

// What the progress callback saw, and what it is to do. The callback is a plain function, so
// it reaches the running test's log through a pointer.
struct ProgressLog {
    std::string file;
    int cancel_in_call = 0;                      // 1-based; 0: never cancel
    std::function<void(uint64_t done)> on_call;  // runs in every call
    std::vector<ProgressCall> calls;
};
ProgressLog* g_progress = nullptr;

void RecordProgress(bool& cancel, uint64_t done, uint64_t total, int32_t reserved) {
    ProgressLog& log = *g_progress;
    log.calls.push_back({cancel, done, total, reserved, FileSize(log.file)});
    if (log.on_call) log.on_call(done);
    if (static_cast<int>(log.calls.size()) == log.cancel_in_call) cancel = true;
}

class Download : public testing::Test {
protected:
    Download() {
        progress.file = target;
        g_progress = &progress;
    }
    ~Download() override { g_progress = nullptr; }

    int32_t Fetch(const std::string& url) { return FetchWith(url, {}).code; }
    TDownloadResult FetchWith(const std::string& url, const TDownloadOptions& options) {
        return DownloadToFile(target, url, &RecordProgress, options);
    }

    TestHttpServer server;
    TestFolder dir;
    const std::string target = dir / "download.bin";
    ProgressLog progress;
};

TEST_F(Download, StreamsTheBody) {
    const std::string body = PatternBody(1000000);
    HttpResponse response;
    response.body = body;
    server.Serve("/file", response);
    ASSERT_TRUE(server.listening());

    EXPECT_EQ(0, Fetch(server.Url("/file")));
    EXPECT_TRUE(ReadTextFile(target) == body);
    // Done grows from call to call, and the bytes counted are on disk when the call comes.
    ASSERT_FALSE(progress.calls.empty());
    uint64_t previous = 0;
    for (const ProgressCall& call : progress.calls) {
        EXPECT_FALSE(call.cancel_on_entry);
        EXPECT_GT(call.done, previous);
        EXPECT_EQ(1000000u, call.total);
        EXPECT_EQ(0, call.reserved);
        EXPECT_GE(call.file_size, static_cast<int64_t>(call.done));
        previous = call.done;
    }
    EXPECT_EQ(1000000u, progress.calls.back().done);
    // One request, with the installer's agent, asking for the body as it is.
    ASSERT_EQ(1, server.Requests("/file"));
    const std::string head = server.RequestHeads("/file")[0] + "\r\n";
    EXPECT_NE(std::string::npos, head.find(std::string("\r\n") + kAgentLine + "\r\n")) << head;
    EXPECT_NE(std::string::npos, head.find("\r\nAccept-Encoding: identity\r\n")) << head;
}

// The server stops after 20,000 bytes, short of a block, until the callback lets it go on: the
// bytes are counted as they arrive, not when a whole block has come.
TEST_F(Download, ReportsProgressWhileTheBodyIsStillArriving) {
    const std::string body = PatternBody(100000);
    HttpResponse response;
    response.body = body;
    response.hold_after = 20000;
    server.Serve("/file", response);
    bool called_while_held = false;
    progress.on_call = [&](uint64_t done) {
        if (done == 20000) {
            called_while_held = server.WaitUntilHeld("/file", 0);
            server.Release("/file");
        }
    };

    EXPECT_EQ(0, Fetch(server.Url("/file")));
    EXPECT_TRUE(called_while_held);
    EXPECT_TRUE(ReadTextFile(target) == body);
}

TEST_F(Download, AnnouncedSize) {
    struct Case {
        const char* name;
        bool header;
        const char* text;  // sent instead of the body's size when not empty
        size_t body_size;
        uint64_t total;
    };
    const Case cases[] = {
        {"correct", true, "", 30000, 30000},
        {"no header", false, "", 30000, 0},
        {"sign", true, "+5", 5, 0},
        {"letters", true, "abc", 12, 0},
        {"trailing tab", true, "12\t", 12, 0},
        // WinInet strips the blanks around a header's value, so "12 " reaches the count as "12".
        {"trailing space", true, "12 ", 12, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        progress.calls.clear();
        HttpResponse response;
        response.body = PatternBody(c.body_size);
        response.content_length = c.header;
        response.content_length_text = c.text;
        server.Serve("/file", response);

        EXPECT_EQ(0, Fetch(server.Url("/file")));
        ASSERT_FALSE(progress.calls.empty());
        for (const ProgressCall& call : progress.calls) EXPECT_EQ(c.total, call.total);
        EXPECT_EQ(progress.calls.back().done, static_cast<uint64_t>(FileSize(target)));
    }
}

TEST_F(Download, EmptyBodyLeavesAnEmptyFileWithoutProgress) {
    WriteTextFile(target, "an older download");
    server.Serve("/empty", HttpResponse{});

    EXPECT_EQ(0, Fetch(server.Url("/empty")));
    EXPECT_TRUE(progress.calls.empty());
    EXPECT_EQ(0, FileSize(target));
}

// Below 300 the body is downloaded; from 300 on no file is created nor an existing one touched.
// A 3xx without a Location fails like any other status.
TEST_F(Download, StatusDecidesWhetherTheFileIsWritten) {
    for (int status : {200, 201, 299, 300, 302, 304, 401, 404, 500, 503}) {
        SCOPED_TRACE(status);
        const bool fails = status >= 300;
        HttpResponse response;
        response.status = status;
        response.body = "payload";
        server.Serve("/file", response);

        DeleteFileA(target.c_str());
        EXPECT_EQ(fails ? -status : 0, Fetch(server.Url("/file")));
        EXPECT_EQ(!fails, PathExists(target));

        WriteTextFile(target, "an older download");
        progress.calls.clear();
        EXPECT_EQ(fails ? -status : 0, Fetch(server.Url("/file")));
        EXPECT_EQ(fails ? "an older download" : "payload", ReadTextFile(target));
        EXPECT_EQ(fails, progress.calls.empty());
    }
    EXPECT_EQ(-404, Fetch(server.Url("/unknown")));
}

// Redirects are followed, relative ones too, up to ten; one more fails the download.
TEST_F(Download, FollowsRedirectsUpToTheLimit) {
    constexpr int kMaxRedirects = 10;
    for (int n = 1; n <= kMaxRedirects + 1; ++n) {
        HttpResponse moved;
        moved.status = n % 2 == 0 ? 301 : 302;
        moved.extra_headers = "Location: " + (n == kMaxRedirects + 1 ? std::string("/target")
                                                                     : "hop" + std::to_string(n + 1)) + "\r\n";
        server.Serve("/hop" + std::to_string(n), moved);
    }
    HttpResponse target_response;
    target_response.body = PatternBody(20000);
    server.Serve("/target", target_response);

    // From hop 2, ten redirects lead to the target.
    EXPECT_EQ(0, Fetch(server.Url("/hop2")));
    EXPECT_TRUE(ReadTextFile(target) == target_response.body);
    EXPECT_EQ(1, server.Requests("/target"));

    // From hop 1, eleven.
    DeleteFileA(target.c_str());
    const TDownloadResult result = FetchWith(server.Url("/hop1"), {});
    EXPECT_EQ(-302, result.code);
    EXPECT_EQ(TDownloadFailure::kTooManyRedirects, result.failure);
    EXPECT_EQ(1, server.Requests("/target"));  // not asked again
    EXPECT_FALSE(PathExists(target));
}

// Servers that misbehave: each ends in its result and failure, leaves no file unless the body
// came whole, and the wait gives up within the stall bound plus the time it takes to notice.
TEST_F(Download, MisbehavingServers) {
    constexpr DWORD kStall = 500;
    const std::string body = PatternBody(50000);
    struct Case {
        const char* name;
        HttpResponse response;
        int32_t code;
        TDownloadFailure failure;
    };
    auto answer = [&](auto change) {
        HttpResponse response;
        response.body = body;
        change(response);
        return response;
    };
    const Case cases[] = {
        {"no answer", answer([](HttpResponse& r) { r.hold_head = true; }), -2,
         TDownloadFailure::kNoAnswer},
        {"stall in the body", answer([](HttpResponse& r) { r.hold_after = 20000; }), -3,
         TDownloadFailure::kStalled},
        {"gzip", answer([](HttpResponse& r) { r.extra_headers = "Content-Encoding: gzip\r\n"; }),
         -3, TDownloadFailure::kEncoding},
        {"identity encoding named", answer([](HttpResponse& r) { r.extra_headers = "Content-Encoding: identity\r\n"; }),
         0, TDownloadFailure::kNone},
        {"407 without a proxy", answer([](HttpResponse& r) { r.status = 407; }), -407,
         TDownloadFailure::kOther},
        // A byte every 100 ms never counts as a stall, though no block ever fills.
        {"trickle", answer([](HttpResponse& r) { r.body = "0123456789"; r.trickle_ms = 100; }),
         0, TDownloadFailure::kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(target.c_str());
        server.Serve("/file", c.response);
        TDownloadOptions options;
        options.stall_ms = kStall;
        const TDownloadResult result = FetchWith(server.Url("/file"), options);
        EXPECT_EQ(c.code, result.code);
        EXPECT_EQ(c.failure, result.failure);
        EXPECT_EQ(c.code == 0, PathExists(target));
        if (c.code == 0) {
            EXPECT_TRUE(ReadTextFile(target) == c.response.body);
        }
    }
}

// A body is complete as the protocol says: with a length when that many bytes came, without one
// when the connection ended in order, in chunks when the last chunk came. WinInet does not show
// that last chunk, so a body in chunks is kept only for a caller that checks its digest. The
// download list's size (expected) never decides.
TEST_F(Download, CompleteOnlyAsTheProtocolSays) {
    const std::string body = PatternBody(50000);
    struct Case {
        const char* name;
        bool length;    // Content-Length sent
        bool chunked;
        size_t close_after;  // the connection closed in order after this many bytes
        size_t break_after;  // reset after this many bytes
        bool digest_checked;
        int32_t code;
        TDownloadFailure failure;
    };
    constexpr size_t kAll = HttpResponse::npos;
    const Case cases[] = {
        {"length, whole", true, false, kAll, kAll, false, 0, TDownloadFailure::kNone},
        {"length, closed short", true, false, 20000, kAll, false, -3, TDownloadFailure::kCutShort},
        {"length, reset short", true, false, kAll, 20000, false, -3, TDownloadFailure::kCutShort},
        // The author wrote a larger size: the end of the connection still ends the body.
        {"no length, closed short of the list's size", false, false, 20000, kAll, false, 0,
         TDownloadFailure::kNone},
        {"chunks, whole", false, true, kAll, kAll, false, -3, TDownloadFailure::kUnconfirmedEnd},
        {"chunks, closed before the last chunk", false, true, 21000, kAll, false, -3,
         TDownloadFailure::kUnconfirmedEnd},
        {"chunks, reset before the last chunk", false, true, kAll, 21000, false, -3,
         TDownloadFailure::kUnconfirmedEnd},
        // With a digest to check, what came is kept for that check to judge.
        {"chunks, whole, digest checked", false, true, kAll, kAll, true, 0, TDownloadFailure::kNone},
        {"chunks, closed, digest checked", false, true, 21000, kAll, true, 0, TDownloadFailure::kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(target.c_str());
        HttpResponse response;
        response.body = body;
        response.content_length = c.length;
        response.chunked = c.chunked;
        response.close_after = c.close_after;
        response.break_after = c.break_after;
        server.Serve("/file", response);
        TDownloadOptions options;
        options.expected_size = 2 * body.size();
        options.digest_checked = c.digest_checked;
        const TDownloadResult result = FetchWith(server.Url("/file"), options);
        EXPECT_EQ(c.code, result.code);
        EXPECT_EQ(c.failure, result.failure);
        EXPECT_EQ(c.code == 0, PathExists(target));
        if (c.code == 0) {
            EXPECT_TRUE(ReadTextFile(target) == body.substr(0, std::min(c.close_after, body.size())));
        }
    }
}

// The callback cancels while the server holds the rest of the body: the download returns at
// once, while the server still holds, and leaves no file.
TEST_F(Download, CancelStopsAtOnceAndLeavesNoFile) {
    HttpResponse response;
    response.body = PatternBody(100000);
    response.hold_after = 30000;
    server.Serve("/file", response);
    progress.on_call = [&](uint64_t done) {
        if (done == 30000) progress.cancel_in_call = static_cast<int>(progress.calls.size());
    };

    EXPECT_EQ(0, Fetch(server.Url("/file")));
    EXPECT_TRUE(server.WaitUntilHeld("/file", 0));
    EXPECT_EQ(30000u, progress.calls.back().done);
    EXPECT_FALSE(PathExists(target));
    server.Release("/file");
}

// The files below folder whose names hold stem.
void FindNamed(const std::string& folder, const std::string& stem, std::vector<std::string>& found) {
    WIN32_FIND_DATAA entry{};
    UniqueFindHandle search(FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!search) return;
    do {
        const std::string name = entry.cFileName;
        const std::string path = folder + "\\" + name;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) FindNamed(path, stem, found);
        if (name.find(stem) != std::string::npos) found.push_back(path);
    } while (FindNextFileA(search.get(), &entry));
}

// What WinInet's cache (INetCache) holds of the test's downloads, which it names after the URL's
// file: removed with their entries when the test ends, however it ends.
struct CacheFiles {
    std::vector<std::string> Found() const {
        char folder[MAX_PATH] = {};
        SHGetFolderPathA(nullptr, CSIDL_INTERNET_CACHE, nullptr, SHGFP_TYPE_CURRENT, folder);
        std::vector<std::string> found;
        FindNamed(folder, stem, found);
        return found;
    }
    ~CacheFiles() {
        for (const std::string& url : urls) DeleteUrlCacheEntryA(url.c_str());
        for (const std::string& path : Found()) DeleteFileA(path.c_str());
    }
    std::string stem;
    std::vector<std::string> urls;
};

// Nothing a download fetches lands in WinInet's cache, whether it completes or is cancelled.
TEST_F(Download, NothingIsWrittenToTheCache) {
    // Process ids come again under Wine: the time makes the names this run's own.
    const std::string stem =
        "cachecheck" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
    struct Case {
        const char* name;
        std::string path;
        size_t hold_after;  // the server holds here, and the download is cancelled
    };
    const Case cases[] = {
        {"complete", "/" + stem + "-whole.bin", HttpResponse::npos},
        {"cancelled", "/" + stem + "-cancelled.bin", 30000},
    };
    const CacheFiles cache{stem, {server.Url(cases[0].path), server.Url(cases[1].path)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpResponse response;
        response.body = PatternBody(100000);
        response.hold_after = c.hold_after;
        server.Serve(c.path, response);
        progress.calls.clear();
        progress.on_call = [&](uint64_t done) {
            if (done != c.hold_after) return;
            progress.cancel_in_call = static_cast<int>(progress.calls.size());
        };
        EXPECT_EQ(0, Fetch(server.Url(c.path)));
        server.Release(c.path);
        progress.cancel_in_call = 0;
        const std::vector<std::string> found = cache.Found();
        EXPECT_TRUE(found.empty()) << found.front();
    }
}

TEST_F(Download, NobodyListeningIsAConnectFailure) {
    std::string url;
    {
        TestHttpServer closed;  // its port is free again once it is gone
        url = closed.Url("/file");
    }
    const TDownloadResult result = FetchWith(url, {});
    EXPECT_EQ(-2, result.code);
    EXPECT_EQ(TDownloadFailure::kConnectFailed, result.failure);
    EXPECT_FALSE(PathExists(target));
    EXPECT_TRUE(progress.calls.empty());
}

TEST_F(Download, LocalFileThatCannotBeCreatedIsATransferFailure) {
    HttpResponse response;
    response.body = "payload";
    server.Serve("/file", response);
    const std::string missing_folder = dir / "missing";

    const TDownloadResult result = DownloadToFile(missing_folder + "\\download.bin",
                                                  server.Url("/file"), &RecordProgress);
    EXPECT_EQ(-3, result.code);
    EXPECT_EQ(TDownloadFailure::kLocalFile, result.failure);
    EXPECT_FALSE(PathExists(missing_folder));
    EXPECT_TRUE(progress.calls.empty());
}

// Makes WinInet sessions opened while it lives go through a proxy. Wine's WinInet takes the
// system proxy from the http_proxy variable when the registry names none, and reads it through
// ucrtbase's copy of the environment, which this program's runtime (msvcrt) does not update.
class ScopedHttpProxy {
public:
    explicit ScopedHttpProxy(const std::string& url) { set_ = Put(url.c_str()); }
    ~ScopedHttpProxy() { Put(""); }  // an empty value removes the variable
    ScopedHttpProxy(const ScopedHttpProxy&) = delete;
    ScopedHttpProxy& operator=(const ScopedHttpProxy&) = delete;

    bool set() const { return set_; }

private:
    static bool Put(const char* value) {
        using PutEnv = int(__cdecl*)(const char* name, const char* value);
        HMODULE ucrt = GetModuleHandleA("ucrtbase.dll");
        if (ucrt == nullptr) return false;
        auto put = reinterpret_cast<PutEnv>(
            reinterpret_cast<void (*)()>(GetProcAddress(ucrt, "_putenv_s")));
        return put != nullptr && put("http_proxy", value) == 0;
    }
    bool set_ = false;
};

struct DialogAnswer {
    int button;
    std::string user;
    std::string password;
    std::function<void()> before_press;
};

// Answers the credentials dialogs of this process from a thread of its own, in order: fills the
// dialog's two edit fields (user name, password) when a user is given, runs before_press, and
// presses the button. A dialog beyond the script is counted, cancelled after running
// on_unexpected, which is to end the asking, so a download that keeps asking cannot hang the test.
class CredentialsDialogAnswerer {
public:
    CredentialsDialogAnswerer(std::vector<DialogAnswer> answers,
                              std::function<void()> on_unexpected)
        : answers_(std::move(answers)), on_unexpected_(std::move(on_unexpected)) {
        finish_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        thread_.reset(CreateThread(nullptr, 0, &CredentialsDialogAnswerer::Run, this, 0, nullptr));
    }
    ~CredentialsDialogAnswerer() { Finish(); }
    CredentialsDialogAnswerer(const CredentialsDialogAnswerer&) = delete;
    CredentialsDialogAnswerer& operator=(const CredentialsDialogAnswerer&) = delete;

    // Stops looking for dialogs; call once the download has returned.
    void Finish() {
        if (!thread_) return;
        SetEvent(finish_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }
    // The texts of every dialog seen, one string per dialog (valid after Finish).
    const std::vector<std::string>& dialogs() const { return dialogs_; }

private:
    static BOOL CALLBACK CollectDialog(HWND window, LPARAM found) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char class_name[16] = {};
        GetClassNameA(window, class_name, sizeof class_name);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
            std::string(class_name) == "#32770") {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }
    static BOOL CALLBACK CollectChild(HWND child, LPARAM children) {
        reinterpret_cast<std::vector<HWND>*>(children)->push_back(child);
        return TRUE;
    }

    static DWORD WINAPI Run(void* self) {
        static_cast<CredentialsDialogAnswerer*>(self)->AnswerDialogs();
        return 0;
    }

    void AnswerDialogs() {
        while (WaitForSingleObject(finish_.get(), 50) == WAIT_TIMEOUT) {
            HWND dialog = nullptr;
            EnumWindows(&CollectDialog, reinterpret_cast<LPARAM>(&dialog));
            if (dialog == nullptr) continue;
            std::vector<HWND> children;
            EnumChildWindows(dialog, &CollectChild, reinterpret_cast<LPARAM>(&children));
            std::string texts;
            std::vector<HWND> edits;
            for (HWND child : children) {
                char text[512] = {};
                GetWindowTextA(child, text, sizeof text);
                texts += std::string(text) + "\n";
                char class_name[16] = {};
                GetClassNameA(child, class_name, sizeof class_name);
                if (std::string(class_name) == "Edit") edits.push_back(child);
            }
            // A dialog is answered once it is filled in (its realm shown, its two fields there):
            // Wine shows it before its initialisation has set them, and a field typed into then
            // is overwritten, the OK sending no credentials at all.
            if (edits.size() < 2 || texts.find("test realm") == std::string::npos) continue;
            const size_t index = dialogs_.size();
            dialogs_.push_back(texts);
            const DialogAnswer answer = index < answers_.size()
                                            ? answers_[index]
                                            : DialogAnswer{IDCANCEL, "", "", on_unexpected_};
            if (!answer.user.empty() && edits.size() >= 2) {
                SetWindowTextA(edits[0], answer.user.c_str());
                SetWindowTextA(edits[1], answer.password.c_str());
            }
            if (answer.before_press) answer.before_press();
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(answer.button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, answer.button)));
            WaitFor([dialog] { return !IsWindow(dialog); }, 10000);
        }
    }

    std::vector<DialogAnswer> answers_;
    std::function<void()> on_unexpected_;
    std::vector<std::string> dialogs_;
    UniqueHandle finish_;
    UniqueHandle thread_;
};

// A 407 comes from a proxy here, as it does in the field: Wine's credentials dialog shows the
// session's proxy name and faults on a session without a proxy.
class ProxyAuth : public Download {
protected:
    ProxyAuth() {
        HttpResponse challenge;
        challenge.status = 407;
        challenge.body = "proxy authentication required";
        challenge.extra_headers = "Proxy-Authenticate: Basic realm=\"test realm\"\r\n";
        proxy.Serve("/file", challenge);
    }
    // The proxy lets every request through from now on.
    void StopChallenging() { proxy.Serve("/file", HttpResponse{}); }

    TestHttpServer proxy;
    ScopedHttpProxy use_proxy{proxy.Url("")};
};

TEST_F(ProxyAuth, CancellingTheCredentialsDialogReturns407) {
    ASSERT_TRUE(use_proxy.set());
    CredentialsDialogAnswerer answerer({{IDCANCEL, "", "", {}}}, [this] { StopChallenging(); });
    const int32_t result = Fetch(server.Url("/file"));
    answerer.Finish();

    EXPECT_EQ(-407, result);
    ASSERT_EQ(1u, answerer.dialogs().size());
    EXPECT_NE(std::string::npos, answerer.dialogs()[0].find("test realm\n"));
    EXPECT_FALSE(PathExists(target));
    EXPECT_EQ(1, proxy.Requests("/file"));
    EXPECT_EQ(0, server.Requests("/file"));  // the request went through the proxy
}

TEST_F(ProxyAuth, CredentialsAreAskedForUntilTheProxyAccepts) {
    ASSERT_TRUE(use_proxy.set());
    HttpResponse accepted;
    accepted.body = PatternBody(20000);
    CredentialsDialogAnswerer answerer({
        {IDOK, "user", "wrong", {}},
        {IDOK, "user", "secret", [&] { proxy.Serve("/file", accepted); }},
    }, [this] { StopChallenging(); });
    const int32_t result = Fetch(server.Url("/file"));
    answerer.Finish();

    EXPECT_EQ(0, result);
    EXPECT_EQ(2u, answerer.dialogs().size());
    EXPECT_TRUE(ReadTextFile(target) == accepted.body);
    // The first dialog's entry reached the proxy (base64 of "user:wrong").
    bool sent = false;
    for (const std::string& head : proxy.RequestHeads("/file")) {
        sent = sent || head.find("\r\nProxy-Authorization: Basic dXNlcjp3cm9uZw==") !=
                           std::string::npos;
    }
    EXPECT_TRUE(sent);
}

TEST(DownloadErrorText, EveryCodeHasItsKindAndText) {
    struct Case {
        int32_t code;
        TDownloadErrorKind kind;
        const char* text;  // null: a Japanese phrase of this program's, with the status number
    };
    const Case cases[] = {
        {-1, dekHelpPage, "セッションのオープンに失敗しました。"},
        {-2, dekHelpPage, "ファイルのダウンロードに失敗しました。"},
        {-3, dekHelpPage, "ファイルのダウンロード中にエラーが発生しました。"},
        {-300, dekHelpPage, nullptr}, {-301, dekHelpPage, nullptr}, {-302, dekHelpPage, nullptr},
        {-303, dekHelpPage, nullptr}, {-304, dekHelpPage, nullptr}, {-305, dekHelpPage, nullptr},
        {-400, dekHelpPage, nullptr}, {-401, dekHelpPage, nullptr}, {-402, dekHelpPage, nullptr},
        {-403, dekHelpPage, nullptr},
        {-404, dekContact, "ファイルが見つかりませんでした。"},
        {-405, dekHelpPage, nullptr}, {-406, dekHelpPage, nullptr},
        {-407, dekNotice,
         "プロキシーサーバの認証時に失敗しました。正しいIDとパスワードを入力してください。"},
        {-408, dekNotice,
         "ネットワーク接続がタイムアウトしました。もう少し時間を置いてから試してみてください。"},
        {-409, dekHelpPage, nullptr}, {-410, dekHelpPage, nullptr}, {-411, dekHelpPage, nullptr},
        {-412, dekHelpPage, nullptr}, {-413, dekHelpPage, nullptr}, {-414, dekHelpPage, nullptr},
        {-415, dekHelpPage, nullptr}, {-416, dekHelpPage, nullptr}, {-417, dekHelpPage, nullptr},
        {-500, dekContact, nullptr},
        {-501, dekHelpPage, nullptr}, {-502, dekHelpPage, nullptr}, {-503, dekHelpPage, nullptr},
        {-504, dekHelpPage, nullptr}, {-505, dekHelpPage, nullptr},
        // Statuses outside the table: the general phrase with the number.
        {-306, dekHelpPage, "サーバがエラーを返しました(306)。"},
        {-418, dekHelpPage, "サーバがエラーを返しました(418)。"},
        {-506, dekHelpPage, "サーバがエラーを返しました(506)。"},
        // Other codes: a help page without a text.
        {-4, dekHelpPage, ""},
        {404, dekHelpPage, ""},
        {0, dekHelpPage, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        std::string text = "left over";
        EXPECT_EQ(c.kind, DownloadErrorText(c.code, text));
        if (c.text != nullptr) {
            EXPECT_EQ(c.text, text);
            continue;
        }
        // Not the server's English: two-byte characters, and the number in brackets.
        EXPECT_TRUE(IsLeadByte(static_cast<unsigned char>(text[0]))) << text;
        EXPECT_NE(std::string::npos, text.find("(" + std::to_string(-c.code) + ")")) << text;
    }
    // The texts are code page 932 bytes: "ファ" is 83 74 83 40.
    std::string text;
    DownloadErrorText(-404, text);
    EXPECT_EQ(0, text.compare(0, 4, "\x83\x74\x83\x40"));
}

// Each kind of failure has a text of its own; the others say what the code says. WinInet's
// errors of opening a URL are told apart the same way.
TEST(DownloadErrorText, FailuresAreToldApart) {
    const TDownloadFailure failures[] = {
        TDownloadFailure::kHostNotFound, TDownloadFailure::kConnectFailed,
        TDownloadFailure::kCertificate,  TDownloadFailure::kNoAnswer,
        TDownloadFailure::kStalled,      TDownloadFailure::kTooManyRedirects,
        TDownloadFailure::kCutShort,     TDownloadFailure::kEncoding,
        TDownloadFailure::kLocalFile,
    };
    std::vector<std::string> seen;
    for (TDownloadFailure failure : failures) {
        const std::string text = DownloadFailureText({-2, failure});
        EXPECT_FALSE(text.empty());
        for (const std::string& other : seen) EXPECT_NE(other, text);
        seen.push_back(text);
    }
    EXPECT_EQ("ファイルが見つかりませんでした。", DownloadFailureText({-404, TDownloadFailure::kOther}));

    const std::pair<DWORD, TDownloadFailure> errors[] = {
        {ERROR_INTERNET_NAME_NOT_RESOLVED, TDownloadFailure::kHostNotFound},
        {ERROR_INTERNET_CANNOT_CONNECT, TDownloadFailure::kConnectFailed},
        {ERROR_INTERNET_TIMEOUT, TDownloadFailure::kConnectFailed},
        {ERROR_INTERNET_INVALID_CA, TDownloadFailure::kCertificate},
        {ERROR_INTERNET_SEC_CERT_DATE_INVALID, TDownloadFailure::kCertificate},
        {ERROR_INTERNET_SEC_CERT_CN_INVALID, TDownloadFailure::kCertificate},
        {ERROR_INTERNET_CONNECTION_ABORTED, TDownloadFailure::kNoAnswer},
        {ERROR_INTERNET_INTERNAL_ERROR, TDownloadFailure::kOther},
    };
    for (const auto& [error, failure] : errors) {
        SCOPED_TRACE(error);
        EXPECT_EQ(failure, OpenFailureOf(error));
    }
}

}  // namespace
