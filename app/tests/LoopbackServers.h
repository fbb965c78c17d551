// Small servers on the loopback address for the server thread's tests: an HTTP server that
// records request lines, and a framed-TCP service that answers each connection with the next
// behaviour of a script. Both take one connection at a time on their own thread.
#pragma once

#include "app/ServerThread.h"
#include "platform/Net.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace loopback {

using platform::NetStatus;
using platform::TcpConnection;
using Bytes = std::vector<uint8_t>;

// Accepts connections and hands each to the handler; the handler must return once the peer has
// hung up or `stop` is set.
class Server {
public:
    using Handler = std::function<void(TcpConnection&, const std::atomic<bool>& stop)>;

    explicit Server(Handler handler) : m_handler(std::move(handler))
    {
        m_listening = m_listener.Listen(0);
        if (m_listening)
            m_thread = std::thread([this] { Loop(); });
    }
    ~Server() { Stop(); }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool Listening() const { return m_listening; }
    uint16_t Port() const { return m_listener.Port(); }
    int Connections() const { return m_connections.load(); }
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void Loop()
    {
        while (!m_stop) {
            TcpConnection c;
            if (m_listener.Accept(c, 20) != NetStatus::Ok)
                continue;
            ++m_connections;
            m_handler(c, m_stop);
        }
    }

    Handler m_handler;
    platform::TcpListener m_listener;
    bool m_listening = false;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

// Waits until the peer hangs up or the server stops.
inline void HoldUntilPeerCloses(TcpConnection& c, const std::atomic<bool>& stop)
{
    uint8_t sink[256];
    while (!stop) {
        size_t got = 0;
        NetStatus s = c.Receive(sink, sizeof(sink), got, 20);
        if (s == NetStatus::Closed || s == NetStatus::Failed)
            return;
    }
}

// Reads exactly n bytes within the time; false when they do not come.
inline bool ReadExactly(TcpConnection& c, Bytes& out, size_t n, const std::atomic<bool>& stop)
{
    for (int waited = 0; out.size() < n && !stop && waited < 3000; waited += 20) {
        uint8_t buffer[4096];
        size_t got = 0;
        NetStatus s = c.Receive(buffer, std::min(sizeof(buffer), n - out.size()), got, 20);
        if (s == NetStatus::Ok)
            out.insert(out.end(), buffer, buffer + got);
        else if (s != NetStatus::TimedOut)
            return false;
    }
    return out.size() == n;
}

// The collector: records each request line ("GET /collect?... HTTP/1.1"); answers 200 with a
// short body, or, while `silent`, never answers.
class HttpServer {
public:
    std::atomic<bool> silent{false};

    HttpServer() : m_server([this](TcpConnection& c, const std::atomic<bool>& stop) { Serve(c, stop); }) {}
    bool Listening() const { return m_server.Listening(); }
    uint16_t Port() const { return m_server.Port(); }
    std::string Host() const { return "127.0.0.1:" + std::to_string(Port()); }
    int Connections() const { return m_server.Connections(); }
    std::vector<std::string> RequestLines() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_lines;
    }

private:
    void Serve(TcpConnection& c, const std::atomic<bool>& stop)
    {
        if (silent) {
            HoldUntilPeerCloses(c, stop);
            return;
        }
        std::string request;
        for (int waited = 0; request.find("\r\n\r\n") == std::string::npos && !stop && waited < 3000 &&
                             request.size() < 65536;
             waited += 20) {
            char buffer[2048];
            size_t got = 0;
            NetStatus s = c.Receive(buffer, sizeof(buffer), got, 20);
            if (s == NetStatus::Ok)
                request.append(buffer, got);
            else if (s != NetStatus::TimedOut)
                return;
        }
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_lines.push_back(request.substr(0, request.find("\r\n")));
        }
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        c.SendAll(reply.data(), reply.size(), 1000);
    }

    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
    Server m_server;
};

// A service frame as the tests build it.
inline Bytes Frame(uint16_t type, const Bytes& payload)
{
    uint8_t header[kServiceFrameHeaderBytes];
    EncodeServiceFrameHeader(type, static_cast<uint32_t>(payload.size()), header);
    Bytes out(header, header + sizeof(header));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// The local service: reads each request frame (kept in Requests()), then plays the next behaviour
// of the script; with the script used up it answers nothing and closes.
class ServiceServer {
public:
    // What to send back to the request; `hold` waits for the peer to hang up afterwards instead of
    // closing at once.
    struct Behaviour {
        Bytes reply;
        bool hold = false;
    };

    ServiceServer() : m_server([this](TcpConnection& c, const std::atomic<bool>& stop) { Serve(c, stop); }) {}
    bool Listening() const { return m_server.Listening(); }
    uint16_t Port() const { return m_server.Port(); }
    int Connections() const { return m_server.Connections(); }
    void Add(Behaviour b)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_script.push_back(std::move(b));
    }
    std::vector<Bytes> Requests() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_requests;
    }

private:
    void Serve(TcpConnection& c, const std::atomic<bool>& stop)
    {
        Bytes request;
        if (ReadExactly(c, request, kServiceFrameHeaderBytes, stop)) {
            const uint32_t length = DecodeServiceFrameHeader(request.data()).length;
            if (length <= kServiceMaxPayloadBytes)
                ReadExactly(c, request, kServiceFrameHeaderBytes + length, stop);
        }
        Behaviour b;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_requests.push_back(request);
            if (!m_script.empty()) {
                b = std::move(m_script.front());
                m_script.pop_front();
            }
        }
        if (!b.reply.empty())
            c.SendAll(b.reply.data(), b.reply.size(), 1000);
        if (b.hold)
            HoldUntilPeerCloses(c, stop);
    }

    mutable std::mutex m_lock;
    std::deque<Behaviour> m_script;
    std::vector<Bytes> m_requests;
    Server m_server;
};

} // namespace loopback
