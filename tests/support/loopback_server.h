// A real HTTP/1.1 server on 127.0.0.1 inside the test process (Winsock, one thread per connection):
// serves in-memory files and folders with byte ranges and keep-alive, injects faults per path, and
// records every request. WinHTTP in the same process talks to it like to any server.
//
// Usage:
//     LoopbackServer server;                       // listening on an ephemeral port at once
//     server.addFile("/qorvane/pc/manifest.txt", bytes);
//     server.serveFolder("/qorvane/pc/obj/", L"C:\\...\\objects");   // files looked up on each request
//     LoopbackFault f; f.status = 503; f.times = 1;
//     server.setFault("/qorvane/pc/manifest.txt", f);               // by path, query ignored
//     ... run the client against http://127.0.0.1:<server.port()>/qorvane/pc/ ...
//     server.requests();                           // what arrived, in arrival order
//
// Answers: GET of a known path gives 200 with Content-Length; "Range: bytes=a-b" or "bytes=a-" gives
// 206 with Content-Range (416 when the range starts past the end); an unknown path gives 404. The
// connection is kept open until the client closes it or sends "Connection: close".
#pragma once

#include <winsock2.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct LoopbackFault {
    // Non-zero: answer with this status and a short text body instead of the file.
    int status = 0;
    // Answer a range request with 200 and the whole body, as servers without range support do.
    bool ignoreRange = false;
    // The body (and its Content-Length) is this many bytes shorter than the file or range: a
    // complete, well-formed response with the wrong length.
    uint64_t shortenBy = 0;
    // The body (and its Content-Length) carries this many surplus bytes ('Z') after the real ones.
    uint64_t extendBy = 0;
    // With extendBy: send the surplus in its own send() after this many milliseconds, so that it
    // reaches the client as a separate block; 0 sends it in one send() with the body's last bytes.
    uint32_t extendDelayMs = 0;
    // Pause this long (interrupted only by stop()) ...
    uint32_t stallMs = 0;
    // ... after this many body bytes were sent; -1 pauses before the status line.
    int64_t stallAfterBytes = -1;
    // Close the connection after this many body bytes although Content-Length promised more.
    int64_t dropAfterBytes = -1;
    // Send no Content-Length and end the body by closing the connection.
    bool noContentLength = false;
    // Send the body dripBytes at a time with this pause after each piece: a server that trickles.
    uint32_t dripMs = 0;
    size_t dripBytes = 1;
    // Non-zero: only requests whose Range starts at or past this byte are faulty (they still count
    // in times, as every request to the path does).
    uint64_t fromRangeStart = 0;
    // How many requests the fault applies to; -1: every request until cleared.
    int times = -1;
};

struct LoopbackRequest {
    std::string method;
    std::string path;       // without the query
    std::string query;      // after "?", without it; empty when none
    std::string range;      // the Range header's value; empty when none
    std::string userAgent;  // the User-Agent header's value
    int connection = 0;     // serial number of the TCP connection that carried it (1, 2, ...)
};

class LoopbackServer {
   public:
    // Starts listening at once on an ephemeral port.
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Listens again; port 0 picks a new ephemeral port, otherwise the given one (e.g. the old port()
    // after a stop, to bring a server "back"). False when the port cannot be bound.
    bool start(uint16_t port = 0);
    // Closes the listening socket and every open connection, wakes stalled answers, joins all threads.
    // Afterwards connections to port() are refused.
    void stop();
    bool running() const { return listener_ != INVALID_SOCKET; }
    uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>" + basePath
    std::wstring url(const std::wstring& basePath = L"/qorvane/pc/") const;

    // Content is shared with the connection threads; replacing a file while it is served is safe.
    void addFile(const std::string& path, std::string bytes);
    void removeFile(const std::string& path);
    // Requests whose path starts with urlPrefix ("/x/obj/") are answered from folder + the rest of the
    // path ('/' becomes '\'), read from disk at request time (only the requested range is read).
    void serveFolder(const std::string& urlPrefix, const std::wstring& folder);

    void setFault(const std::string& path, const LoopbackFault& fault);
    void clearFault(const std::string& path);
    void clearFaults();

    std::vector<LoopbackRequest> requests() const;
    std::vector<LoopbackRequest> requestsFor(const std::string& path) const;
    void clearRequests();
    int connectionsAccepted() const { return connectionSerial_.load(); }

   private:
    struct Body;
    void acceptLoop(SOCKET listener);
    void serveConnection(SOCKET client, int serial);
    bool answer(SOCKET client, const LoopbackRequest& request, bool& keepAlive);
    bool takeFault(const std::string& path, LoopbackFault& fault);
    std::shared_ptr<Body> findBody(const std::string& path) const;
    // True when the server began stopping within ms milliseconds.
    bool waitStopping(uint32_t ms);
    // False when the server is stopping or the socket failed.
    bool waitReadable(SOCKET client);
    bool sendAll(SOCKET client, const char* data, size_t length);

    SOCKET listener_ = INVALID_SOCKET;
    uint16_t port_ = 0;
    std::thread acceptThread_;

    mutable std::mutex mutex_;  // files, folders, faults, requests, clients
    std::condition_variable stopSignal_;
    bool stopping_ = false;
    std::map<std::string, std::shared_ptr<const std::string>> files_;
    std::vector<std::pair<std::string, std::wstring>> folders_;
    std::map<std::string, LoopbackFault> faults_;
    std::vector<LoopbackRequest> requests_;
    std::map<int, SOCKET> clients_;
    std::vector<std::thread> clientThreads_;
    std::atomic<int> connectionSerial_{0};
};
