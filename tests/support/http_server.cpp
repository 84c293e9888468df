// A small HTTP/1.1 server for tests, on 127.0.0.1 only, one thread per connection.
#include "support/http_server.h"

#include <ws2tcpip.h>

#include <algorithm>

namespace {

// Bounds every blocking socket call, so a client that stops talking cannot keep a thread.
constexpr DWORD kSocketTimeoutMs = 30000;
// The longest a held answer waits for Release before dropping the connection.
constexpr DWORD kHoldTimeoutMs = 30000;
constexpr size_t kMaxRequestHead = 64 * 1024;

struct Connection {
    TestHttpServer* server;
    UniqueSocket socket;
};

const char* ReasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 302: return "Found";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 407: return "Proxy Authentication Required";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

// The request line and headers, up to the blank line; empty when the client sent none.
std::string ReadRequestHead(SOCKET client) {
    std::string head;
    char chunk[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxRequestHead) {
        const int n = recv(client, chunk, sizeof chunk, 0);
        if (n <= 0) return {};
        head.append(chunk, n);
    }
    return head.substr(0, head.find("\r\n\r\n"));
}

// The path of "GET /path HTTP/1.1", or of "GET http://host:port/path HTTP/1.1" as a client
// sends it to a proxy.
std::string RequestPath(const std::string& head) {
    const size_t start = head.find(' ');
    if (start == std::string::npos) return {};
    const size_t end = head.find(' ', start + 1);
    if (end == std::string::npos) return {};
    std::string target = head.substr(start + 1, end - start - 1);
    const std::string scheme = "http://";
    if (target.compare(0, scheme.size(), scheme) == 0) {
        const size_t path = target.find('/', scheme.size());
        target = path == std::string::npos ? "/" : target.substr(path);
    }
    return target;
}

bool SendAll(SOCKET client, const char* data, size_t size) {
    while (size > 0) {
        const int n = send(client, data, static_cast<int>(std::min<size_t>(size, 65536)), 0);
        if (n <= 0) return false;
        data += n;
        size -= n;
    }
    return true;
}

std::string ResponseHead(const HttpResponse& response) {
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " +
                       ReasonPhrase(response.status) + "\r\n";
    if (response.chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    } else if (response.content_length) {
        head += "Content-Length: ";
        head += response.content_length_text.empty() ? std::to_string(response.body.size())
                                                     : response.content_length_text;
        head += "\r\n";
    }
    head += "Connection: close\r\n";
    head += response.extra_headers;
    head += "\r\n";
    return head;
}

// The first size bytes of body in chunks of at most kChunkBytes, each "size in hex CR LF data
// CR LF"; with last, the last chunk ("0" CR LF CR LF) after them.
constexpr size_t kChunkBytes = 7000;
std::string Chunks(const std::string& body, size_t size, bool last) {
    char digits[16];
    std::string framed;
    for (size_t at = 0; at < size; at += kChunkBytes) {
        const size_t length = std::min(kChunkBytes, size - at);
        snprintf(digits, sizeof digits, "%zx\r\n", length);
        framed += digits + body.substr(at, length) + "\r\n";
    }
    return last ? framed + "0\r\n\r\n" : framed;
}

}  // namespace

WinsockSession::WinsockSession() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockSession::~WinsockSession() {
    if (started_) WSACleanup();
}

TestHttpServer::TestHttpServer() {
    stop_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    accept_event_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    listener_.reset(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!listener_ || !stop_ || !accept_event_) return;

    // Loopback only, port 0: the system picks a free port and nothing outside can connect.
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_.get(), SOMAXCONN) != 0 ||
        getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        WSAEventSelect(listener_.get(), accept_event_.get(), FD_ACCEPT) != 0) {
        return;
    }
    accept_thread_.reset(CreateThread(nullptr, 0, &TestHttpServer::AcceptThread, this, 0, nullptr));
    if (accept_thread_) port_ = ntohs(address.sin_port);
}

TestHttpServer::~TestHttpServer() {
    if (stop_) SetEvent(stop_.get());
    if (accept_thread_) WaitForSingleObject(accept_thread_.get(), INFINITE);
    // No new connection starts now; each running one ends within the socket time-outs.
    std::vector<UniqueHandle> threads;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        threads.swap(connection_threads_);
    }
    for (UniqueHandle& thread : threads) WaitForSingleObject(thread.get(), INFINITE);
}

std::string TestHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TestHttpServer::Serve(const std::string& path, const HttpResponse& response) {
    auto route = std::make_shared<Route>();
    route->response = response;
    route->held.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    route->released.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[path] = route;
}

void TestHttpServer::Release(const std::string& path) {
    if (auto route = Find(path)) SetEvent(route->released.get());
}

int TestHttpServer::Requests(const std::string& path) const {
    return static_cast<int>(RequestHeads(path).size());
}

std::vector<std::string> TestHttpServer::RequestHeads(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = requests_.find(path);
    return it == requests_.end() ? std::vector<std::string>() : it->second;
}

bool TestHttpServer::WaitUntilHeld(const std::string& path, DWORD timeout_ms) {
    auto route = Find(path);
    return route && WaitForSingleObject(route->held.get(), timeout_ms) == WAIT_OBJECT_0;
}

std::shared_ptr<TestHttpServer::Route> TestHttpServer::Find(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = routes_.find(path);
    return it == routes_.end() ? nullptr : it->second;
}

std::shared_ptr<TestHttpServer::Route> TestHttpServer::Arrived(const std::string& path,
                                                               const std::string& head) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_[path].push_back(head);
    auto it = routes_.find(path);
    if (it != routes_.end()) return it->second;
    auto missing = std::make_shared<Route>();
    missing->response.status = 404;
    missing->response.body = "not found";
    return missing;
}

DWORD WINAPI TestHttpServer::AcceptThread(void* self) {
    static_cast<TestHttpServer*>(self)->AcceptLoop();
    return 0;
}

void TestHttpServer::AcceptLoop() {
    const HANDLE events[] = {stop_.get(), accept_event_.get()};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        WSANETWORKEVENTS happened;
        WSAEnumNetworkEvents(listener_.get(), accept_event_.get(), &happened);  // resets the event
        for (;;) {
            UniqueSocket client(accept(listener_.get(), nullptr, nullptr));
            if (!client) break;  // WSAEWOULDBLOCK: every waiting connection is taken
            StartConnection(std::move(client));
        }
    }
}

void TestHttpServer::StartConnection(UniqueSocket client) {
    // An accepted socket inherits the listener's event selection and non-blocking mode.
    WSAEventSelect(client.get(), nullptr, 0);
    u_long blocking = 0;
    ioctlsocket(client.get(), FIONBIO, &blocking);
    const DWORD timeout = kSocketTimeoutMs;
    setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
    setsockopt(client.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
    const BOOL no_delay = TRUE;  // a held body's first part goes out at once
    setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay),
               sizeof no_delay);

    auto connection = std::make_unique<Connection>(Connection{this, std::move(client)});
    UniqueHandle thread(CreateThread(nullptr, 0, &TestHttpServer::ConnectionThread,
                                     connection.get(), 0, nullptr));
    if (!thread) return;  // the connection closes unanswered
    connection.release();  // the thread owns it now
    std::lock_guard<std::mutex> lock(mutex_);
    connection_threads_.push_back(std::move(thread));
}

DWORD WINAPI TestHttpServer::ConnectionThread(void* context) {
    std::unique_ptr<Connection> connection(static_cast<Connection*>(context));
    connection->server->Answer(connection->socket.get());
    return 0;
}

void TestHttpServer::Answer(SOCKET client) {
    const std::string head = ReadRequestHead(client);
    if (head.empty()) return;
    const std::shared_ptr<Route> route = Arrived(RequestPath(head), head);
    const HttpResponse& response = route->response;
    const HANDLE release_or_stop[] = {route->released.get(), stop_.get()};
    if (response.hold_head) {
        SetEvent(route->held.get());
        if (WaitForMultipleObjects(2, release_or_stop, FALSE, kHoldTimeoutMs) != WAIT_OBJECT_0) {
            return;
        }
    }
    const std::string response_head = ResponseHead(response);
    if (!SendAll(client, response_head.data(), response_head.size())) return;

    // Chunked, the body goes out framed; a cut stays a cut, at the end of the framed part.
    const size_t cut = std::min(response.close_after, response.break_after);
    const bool cut_short = cut != HttpResponse::npos;
    const std::string body =
        response.chunked ? Chunks(response.body, std::min(cut, response.body.size()), !cut_short)
                         : response.body;
    const size_t close_after = response.chunked && response.close_after != HttpResponse::npos
                                   ? body.size()
                                   : response.close_after;
    const size_t break_after = response.chunked && response.break_after != HttpResponse::npos
                                   ? body.size()
                                   : response.break_after;
    size_t sent = 0;
    auto send_until = [&](size_t end) {
        end = std::min(end, body.size());
        if (end <= sent) return true;
        const bool ok = SendAll(client, body.data() + sent, end - sent);
        sent = end;
        return ok;
    };
    if (response.trickle_ms != 0) {
        SetEvent(route->held.get());
        while (sent < body.size()) {
            if (WaitForSingleObject(stop_.get(), response.trickle_ms) != WAIT_TIMEOUT) return;
            if (!send_until(sent + 1)) return;
        }
        return;
    }
    if (response.hold_after != HttpResponse::npos) {
        if (!send_until(response.hold_after)) return;
        SetEvent(route->held.get());
        if (WaitForMultipleObjects(2, release_or_stop, FALSE, kHoldTimeoutMs) != WAIT_OBJECT_0) {
            return;
        }
    }
    if (close_after != HttpResponse::npos) {
        send_until(close_after);
        shutdown(client, SD_SEND);
        return;
    }
    if (break_after != HttpResponse::npos) {
        send_until(break_after);
        // A zero linger time makes the close an abortive one (a reset), not an orderly end.
        const linger abort = {1, 0};
        setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                   sizeof abort);
        return;
    }
    // The request was read whole, so closing the socket ends the stream gracefully.
    send_until(body.size());
}
