// The network: a TCP client whose every call waits at most a given time, a loopback listener
// (for local services and tests), and an HTTP GET through libcurl. Failures are return values;
// nothing raises a signal (writes to a closed peer do not end the process).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class NetStatus {
    Ok,
    Closed, // the peer closed the connection (receive), or the connection is not open
    TimedOut,
    Failed, // refused, unreachable, unknown host, reset
};

class TcpConnection {
public:
    TcpConnection() = default;
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;
    TcpConnection(TcpConnection&& other) noexcept;
    TcpConnection& operator=(TcpConnection&& other) noexcept;

    // Tries each address of the host in turn within the one time limit. The name lookup itself
    // is the system resolver's (numeric addresses and "localhost" need no lookup over the net).
    NetStatus Connect(const std::string& host, uint16_t port, int timeoutMs);
    // Sends every byte or fails; the time limit covers the whole call.
    NetStatus SendAll(const void* data, size_t size, int timeoutMs);
    // Waits for data and takes what is there, at most `capacity` bytes: Ok with received > 0,
    // Closed at the end of the stream, TimedOut, Failed.
    NetStatus Receive(void* buffer, size_t capacity, size_t& received, int timeoutMs);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

private:
    friend class TcpListener;
    int m_fd = -1;
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
// failure of the transfer (an HTTP error status is a reply, not a failure).
bool HttpGet(const std::string& url, int timeoutMs, HttpReply& reply);

} // namespace platform
