#include "tests/support/loopback_server.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Either a whole in-memory file or a file on disk read per request.
struct LoopbackServer::Body {
    std::shared_ptr<const std::string> memory;
    std::wstring diskPath;
    uint64_t size = 0;

    // Bytes [offset, offset + length) of the body; false when the disk file cannot be read.
    bool read(uint64_t offset, uint64_t length, std::string& out) const {
        if (memory) {
            out.assign(*memory, static_cast<size_t>(offset), static_cast<size_t>(length));
            return true;
        }
        HANDLE h = CreateFileW(diskPath.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        out.assign(static_cast<size_t>(length), '\0');
        DWORD got = 0;
        bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
                  (length == 0 ||
                   (ReadFile(h, out.data(), static_cast<DWORD>(length), &got, nullptr) && got == length));
        CloseHandle(h);
        return ok;
    }
};

namespace {

struct WinsockInit {
    WinsockInit() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 416:
            return "Range Not Satisfiable";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trim(const std::string& text) {
    size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    size_t b = text.find_last_not_of(" \t");
    return text.substr(a, b - a + 1);
}

// Parses "bytes=a-b" / "bytes=a-" against a body size. False when the header is not a single range
// we understand (the whole body is then sent, as servers do for unknown range forms).
bool parseRange(const std::string& value, uint64_t size, uint64_t& first, uint64_t& last,
                bool& unsatisfiable) {
    unsatisfiable = false;
    if (value.compare(0, 6, "bytes=") != 0) return false;
    std::string rangeText = value.substr(6);
    size_t dash = rangeText.find('-');
    if (dash == std::string::npos || dash == 0 || rangeText.find(',') != std::string::npos) return false;
    first = strtoull(rangeText.substr(0, dash).c_str(), nullptr, 10);
    std::string tail = rangeText.substr(dash + 1);
    last = tail.empty() ? (size ? size - 1 : 0) : strtoull(tail.c_str(), nullptr, 10);
    if (first >= size) {
        unsatisfiable = true;
        return true;
    }
    if (last >= size) last = size - 1;
    return last >= first;
}

}  // namespace

LoopbackServer::LoopbackServer() {
    static WinsockInit winsock;
    start();
}

LoopbackServer::~LoopbackServer() {
    stop();
}

bool LoopbackServer::start(uint16_t port) {
    if (running()) return true;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, SOMAXCONN) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(s);
        return false;
    }
    port_ = ntohs(address.sin_port);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
    }
    listener_ = s;
    acceptThread_ = std::thread(&LoopbackServer::acceptLoop, this, s);
    return true;
}

void LoopbackServer::stop() {
    if (!running()) return;
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
        // Shutting down (not closing) wakes the threads blocked in recv; each closes its own socket.
        for (auto& [serial, client] : clients_)
            shutdown(client, SD_BOTH);
    }
    stopSignal_.notify_all();
    if (acceptThread_.joinable()) acceptThread_.join();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        threads.swap(clientThreads_);
    }
    for (std::thread& t : threads)
        t.join();
}

std::wstring LoopbackServer::url(const std::wstring& basePath) const {
    return L"http://127.0.0.1:" + std::to_wstring(port_) + basePath;
}

void LoopbackServer::addFile(const std::string& path, std::string bytes) {
    auto shared = std::make_shared<const std::string>(std::move(bytes));
    std::lock_guard<std::mutex> lock(mutex_);
    files_[path] = std::move(shared);
}

void LoopbackServer::removeFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.erase(path);
}

void LoopbackServer::serveFolder(const std::string& urlPrefix, const std::wstring& folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    folders_.emplace_back(urlPrefix, folder);
}

void LoopbackServer::setFault(const std::string& path, const LoopbackFault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[path] = fault;
}

void LoopbackServer::clearFault(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.erase(path);
}

void LoopbackServer::clearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

std::vector<LoopbackRequest> LoopbackServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<LoopbackRequest> LoopbackServer::requestsFor(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<LoopbackRequest> out;
    for (const LoopbackRequest& r : requests_)
        if (r.path == path) out.push_back(r);
    return out;
}

void LoopbackServer::clearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

bool LoopbackServer::takeFault(const std::string& path, LoopbackFault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = faults_.find(path);
    if (it == faults_.end()) return false;
    fault = it->second;
    if (it->second.times > 0 && --it->second.times == 0) faults_.erase(it);
    return true;
}

std::shared_ptr<LoopbackServer::Body> LoopbackServer::findBody(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto body = std::make_shared<Body>();
    auto it = files_.find(path);
    if (it != files_.end()) {
        body->memory = it->second;
        body->size = it->second->size();
        return body;
    }
    for (const auto& [prefix, folder] : folders_) {
        if (path.compare(0, prefix.size(), prefix) != 0) continue;
        std::string rest = path.substr(prefix.size());
        if (rest.empty() || rest.find("..") != std::string::npos) continue;
        std::wstring file = folder;
        file += L'\\';
        for (char c : rest)
            file += (c == '/') ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        body->diskPath = file;
        body->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return body;
    }
    return nullptr;
}

bool LoopbackServer::sendAll(SOCKET client, const char* data, size_t length) {
    // The socket is non-blocking: a client may stop reading without closing (WinHTTP under Wine
    // keeps the connection of a response it abandoned, such as a whole file sent for a range
    // request), and such a send must not hold a connection thread, and with it stop(), for ever.
    while (length > 0) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return false;
        }
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(client, &writable);
        timeval wait = {0, 50000};
        int ready = select(0, nullptr, &writable, nullptr, &wait);
        if (ready < 0) return false;
        if (ready == 0) continue;
        int chunk = static_cast<int>(std::min<size_t>(length, 1 << 20));
        int n = send(client, data, chunk, 0);
        if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool LoopbackServer::waitReadable(SOCKET client) {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return false;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        timeval wait = {0, 50000};
        int n = select(0, &readable, nullptr, nullptr, &wait);
        if (n != 0) return n > 0;
    }
}

bool LoopbackServer::waitStopping(uint32_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return stopSignal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void LoopbackServer::acceptLoop(SOCKET listener) {
    for (;;) {
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;  // the listener was closed by stop()
        int one = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
        u_long nonBlocking = 1;
        ioctlsocket(client, FIONBIO, &nonBlocking);
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            closesocket(client);
            return;
        }
        int serial = ++connectionSerial_;
        clients_[serial] = client;
        clientThreads_.emplace_back(&LoopbackServer::serveConnection, this, client, serial);
    }
}

void LoopbackServer::serveConnection(SOCKET client, int serial) {
    std::string pending;
    char buffer[8192];
    bool keepAlive = true;
    while (keepAlive) {
        size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
            // Poll, so that stop() never depends on a blocked recv being woken by another thread
            // (Wine does not wake it on shutdown()).
            if (!waitReadable(client)) {
                keepAlive = false;
                break;
            }
            int n = recv(client, buffer, sizeof buffer, 0);
            if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) continue;
            if (n <= 0) {
                keepAlive = false;
                break;
            }
            pending.append(buffer, static_cast<size_t>(n));
        }
        if (!keepAlive) break;
        std::string head = pending.substr(0, end);
        pending.erase(0, end + 4);  // GET requests carry no body

        LoopbackRequest request;
        request.connection = serial;
        size_t lineEnd = head.find("\r\n");
        std::string requestLine = head.substr(0, lineEnd);
        size_t sp1 = requestLine.find(' '), sp2 = requestLine.rfind(' ');
        request.method = requestLine.substr(0, sp1);
        std::string target = sp1 < sp2 ? requestLine.substr(sp1 + 1, sp2 - sp1 - 1) : std::string();
        size_t q = target.find('?');
        request.path = target.substr(0, q);
        if (q != std::string::npos) request.query = target.substr(q + 1);
        bool closeRequested = false;
        for (size_t at = lineEnd; at != std::string::npos && at < head.size();) {
            size_t next = head.find("\r\n", at + 2);
            std::string line =
                head.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2);
            at = next;
            size_t colon = line.find(':');
            if (colon == std::string::npos) continue;
            std::string name = lower(trim(line.substr(0, colon)));
            std::string value = trim(line.substr(colon + 1));
            if (name == "range") request.range = value;
            if (name == "user-agent") request.userAgent = value;
            if (name == "connection" && lower(value) == "close") closeRequested = true;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        if (!answer(client, request, keepAlive)) break;
        if (closeRequested) break;
    }
    closesocket(client);
    std::lock_guard<std::mutex> lock(mutex_);
    clients_.erase(serial);
}

bool LoopbackServer::answer(SOCKET client, const LoopbackRequest& request, bool& keepAlive) {
    LoopbackFault fault;
    bool faulty = takeFault(request.path, fault);
    if (faulty && fault.fromRangeStart > 0) {
        size_t equals = request.range.find('=');
        uint64_t start = equals == std::string::npos ? 0 : std::strtoull(request.range.c_str() + equals + 1, nullptr, 10);
        faulty = start >= fault.fromRangeStart;
    }
    if (faulty && fault.stallAfterBytes < 0 && fault.stallMs > 0 && waitStopping(fault.stallMs)) return false;

    int status = 200;
    std::string body;
    std::string extraHeaders;
    std::shared_ptr<Body> source = findBody(request.path);
    if (faulty && fault.status != 0) {
        status = fault.status;
        body = "loopback fault\n";
    } else if (!source || request.method != "GET") {
        status = source ? 405 : 404;
        body = "not here\n";
    } else {
        uint64_t first = 0, last = source->size ? source->size - 1 : 0, length = source->size;
        bool unsatisfiable = false;
        bool ranged = !request.range.empty() && !(faulty && fault.ignoreRange) &&
                      parseRange(request.range, source->size, first, last, unsatisfiable);
        if (ranged && unsatisfiable) {
            status = 416;
            extraHeaders = "Content-Range: bytes */" + std::to_string(source->size) + "\r\n";
            length = 0;
        } else if (ranged) {
            status = 206;
            length = last - first + 1;
            extraHeaders = "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) +
                           "/" + std::to_string(source->size) + "\r\n";
        }
        if (length > 0 && !source->read(first, length, body)) {
            status = 500;
            body = "read failed\n";
            extraHeaders.clear();
        }
    }
    uint64_t surplus = 0;
    if (faulty && (status == 200 || status == 206)) {
        if (fault.shortenBy > 0) body.resize(body.size() - std::min<size_t>(body.size(), fault.shortenBy));
        surplus = fault.extendBy;
    }
    uint64_t declared = body.size() + surplus;
    bool closeAfter = faulty && (fault.noContentLength || fault.dropAfterBytes >= 0);

    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
    head += "Content-Type: application/octet-stream\r\nAccept-Ranges: bytes\r\n" + extraHeaders;
    if (!(faulty && fault.noContentLength)) head += "Content-Length: " + std::to_string(declared) + "\r\n";
    if (closeAfter) head += "Connection: close\r\n";
    head += "\r\n";
    if (!sendAll(client, head.data(), head.size())) return false;

    // The body goes out in pieces so that a stall or a drop can happen at an exact byte count.
    size_t sent = 0;
    auto sendUpTo = [&](size_t until) {
        until = std::min(until, body.size());
        if (until <= sent) return true;
        bool ok = sendAll(client, body.data() + sent, until - sent);
        sent = until;
        return ok;
    };
    if (faulty && fault.stallAfterBytes >= 0 && fault.stallMs > 0) {
        if (!sendUpTo(static_cast<size_t>(fault.stallAfterBytes))) return false;
        if (waitStopping(fault.stallMs)) return false;
    }
    if (faulty && fault.dripMs > 0) {
        while (sent < body.size()) {
            if (!sendUpTo(sent + std::max<size_t>(1, fault.dripBytes))) return false;
            if (waitStopping(fault.dripMs)) return false;
        }
    }
    if (faulty && fault.dropAfterBytes >= 0) {
        sendUpTo(static_cast<size_t>(fault.dropAfterBytes));
        shutdown(client, SD_SEND);
        return false;
    }
    if (surplus > 0 && fault.extendDelayMs == 0) {
        // One send() with the body's end, so that the client reads both in one block.
        std::string tail = body.substr(sent) + std::string(static_cast<size_t>(surplus), 'Z');
        sent = body.size();
        surplus = 0;
        if (!sendAll(client, tail.data(), tail.size())) return false;
    }
    if (!sendUpTo(body.size())) return false;
    if (surplus > 0) {
        if (fault.extendDelayMs > 0 && waitStopping(fault.extendDelayMs)) return false;
        std::string filler(static_cast<size_t>(surplus), 'Z');
        if (!sendAll(client, filler.data(), filler.size())) return false;
    }
    if (closeAfter) {
        shutdown(client, SD_SEND);
        keepAlive = false;
    }
    return true;
}
