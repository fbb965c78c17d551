#include "platform/Net.h"

#include <curl/curl.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
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

constexpr int kWaitReady = 1, kWaitTimedOut = 0, kWaitFailed = -1, kWaitCancelled = -2;

// Waits for the events until the deadline or the cancel.
int WaitFor(int fd, short events, Clock::time_point deadline, const NetCancel* cancel)
{
    for (;;) {
        if (cancel && cancel->IsCancelled())
            return kWaitCancelled;
        pollfd p[2] = { { fd, events, 0 }, { cancel ? cancel->WaitDescriptor() : -1, POLLIN, 0 } };
        int r = poll(p, 2, RemainingMs(deadline));
        if (r > 0) {
            if (p[1].revents)
                return kWaitCancelled;
            return kWaitReady;
        }
        if (r == 0)
            return kWaitTimedOut;
        if (errno != EINTR)
            return kWaitFailed;
    }
}

NetStatus StatusOfWait(int w)
{
    return w == kWaitReady     ? NetStatus::Ok
        : w == kWaitTimedOut   ? NetStatus::TimedOut
        : w == kWaitCancelled  ? NetStatus::Cancelled
                               : NetStatus::Failed;
}

// After a call that would block: Ok once the socket is ready to try again, else why not.
NetStatus AwaitRetry(int fd, short events, Clock::time_point deadline, const NetCancel* cancel)
{
    if (errno != EAGAIN && errno != EWOULDBLOCK)
        return NetStatus::Failed;
    return StatusOfWait(WaitFor(fd, events, deadline, cancel));
}

std::atomic<NameLookupFunction> g_lookup{nullptr};

// One name lookup on a thread of its own. getaddrinfo has no time limit, so the caller waits for
// this state's descriptor only until its deadline; a lookup left behind frees its own result.
struct Lookup {
    std::mutex mutex;
    int doneFd = -1;
    bool done = false;
    bool taken = false;
    int result = EAI_FAIL;
    addrinfo* list = nullptr;
    ~Lookup()
    {
        if (list)
            freeaddrinfo(list);
        if (doneFd >= 0)
            ::close(doneFd);
    }
};

int RunLookup(NameLookupFunction lookup, const std::string& host, const std::string& service, addrinfo** list)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    return (lookup ? lookup : ::getaddrinfo)(host.c_str(), service.c_str(), &hints, list);
}

// The addresses of host, or a status when there are none: Failed (unknown), TimedOut, Cancelled.
NetStatus Resolve(const std::string& host, const std::string& service, Clock::time_point deadline,
                  const NetCancel* cancel, addrinfo** out)
{
    *out = nullptr;
    // A numeric address never waits for a resolver.
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, out) == 0 && *out)
        return NetStatus::Ok;
    *out = nullptr;
    const NameLookupFunction lookup = g_lookup.load(std::memory_order_acquire);
    auto state = std::make_shared<Lookup>();
    state->doneFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (state->doneFd < 0)
        return RunLookup(lookup, host, service, out) == 0 && *out ? NetStatus::Ok : NetStatus::Failed;
    try {
        std::thread([state, lookup, host, service] {
            addrinfo* list = nullptr;
            const int r = RunLookup(lookup, host, service, &list);
            std::lock_guard<std::mutex> lock(state->mutex);
            state->result = r;
            state->list = r == 0 ? list : nullptr;
            if (r != 0 && list)
                freeaddrinfo(list);
            state->done = true;
            const uint64_t one = 1;
            if (::write(state->doneFd, &one, sizeof one) < 0) {
            }
        }).detach();
    } catch (const std::system_error&) {
        return RunLookup(lookup, host, service, out) == 0 && *out ? NetStatus::Ok : NetStatus::Failed;
    }
    const int w = WaitFor(state->doneFd, POLLIN, deadline, cancel);
    std::lock_guard<std::mutex> lock(state->mutex);
    if (!state->done)
        return StatusOfWait(w == kWaitReady ? kWaitFailed : w);
    if (state->result != 0 || !state->list)
        return NetStatus::Failed;
    *out = state->list;
    state->list = nullptr; // the caller frees it now
    return NetStatus::Ok;
}

int OpenSocket(int family) { return socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0); }

} // namespace

void SetNameLookupForTests(NameLookupFunction lookup)
{
    g_lookup.store(lookup, std::memory_order_release);
}

NetCancel::NetCancel()
    : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

NetCancel::~NetCancel()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void NetCancel::Cancel()
{
    m_cancelled.store(true, std::memory_order_release);
    const uint64_t one = 1;
    if (m_fd >= 0 && ::write(m_fd, &one, sizeof one) < 0) {
    }
}

void NetCancel::Reset()
{
    m_cancelled.store(false, std::memory_order_release);
    uint64_t count = 0;
    if (m_fd >= 0 && ::read(m_fd, &count, sizeof count) < 0) {
    }
}

TcpConnection::~TcpConnection() { Close(); }

TcpConnection::TcpConnection(TcpConnection&& other) noexcept : m_fd(other.m_fd), m_cancel(other.m_cancel)
{
    other.m_fd = -1;
}

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        m_cancel = other.m_cancel;
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
    if (host.empty())
        return NetStatus::Failed;
    if (m_cancel && m_cancel->IsCancelled())
        return NetStatus::Cancelled;
    addrinfo* list = nullptr;
    if (const NetStatus found = Resolve(host, std::to_string(port), deadline, m_cancel, &list);
        found != NetStatus::Ok)
        return found;
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
            const int w = WaitFor(fd, POLLOUT, deadline, m_cancel);
            if (w == kWaitReady) {
                int error = 0;
                socklen_t len = sizeof(error);
                r = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0 ? 0 : -1;
            } else {
                r = -1;
                if (w == kWaitTimedOut || w == kWaitCancelled) {
                    result = StatusOfWait(w);
                    ::close(fd);
                    break;
                }
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
        if (NetStatus s = AwaitRetry(m_fd, POLLOUT, deadline, m_cancel); s != NetStatus::Ok)
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
        if (NetStatus s = AwaitRetry(m_fd, POLLIN, deadline, m_cancel); s != NetStatus::Ok)
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
        if (NetStatus s = AwaitRetry(m_fd, POLLIN, deadline, nullptr); s != NetStatus::Ok)
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

bool HttpGet(const std::string& url, int timeoutMs, HttpReply& reply, const NetCancel* cancel)
{
    reply = HttpReply();
    if (!CurlReady() || (cancel && cancel->IsCancelled()))
        return false;
    CURL* curl = curl_easy_init();
    if (!curl)
        return false;
    CURLM* multi = curl_multi_init();
    if (!multi) {
        curl_easy_cleanup(curl);
        return false;
    }
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
    // A name lookup still running when the transfer ends (a cancel, the limit) is not waited
    // for: the resolver's thread finishes alone.
    curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);
    curl_multi_add_handle(multi, curl);
    // The transfer runs here, waking for its sockets, its own time limit, or the cancel.
    CURLcode code = CURLE_OPERATION_TIMEDOUT;
    bool finished = false;
    bool cancelled = false;
    const Clock::time_point deadline = DeadlineAfter(timeoutMs + 1000); // curl's own limit ends it first
    while (!finished) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK)
            break;
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE) {
                code = message->data.result;
                finished = true;
            }
        }
        if (finished || running == 0 || Clock::now() >= deadline)
            break;
        curl_waitfd extra {};
        extra.fd = cancel ? cancel->WaitDescriptor() : -1;
        extra.events = CURL_WAIT_POLLIN;
        curl_multi_poll(multi, extra.fd >= 0 ? &extra : nullptr, extra.fd >= 0 ? 1 : 0, 1000, nullptr);
        if (cancel && cancel->IsCancelled()) {
            cancelled = true;
            break;
        }
    }
    bool ok = finished && !cancelled && (code == CURLE_OK || (code == CURLE_WRITE_ERROR && sink.cut));
    if (ok)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_multi_remove_handle(multi, curl);
    curl_easy_cleanup(curl);
    curl_multi_cleanup(multi);
    if (!ok)
        reply.body.clear();
    return ok;
}

} // namespace platform
