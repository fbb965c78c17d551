// The network: a TCP client whose every call waits at most a given time, a loopback listener
// (for local services and tests), and an HTTP GET through libcurl. Failures are return values;
// nothing raises a signal (writes to a closed peer do not end the process).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

struct addrinfo;

namespace platform {

enum class NetStatus {
    Ok,
    Closed, // the peer closed the connection (receive), or the connection is not open
    TimedOut,
    Failed, // refused, unreachable, unknown host, reset
    Cancelled, // the connection's NetCancel was switched on
};

// A switch that ends every wait of the connections and transfers given it at once, from any
// thread: how a network thread is stopped without waiting out its time limits. It stays on
// (every later wait ends at once too) until Reset.
class NetCancel {
public:
    NetCancel();
    ~NetCancel();
    NetCancel(const NetCancel&) = delete;
    NetCancel& operator=(const NetCancel&) = delete;

    void Cancel();
    void Reset();
    bool IsCancelled() const { return m_cancelled.load(std::memory_order_acquire); }
    // Readable while switched on (for poll); -1 when the system gave no descriptor, and waits
    // then end at their own limits.
    int WaitDescriptor() const { return m_fd; }

private:
    int m_fd = -1;
    std::atomic<bool> m_cancelled{false};
};

// The name lookup Connect uses: getaddrinfo unless replaced. Tests put a slow one in its place;
// whatever it returns is freed with freeaddrinfo. Null restores getaddrinfo.
using NameLookupFunction = int (*)(const char* host, const char* service, const addrinfo* hints, addrinfo** result);
void SetNameLookupForTests(NameLookupFunction lookup);

class TcpConnection {
public:
    TcpConnection() = default;
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;
    TcpConnection(TcpConnection&& other) noexcept;
    TcpConnection& operator=(TcpConnection&& other) noexcept;

    // Tries each address of the host in turn within the one time limit, which covers the name
    // lookup too (it runs on a thread of its own, left to finish alone when the limit or a
    // cancel comes first; numeric addresses need no lookup).
    NetStatus Connect(const std::string& host, uint16_t port, int timeoutMs);
    // Sends every byte or fails; the time limit covers the whole call.
    NetStatus SendAll(const void* data, size_t size, int timeoutMs);
    // Waits for data and takes what is there, at most `capacity` bytes: Ok with received > 0,
    // Closed at the end of the stream, TimedOut, Failed.
    NetStatus Receive(void* buffer, size_t capacity, size_t& received, int timeoutMs);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    // Every later wait of this connection (lookup, connect, send, receive) also ends, with
    // Cancelled, once `cancel` is switched on. It must outlive the connection's calls.
    void SetCancel(const NetCancel* cancel) { m_cancel = cancel; }

private:
    friend class TcpListener;
    int m_fd = -1;
    const NetCancel* m_cancel = nullptr;
};

// Listens on the loopback address: port 0 takes a free port (Port() tells which).
class TcpListener {
public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    bool Listen(uint16_t port = 0);
    uint16_t Port() const { return m_port; }
    // Ok with an open connection, TimedOut, or Failed.
    NetStatus Accept(TcpConnection& out, int timeoutMs);
    void Close();

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

struct HttpReply {
    long status = 0; // the HTTP status code
    std::string body; // at most kHttpMaxReplyBytes
};

inline constexpr size_t kHttpMaxReplyBytes = 65535;

// GET of an http:// or https:// URL (other schemes are refused), no redirects followed. The time
// limit covers name lookup, connection and the whole transfer. The proxy comes from the
// environment (http_proxy, no_proxy) as the desktop sets it; loopback hosts never go through a
// proxy. A body longer than kHttpMaxReplyBytes is cut there and the rest not read. false on any
// failure of the transfer (an HTTP error status is a reply, not a failure). A cancel ends the
// transfer at once (false); a name lookup still running then is left to finish alone.
bool HttpGet(const std::string& url, int timeoutMs, HttpReply& reply, const NetCancel* cancel = nullptr);

} // namespace platform
