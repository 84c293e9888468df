// HTTP download of one file into a local file through WinInet, and the texts for its results.
#include "downloader/net/http_download.h"

#include <wininet.h>

#include <vector>

#include "downloader/net/transfer_worker.h"
#include "utils/text.h"
#include "utils/unique_any.h"

namespace {

constexpr char kUserAgent[] = "Ombrevine_CharacterInstaller/1.00";
// WinInet's own bounds; where Wine honours them they also end a worker that was given up on.
constexpr DWORD kTimeoutMs = 20000;
// Redirects are followed here, so that they can be counted. Every download bypasses the cache,
// since a prerequisite may change under its URL: it is neither read from the cache nor written
// to it (a program fetched for this run has no business in the user's INetCache, complete or not).
constexpr DWORD kOpenFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
// Asked for as it is: a body is saved as it comes.
constexpr char kRequestHeaders[] = "Accept-Encoding: identity\r\n";

// Results of a download besides 0 and the negated HTTP status.
constexpr int32_t kSessionFailed = -1;
constexpr int32_t kOpenFailed = -2;
constexpr int32_t kTransferFailed = -3;

using Failure = TDownloadFailure;

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

// A header's text; false when the answer has none.
bool QueryHeader(HINTERNET request, DWORD header, std::string& text) {
    std::vector<char> buffer(256);
    for (;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (HttpQueryInfoA(request, header, buffer.data(), &length, nullptr)) {
            text.assign(buffer.data(), length);
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length <= buffer.size()) return false;
        buffer.resize(length + 1);
    }
}

// True when the session goes through a proxy: only then can a 407 come from one, and only then
// does the system's credentials dialog have a proxy to ask for (Wine's faults without one).
bool UsesProxy(HINTERNET session) {
    DWORD size = 0;
    InternetQueryOptionA(session, INTERNET_OPTION_PROXY, nullptr, &size);
    if (size < sizeof(INTERNET_PROXY_INFO)) return false;
    std::vector<char> buffer(size);
    if (!InternetQueryOptionA(session, INTERNET_OPTION_PROXY, buffer.data(), &size)) return false;
    INTERNET_PROXY_INFO info;
    CopyMemory(&info, buffer.data(), sizeof info);
    return info.dwAccessType == INTERNET_OPEN_TYPE_PROXY;
}

// On a proxy's 407 asks the user for credentials with the system's dialog; true when the
// dialog asks for the request to be sent again (the user entered them). Cancelling keeps 407.
bool RetryProxyAuth(HINTERNET session, HINTERNET request, DWORD status) {
    if (status != HTTP_STATUS_PROXY_AUTH_REQ || !UsesProxy(session)) return false;
    void* data = nullptr;
    const DWORD answer = InternetErrorDlg(
        GetDesktopWindow(), request, ERROR_INTERNET_INCORRECT_PASSWORD,
        FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
            FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
        &data);
    return answer == ERROR_INTERNET_FORCE_RETRY;
}

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The address a redirect's Location names, taken relative to the address that answered.
bool RedirectTarget(HINTERNET request, const std::string& from, std::string& target) {
    std::string location;
    if (!QueryHeader(request, HTTP_QUERY_LOCATION, location) || location.empty()) return false;
    std::vector<char> buffer(from.size() + location.size() + 64);
    for (;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (InternetCombineUrlA(from.c_str(), location.c_str(), buffer.data(), &length, 0)) {
            target.assign(buffer.data(), length);
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length < buffer.size()) return false;
        buffer.resize(length + 1);
    }
}

// A coding other than identity in the header (Content-Encoding, Transfer-Encoding).
bool IsCoded(HINTERNET request, DWORD header) {
    std::string encoding;
    if (!QueryHeader(request, header, encoding)) return false;
    encoding = LowerCaseText(TrimText(encoding));
    return !encoding.empty() && encoding != "identity";
}

TDownloadResult Failed(int32_t code, Failure failure) {
    return {code, failure};
}

// A read that ended in WinInet's own time-out is a stall; any other, a connection cut short.
Failure BodyFailureOf(DWORD error) {
    return error == ERROR_INTERNET_TIMEOUT || error == WSAETIMEDOUT ? Failure::kStalled
                                                                    : Failure::kCutShort;
}

// Opens the URL, following redirects and asking for proxy credentials; on success the transfer
// holds the request of the final answer and status its status.
TDownloadResult OpenAnswer(Transfer& transfer, WaitReport& report, const TDownloadOptions& options,
                           DWORD& status) {
    int redirects = 0;
    for (;;) {
        switch (RunJob(transfer, &OpenJob, report, options.stall_ms)) {
            case WaitEnd::kDone: break;
            case WaitEnd::kCancelled: return {};
            case WaitEnd::kStalled: return Failed(kOpenFailed, Failure::kNoAnswer);
            case WaitEnd::kNoThread: return Failed(kSessionFailed, Failure::kOther);
        }
        if (!transfer.request) return Failed(kOpenFailed, OpenFailureOf(transfer.open_error));
        status = QueryStatus(transfer.request.get());
        if (RetryProxyAuth(transfer.session.get(), transfer.request.get(), status)) continue;
        std::string target;
        if (!IsRedirect(status) || !RedirectTarget(transfer.request.get(), transfer.url, target)) {
            return {};
        }
        if (++redirects > kMaxRedirects) {
            return Failed(static_cast<int32_t>(0u - status), Failure::kTooManyRedirects);
        }
        transfer.url = target;
    }
}

// Reads the body into the local file; the file is gone again unless the body came whole.
TDownloadResult ReceiveBody(Transfer& transfer, WaitReport& report, const std::string& local_path,
                            const TDownloadOptions& options, uint64_t announced) {
    UniqueFile file(CreateFileA(local_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Failed(kTransferFailed, Failure::kLocalFile);
    transfer.SetFile(std::move(file));

    const WaitEnd end = RunJob(transfer, &BodyJob, report, options.stall_ms);
    if (end != WaitEnd::kDone) {
        transfer.Abandon(local_path);
        if (end == WaitEnd::kCancelled) return {};
        return Failed(kTransferFailed, end == WaitEnd::kStalled ? Failure::kStalled : Failure::kOther);
    }
    const uint64_t received = transfer.Received();
    if (received != report.reported) {
        report.reported = received;
        report.progress(report.cancel, received, report.total, 0);
    }
    Failure failure = Failure::kNone;
    if (transfer.body_end == Transfer::BodyEnd::kReadFailed) {
        failure = BodyFailureOf(transfer.body_error);
    } else if (transfer.body_end != Transfer::BodyEnd::kEnd) {
        failure = Failure::kLocalFile;
    } else if (received < announced) {
        // WinInet reads a connection that ends early as the end of the body. Without a length
        // the end of the connection is the end of the body: the download list's size is only
        // an author's figure.
        failure = Failure::kCutShort;
    } else if (!transfer.CloseFile()) {
        failure = Failure::kLocalFile;
    }
    if (failure == Failure::kNone) return {};
    transfer.Abandon(local_path);
    DeleteFileA(local_path.c_str());  // a file whose close failed is closed now
    return Failed(kTransferFailed, failure);
}

TDownloadResult Download(Transfer& transfer, const std::string& local_path, const std::string& url,
                         TDownloadProgressProc progress, const TDownloadOptions& options) {
    transfer.session.reset(
        InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!transfer.session) return Failed(kSessionFailed, Failure::kOther);
    SetDownloadTimeouts(transfer.session.get());
    transfer.url = url;
    transfer.headers = kRequestHeaders;
    transfer.open_flags = kOpenFlags;

    WaitReport report;
    report.progress = progress;
    DWORD status = 0;
    const TDownloadResult opened = OpenAnswer(transfer, report, options, status);
    if (opened.code != 0 || report.cancel) return opened;
    // A failed answer must not touch a file already at the path.
    if (status >= 300) return Failed(static_cast<int32_t>(0u - status), Failure::kOther);
    // The body is saved as it comes: only the identity encoding can be run afterwards.
    if (IsCoded(transfer.request.get(), HTTP_QUERY_CONTENT_ENCODING)) {
        return Failed(kTransferFailed, Failure::kEncoding);
    }
    // A body sent in chunks is complete only with its last chunk, and WinInet takes the chunks
    // apart without telling whether that came: Wine's reads a body cut before it, by a close or
    // a reset, exactly as a whole one. Only a digest can tell.
    if (!options.digest_checked && IsCoded(transfer.request.get(), HTTP_QUERY_TRANSFER_ENCODING)) {
        return Failed(kTransferFailed, Failure::kUnconfirmedEnd);
    }

    std::string length;
    const uint64_t announced =
        QueryHeader(transfer.request.get(), HTTP_QUERY_CONTENT_LENGTH, length) ? DigitsToSize(length)
                                                                               : 0;
    report.total = announced != 0 ? announced : options.expected_size;
    return ReceiveBody(transfer, report, local_path, options, announced);
}

// Packed small: the table is in every package.
struct ErrorText {
    int16_t code;
    uint8_t kind;  // a TDownloadErrorKind
    const char* text;
};

// Only 404 and 500 blame the server; only 407 and 408 are for the user to fix. The other
// statuses say what the server answered in words of this program, with the number.
constexpr ErrorText kErrorTexts[] = {
    {-1, dekHelpPage, "セッションのオープンに失敗しました。"},
    {-2, dekHelpPage, "ファイルのダウンロードに失敗しました。"},
    {-3, dekHelpPage, "ファイルのダウンロード中にエラーが発生しました。"},
    {-300, dekHelpPage, "サーバが複数の候補を返しました(300)。"},
    {-301, dekHelpPage, "ファイルは別の場所へ移されました(301)。"},
    {-302, dekHelpPage, "ファイルは一時的に別の場所にあります(302)。"},
    {-303, dekHelpPage, "サーバが別の場所を示しました(303)。"},
    {-304, dekHelpPage, "サーバがファイルを送りませんでした(304)。"},
    {-305, dekHelpPage, "プロキシーサーバを経由するよう求められました(305)。"},
    {-400, dekHelpPage, "サーバが要求を受け付けませんでした(400)。"},
    {-401, dekHelpPage, "サーバが認証を求めました(401)。"},
    {-402, dekHelpPage, "サーバが支払いを求めました(402)。"},
    {-403, dekHelpPage, "サーバがアクセスを拒否しました(403)。"},
    {-404, dekContact, "ファイルが見つかりませんでした。"},
    {-405, dekHelpPage, "サーバがこの要求の方法を受け付けませんでした(405)。"},
    {-406, dekHelpPage, "サーバが受け付けられる形式で送れませんでした(406)。"},
    {-407, dekNotice,
     "プロキシーサーバの認証時に失敗しました。正しいIDとパスワードを入力してください。"},
    {-408, dekNotice,
     "ネットワーク接続がタイムアウトしました。もう少し時間を置いてから試してみてください。"},
    {-409, dekHelpPage, "サーバの状態と要求が食い違いました(409)。"},
    {-410, dekHelpPage, "ファイルはサーバから削除されました(410)。"},
    {-411, dekHelpPage, "サーバが長さの指定を求めました(411)。"},
    {-412, dekHelpPage, "サーバが要求の前提を満たしませんでした(412)。"},
    {-413, dekHelpPage, "サーバが要求を大きすぎるとして断りました(413)。"},
    {-414, dekHelpPage, "サーバがアドレスを長すぎるとして断りました(414)。"},
    {-415, dekHelpPage, "サーバが要求の形式を受け付けませんでした(415)。"},
    {-416, dekHelpPage, "サーバが求められた範囲を送れませんでした(416)。"},
    {-417, dekHelpPage, "サーバが要求の期待に応えられませんでした(417)。"},
    {-500, dekContact, "サーバの内部でエラーが発生しました(500)。"},
    {-501, dekHelpPage, "サーバがこの要求に対応していません(501)。"},
    {-502, dekHelpPage, "中継するサーバが不正な応答を受け取りました(502)。"},
    {-503, dekHelpPage, "サーバが一時的に利用できません(503)。"},
    {-504, dekHelpPage, "中継するサーバが時間内に応答を受け取れませんでした(504)。"},
    {-505, dekHelpPage, "サーバがこのHTTPの版に対応していません(505)。"},
};

constexpr char kOtherStatus[] = "サーバがエラーを返しました(";
constexpr char kOtherStatusEnd[] = ")。";

struct FailureText {
    Failure failure;
    const char* text;
};

constexpr FailureText kFailureTexts[] = {
    {Failure::kHostNotFound, "サーバが見つかりませんでした。アドレスとインターネットへの接続を確かめてください。"},
    {Failure::kConnectFailed, "サーバに接続できませんでした(接続が拒否されたか、時間内に応答がありませんでした)。"},
    {Failure::kCertificate, "サーバの証明書を確認できなかったため、接続を中止しました。"},
    {Failure::kNoAnswer, "サーバから応答がありませんでした。"},
    {Failure::kStalled, "サーバからのデータが途絶えたため、ダウンロードを中止しました。"},
    {Failure::kTooManyRedirects, "サーバの転送先の指示が多すぎるため、ダウンロードを中止しました。"},
    {Failure::kCutShort, "ダウンロードが途中で途切れました。ファイルは不完全です。"},
    {Failure::kUnconfirmedEnd, "サーバが分割形式で送ってきたため、ファイルが最後まで届いたか確かめられませんでした。"},
    {Failure::kEncoding, "サーバが圧縮した形式で送ってきたため、ファイルを受け取れませんでした。"},
    {Failure::kLocalFile, "ダウンロードしたファイルを保存できませんでした。"},
};

struct OpenError {
    DWORD error;
    Failure failure;
};

constexpr OpenError kOpenErrors[] = {
    {ERROR_INTERNET_NAME_NOT_RESOLVED, Failure::kHostNotFound},
    {ERROR_INTERNET_CANNOT_CONNECT, Failure::kConnectFailed},
    {ERROR_INTERNET_TIMEOUT, Failure::kConnectFailed},
    {ERROR_INTERNET_CONNECTION_ABORTED, Failure::kNoAnswer},
    {ERROR_INTERNET_CONNECTION_RESET, Failure::kNoAnswer},
    {ERROR_HTTP_INVALID_SERVER_RESPONSE, Failure::kNoAnswer},
    {ERROR_INTERNET_INVALID_CA, Failure::kCertificate},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID, Failure::kCertificate},
    {ERROR_INTERNET_SEC_CERT_DATE_INVALID, Failure::kCertificate},
    {ERROR_INTERNET_SEC_CERT_ERRORS, Failure::kCertificate},
    {ERROR_INTERNET_SEC_CERT_NO_REV, Failure::kCertificate},
    {ERROR_INTERNET_SEC_CERT_REV_FAILED, Failure::kCertificate},
    {ERROR_INTERNET_SEC_CERT_REVOKED, Failure::kCertificate},
    {ERROR_INTERNET_SEC_INVALID_CERT, Failure::kCertificate},
    {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, Failure::kCertificate},
    {ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED, Failure::kCertificate},
};

}  // namespace

TDownloadResult DownloadToFile(const std::string& local_path, const std::string& url,
                               TDownloadProgressProc progress, const TDownloadOptions& options) {
    Transfer* transfer = Transfer::Create();
    if (transfer == nullptr) return Failed(kSessionFailed, Failure::kOther);
    const TDownloadResult result = Download(*transfer, local_path, url, progress, options);
    ReleaseAside(transfer);  // a worker still blocked keeps its own reference
    return result;
}

TDownloadErrorKind DownloadErrorText(int32_t code, std::string& text) {
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code) {
            text = entry.text;
            return static_cast<TDownloadErrorKind>(entry.kind);
        }
    }
    text = code <= -300 && code >= -599 ? kOtherStatus + IntToText(-code) + kOtherStatusEnd : "";
    return dekHelpPage;
}

std::string DownloadFailureText(const TDownloadResult& result) {
    for (const FailureText& entry : kFailureTexts) {
        if (entry.failure == result.failure) return entry.text;
    }
    std::string text;
    DownloadErrorText(result.code, text);
    return text;
}

TDownloadFailure OpenFailureOf(DWORD error) {
    for (const OpenError& entry : kOpenErrors) {
        if (entry.error == error) return entry.failure;
    }
    return Failure::kOther;
}
