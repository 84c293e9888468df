// HTTP download of one file into a local file through WinInet, and the texts for its results.
#include "downloader/http_download.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

constexpr char kUserAgent[] = "Ombrevine_CharacterInstaller/1.00";
// The transfer block: 16383 bytes (0x3FFF), not 16384; one block is held in memory at a time.
constexpr DWORD kBlockSize = 0x3FFF;
constexpr DWORD kTimeoutMs = 20000;

// Results of a download besides 0 and the negated HTTP status.
constexpr int32_t kSessionFailed = -1;
constexpr int32_t kOpenFailed = -2;
constexpr int32_t kTransferFailed = -3;

// WinInet calls block the caller's window: 20 s for every stage bounds how long a dead
// connection keeps it frozen. (Wine accepts the send and receive ones but ignores them.)
void SetDownloadTimeouts(HINTERNET internet) {
    const DWORD options[] = {
        INTERNET_OPTION_CONNECT_TIMEOUT,      INTERNET_OPTION_SEND_TIMEOUT,
        INTERNET_OPTION_RECEIVE_TIMEOUT,      INTERNET_OPTION_DATA_SEND_TIMEOUT,
        INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_LISTEN_TIMEOUT,
    };
    for (DWORD option : options) {
        DWORD value = kTimeoutMs;
        InternetSetOptionA(internet, option, &value, sizeof value);  // a refusal keeps the default
    }
}

// The status of the answer; 0 when it cannot be read (the download then goes on).
DWORD QueryStatus(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    DWORD index = 0;
    HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                   &index);
    return status;
}

// On a proxy's 407 asks the user for credentials with the system's dialog; true when the
// dialog asks for the request to be sent again (the user entered them). Cancelling keeps 407.
bool RetryProxyAuth(HINTERNET request, DWORD status) {
    if (status != HTTP_STATUS_PROXY_AUTH_REQ) return false;
    void* data = nullptr;
    const DWORD answer = InternetErrorDlg(
        GetDesktopWindow(), request, ERROR_INTERNET_INCORRECT_PASSWORD,
        FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
            FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
        &data);
    return answer == ERROR_INTERNET_FORCE_RETRY;
}

// The size the server announced: only a plain run of digits counts, anything else is unknown.
int32_t AnnouncedSize(HINTERNET request, std::vector<char>& buffer) {
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, buffer.data(), &length, nullptr)) {
        return 0;
    }
    return DigitsToInt(std::string(buffer.data(), length));
}

// A local file that cannot be written completely is removed, so nothing half-written passes
// for a finished download.
int32_t DiscardFile(UniqueFile& file, const std::string& path) {
    file.reset();
    DeleteFileA(path.c_str());
    return kTransferFailed;
}

struct ErrorText {
    int32_t code;
    TDownloadErrorKind kind;
    const char* text;
};

// Only 404 and 500 blame the server; only 407 and 408 are for the user to fix.
constexpr ErrorText kErrorTexts[] = {
    {-1, dekHelpPage, "セッションのオープンに失敗しました。"},
    {-2, dekHelpPage, "ファイルのダウンロードに失敗しました。"},
    {-3, dekHelpPage, "ファイルのダウンロード中にエラーが発生しました。"},
    {-300, dekHelpPage, "MultipleChoices"},
    {-301, dekHelpPage, "Moved Permanently"},
    {-302, dekHelpPage, "Found"},
    {-303, dekHelpPage, "See Other"},
    {-304, dekHelpPage, "Not Modified"},
    {-305, dekHelpPage, "Use Proxy"},
    {-400, dekHelpPage, "Bad Request"},
    {-401, dekHelpPage, "Unauthorized"},
    {-402, dekHelpPage, "Payment Required"},
    {-403, dekHelpPage, "Forbidden"},
    {-404, dekContact, "ファイルが見つかりませんでした。"},
    {-405, dekHelpPage, "Method Not Allowed"},
    {-406, dekHelpPage, "Not Acceptable"},
    {-407, dekNotice,
     "プロキシーサーバの認証時に失敗しました。正しいIDとパスワードを入力してください。"},
    {-408, dekNotice,
     "ネットワーク接続がタイムアウトしました。もう少し時間を置いてから試してみてください。"},
    {-409, dekHelpPage, "Conflict"},
    {-410, dekHelpPage, "Gone"},
    {-411, dekHelpPage, "Length Required"},
    {-412, dekHelpPage, "Precondition Failed"},
    {-413, dekHelpPage, "Request Entity Too Large"},
    {-414, dekHelpPage, "Request-URI Too Long"},
    {-415, dekHelpPage, "Unsupported Media Type"},
    {-416, dekHelpPage, "Requested Range Not Satisfiable"},
    {-417, dekHelpPage, "Expectation Failed"},
    {-500, dekContact, "Internal Server Error"},
    {-501, dekHelpPage, "Not Implemented"},
    {-502, dekHelpPage, "Bad Gateway"},
    {-503, dekHelpPage, "Service Unavailable"},
    {-504, dekHelpPage, "Gateway Timeout"},
    {-505, dekHelpPage, "HTTP Version Not Supported"},
};

}  // namespace

int32_t DownloadToFile(const std::string& local_path, const std::string& url,
                       TDownloadProgressProc progress) {
    // Declared before the request, so the request is closed first.
    UniqueInternet internet(
        InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return kSessionFailed;
    SetDownloadTimeouts(internet.get());

    UniqueInternet request;
    DWORD status = 0;
    for (;;) {
        // Every download bypasses the local cache: a prerequisite may change under its URL.
        request.reset(InternetOpenUrlA(internet.get(), url.c_str(), nullptr, 0,
                                       INTERNET_FLAG_RELOAD, 0));
        if (!request) return kOpenFailed;
        status = QueryStatus(request.get());
        if (!RetryProxyAuth(request.get(), status)) break;
        request.reset();  // the next round opens the URL afresh on the same session
    }
    // A failed answer must not touch a file already at the path.
    if (status >= 300) return static_cast<int32_t>(0u - status);

    std::vector<char> buffer(kBlockSize);
    const int32_t total = AnnouncedSize(request.get(), buffer);

    UniqueFile file(CreateFileA(local_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return kTransferFailed;

    // Unsigned, so a body past 2 GiB wraps like the callback's 32-bit count instead of overflowing.
    uint32_t done = 0;
    bool cancel = false;
    bool read_failed = false;
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request.get(), buffer.data(), kBlockSize, &read)) {
            read_failed = true;  // what arrived stays on disk
            break;
        }
        if (read == 0) break;  // the end of the body
        DWORD written = 0;
        if (!WriteFile(file.get(), buffer.data(), read, &written, nullptr) || written != read) {
            return DiscardFile(file, local_path);
        }
        done += read;
        progress(cancel, static_cast<int32_t>(done), total, 0);
        if (cancel) break;
    }
    if (!file.close()) return DiscardFile(file, local_path);
    return read_failed ? kTransferFailed : 0;
}

TDownloadErrorKind DownloadErrorText(int32_t code, std::string& text) {
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code) {
            text = entry.text;
            return entry.kind;
        }
    }
    text.clear();
    return dekHelpPage;
}
