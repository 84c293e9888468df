// A small HTTP/1.1 server for tests: runs on its own threads inside the test process, listens
// only on 127.0.0.1 at a port the system picks, and answers the paths a test configures.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "utils/unique_any.h"

struct SocketTraits {
    using Type = SOCKET;
    static Type Empty() { return INVALID_SOCKET; }
    static bool Close(Type s) { return ::closesocket(s) == 0; }
};
using UniqueSocket = UniqueAny<SocketTraits>;

// Winsock is usable while an owner lives.
class WinsockSession {
public:
    WinsockSession();
    ~WinsockSession();
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

private:
    bool started_ = false;
};

struct HttpResponse {
    static constexpr size_t npos = static_cast<size_t>(-1);
    int status = 200;
    std::string body;
    bool content_length = true;        // send a Content-Length header
    std::string content_length_text;   // when not empty, sent as the header's text instead
    std::string extra_headers;         // raw "Name: value\r\n" lines (Location, ...)
    size_t hold_after = npos;          // after this many body bytes, wait for Release(path)
                                       // (dropped after 30 s without it)
    size_t break_after = npos;         // after this many body bytes, reset the connection
    size_t close_after = npos;         // after this many body bytes, close it in order
    bool hold_head = false;            // answer nothing until Release(path) (dropped after 30 s)
    DWORD trickle_ms = 0;              // when not 0, send the body one byte at a time, this
                                       // long apart (until the server stops)
    bool chunked = false;              // send the body in chunks (Transfer-Encoding: chunked,
                                       // no Content-Length); cut short by close_after or
                                       // break_after, it stops after the chunks of that many
                                       // bytes, before the last (empty) chunk
};

// Every connection gets one answer and is then closed (a held answer ends when the server is
// destroyed, as if the peer had given up); each is served on its own thread, so a
// held answer does not keep other paths waiting. Unknown paths answer 404. A request in a
// proxy's form ("GET http://host:port/path") counts for its path: the server can be a proxy.
class TestHttpServer {
public:
    TestHttpServer();
    ~TestHttpServer();  // stops listening, drops held answers and waits for every thread
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    bool listening() const { return port_ != 0; }
    std::string Url(const std::string& path) const;  // "http://127.0.0.1:PORT" + path
    void Serve(const std::string& path, const HttpResponse& response);
    void Release(const std::string& path);  // lets a held body go on
    int Requests(const std::string& path) const;  // how many requests arrived for path
    // The request line and headers of every request for path, in order of arrival.
    std::vector<std::string> RequestHeads(const std::string& path) const;
    // Waits until a held answer stands held (hold_head: the request was read; hold_after: the
    // first hold_after bytes were sent; trickle_ms: the head was sent); true when it does.
    bool WaitUntilHeld(const std::string& path, DWORD timeout_ms = 30000);

private:
    struct Route {
        HttpResponse response;
        UniqueHandle held;      // set once the body stands at hold_after
        UniqueHandle released;  // set by Release
    };

    static DWORD WINAPI AcceptThread(void* self);
    static DWORD WINAPI ConnectionThread(void* context);
    void AcceptLoop();
    void StartConnection(UniqueSocket client);
    void Answer(SOCKET client);
    // The route for path, counting the request; a 404 answer when there is none.
    std::shared_ptr<Route> Arrived(const std::string& path, const std::string& head);
    std::shared_ptr<Route> Find(const std::string& path) const;

    WinsockSession winsock_;
    UniqueSocket listener_;
    UniqueHandle accept_event_;
    UniqueHandle stop_;  // manual reset: ends the accept loop and every hold
    unsigned short port_ = 0;
    UniqueHandle accept_thread_;

    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<Route>> routes_;
    std::map<std::string, std::vector<std::string>> requests_;  // the heads, by path
    std::vector<UniqueHandle> connection_threads_;
};
