#include "platform/Net.h"

#include <curl/curl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(int timeoutMs)
{
    return Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
}

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for the events until the deadline; 1 ready, 0 timed out, -1 failed.
int WaitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p { fd, events, 0 };
        int r = poll(&p, 1, RemainingMs(deadline));
        if (r > 0)
            return 1;
        if (r == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

// After a call that would block: Ok once the socket is ready to try again, else why not.
NetStatus AwaitRetry(int fd, short events, Clock::time_point deadline)
{
    if (errno != EAGAIN && errno != EWOULDBLOCK)
        return NetStatus::Failed;
    int w = WaitFor(fd, events, deadline);
    return w > 0 ? NetStatus::Ok : w == 0 ? NetStatus::TimedOut : NetStatus::Failed;
}

int OpenSocket(int family) { return socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0); }

} // namespace

TcpConnection::~TcpConnection() { Close(); }

TcpConnection::TcpConnection(TcpConnection&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void TcpConnection::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

NetStatus TcpConnection::Connect(const std::string& host, uint16_t port, int timeoutMs)
{
    Close();
    const Clock::time_point deadline = DeadlineAfter(timeoutMs);
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    if (host.empty() || getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || !list)
        return NetStatus::Failed;
    NetStatus result = NetStatus::Failed;
    for (addrinfo* a = list; a; a = a->ai_next) {
        if (RemainingMs(deadline) <= 0) {
            result = NetStatus::TimedOut;
            break;
        }
        int fd = OpenSocket(a->ai_family);
        if (fd < 0)
            continue;
        int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (r != 0 && errno == EINPROGRESS) {
            int w = WaitFor(fd, POLLOUT, deadline);
            if (w == 1) {
                int error = 0;
                socklen_t len = sizeof(error);
                r = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0 ? 0 : -1;
            } else {
                r = -1;
                if (w == 0)
                    result = NetStatus::TimedOut;
            }
        }
        if (r == 0) {
            m_fd = fd;
            result = NetStatus::Ok;
            break;
        }
        ::close(fd);
    }
    freeaddrinfo(list);
    return result;
}

NetStatus TcpConnection::SendAll(const void* data, size_t size, int timeoutMs)
{
    if (m_fd < 0)
        return NetStatus::Closed;
    const Clock::time_point deadline = DeadlineAfter(timeoutMs);
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(m_fd, p, size, MSG_NOSIGNAL);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            return NetStatus::Failed;
        if (NetStatus s = AwaitRetry(m_fd, POLLOUT, deadline); s != NetStatus::Ok)
            return s;
    }
    return NetStatus::Ok;
}

NetStatus TcpConnection::Receive(void* buffer, size_t capacity, size_t& received, int timeoutMs)
{
    received = 0;
    if (m_fd < 0)
        return NetStatus::Closed;
    if (capacity == 0)
        return NetStatus::Ok;
    const Clock::time_point deadline = DeadlineAfter(timeoutMs);
    for (;;) {
        ssize_t n = ::recv(m_fd, buffer, capacity, 0);
        if (n > 0) {
            received = static_cast<size_t>(n);
            return NetStatus::Ok;
        }
        if (n == 0)
            return NetStatus::Closed;
        if (errno == EINTR)
            continue;
        if (NetStatus s = AwaitRetry(m_fd, POLLIN, deadline); s != NetStatus::Ok)
            return s;
    }
}

TcpListener::~TcpListener() { Close(); }

void TcpListener::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_port = 0;
}

bool TcpListener::Listen(uint16_t port)
{
    Close();
    int fd = OpenSocket(AF_INET);
    if (fd < 0)
        return false;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    socklen_t len = sizeof(addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_port = ntohs(addr.sin_port);
    return true;
}

NetStatus TcpListener::Accept(TcpConnection& out, int timeoutMs)
{
    out.Close();
    if (m_fd < 0)
        return NetStatus::Failed;
    const Clock::time_point deadline = DeadlineAfter(timeoutMs);
    for (;;) {
        int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            out.m_fd = fd;
            return NetStatus::Ok;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (NetStatus s = AwaitRetry(m_fd, POLLIN, deadline); s != NetStatus::Ok)
            return s;
    }
}

namespace {

// curl_global_init is not thread-safe itself; every transfer passes through here first.
bool CurlReady()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

struct Sink {
    std::string* body;
    bool cut = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user)
{
    Sink& sink = *static_cast<Sink*>(user);
    const size_t bytes = size * count;
    const size_t room = kHttpMaxReplyBytes - sink.body->size();
    if (bytes > room) {
        sink.body->append(data, room);
        sink.cut = true;
        return 0; // stops the transfer: the rest is not wanted
    }
    sink.body->append(data, bytes);
    return bytes;
}

// The environment's no_proxy with the loopback names added, so that a desktop proxy never
// carries requests meant for this computer.
std::string NoProxyList()
{
    std::string list = "localhost,127.0.0.1,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        if (const char* v = std::getenv(name); v && *v) {
            list += ',';
            list += v;
            break;
        }
    }
    return list;
}

} // namespace

bool HttpGet(const std::string& url, int timeoutMs, HttpReply& reply)
{
    reply = HttpReply();
    if (!CurlReady())
        return false;
    CURL* curl = curl_easy_init();
    if (!curl)
        return false;
    const long limit = timeoutMs > 0 ? timeoutMs : 1;
    const std::string noProxy = NoProxyList();
    Sink sink { &reply.body };
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limit);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limit);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, noProxy.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    CURLcode code = curl_easy_perform(curl);
    bool ok = code == CURLE_OK || (code == CURLE_WRITE_ERROR && sink.cut);
    if (ok)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_easy_cleanup(curl);
    if (!ok)
        reply.body.clear();
    return ok;
}

} // namespace platform
