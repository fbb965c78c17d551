// The network layer against peers on the loopback address: every wait ends at its time limit
// (the name lookup's included) or at once on a cancel, a closed peer is told apart from a silent
// one, writes to a closed peer raise no signal, and HTTP replies are cut at their limit.
#include "platform/Net.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <netdb.h>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A connected pair: `client` connected to a fresh listener, `server` the accepted end.
struct Pair {
    TcpListener listener;
    TcpConnection client, server;
    bool Open()
    {
        return listener.Listen(0) && client.Connect("127.0.0.1", listener.Port(), 1000) == NetStatus::Ok &&
               listener.Accept(server, 1000) == NetStatus::Ok;
    }
};

// Answers one HTTP request with `reply` (or nothing while `reply` is empty, until the peer goes).
class OneShotHttp {
public:
    explicit OneShotHttp(std::string reply) : m_reply(std::move(reply))
    {
        m_ok = m_listener.Listen(0);
        m_thread = std::thread([this] {
            TcpConnection c;
            if (m_listener.Accept(c, 3000) != NetStatus::Ok)
                return;
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                size_t got = 0;
                if (c.Receive(buffer, sizeof(buffer), got, 3000) != NetStatus::Ok)
                    return;
                request.append(buffer, got);
            }
            if (!m_reply.empty()) {
                c.SendAll(m_reply.data(), m_reply.size(), 3000);
                return;
            }
            size_t ignored = 0;
            while (c.Receive(buffer, sizeof(buffer), ignored, 50) == NetStatus::TimedOut && !m_stop) {
            }
        });
    }
    ~OneShotHttp()
    {
        m_stop = true;
        m_thread.join();
    }
    bool Ok() const { return m_ok; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_listener.Port()) + path; }

private:
    std::string m_reply;
    TcpListener m_listener;
    bool m_ok = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

TEST(Net, ReceiveTellsDataSilenceAndClose)
{
    Pair p;
    ASSERT_TRUE(p.Open());
    ASSERT_EQ(p.server.SendAll("abc", 3, 1000), NetStatus::Ok);
    char buffer[16];
    size_t got = 0;
    ASSERT_EQ(p.client.Receive(buffer, sizeof(buffer), got, 1000), NetStatus::Ok);
    EXPECT_EQ(std::string(buffer, got), "abc");

    const Clock::time_point start = Clock::now();
    EXPECT_EQ(p.client.Receive(buffer, sizeof(buffer), got, 150), NetStatus::TimedOut);
    EXPECT_GE(MsSince(start), 140);
    EXPECT_EQ(got, 0u);

    p.server.Close();
    EXPECT_EQ(p.client.Receive(buffer, sizeof(buffer), got, 1000), NetStatus::Closed);
    // Writing to the closed peer fails without a signal ending the process.
    std::vector<char> data(1 << 20, 'x');
    NetStatus s = NetStatus::Ok;
    for (int i = 0; i < 20 && s == NetStatus::Ok; ++i)
        s = p.client.SendAll(data.data(), data.size(), 500);
    EXPECT_EQ(s, NetStatus::Failed);
}

TEST(Net, SendToAPeerThatNeverReadsEndsAtTheTimeLimit)
{
    Pair p;
    ASSERT_TRUE(p.Open());
    std::vector<char> data(64 << 20, 'x');
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(p.client.SendAll(data.data(), data.size(), 200), NetStatus::TimedOut);
    EXPECT_LT(MsSince(start), 3000);
}

TEST(Net, ConnectFailures)
{
    uint16_t closedPort = 0;
    {
        TcpListener l;
        ASSERT_TRUE(l.Listen(0));
        closedPort = l.Port();
    }
    TcpConnection c;
    EXPECT_EQ(c.Connect("127.0.0.1", closedPort, 1000), NetStatus::Failed);
    EXPECT_FALSE(c.IsOpen());
    EXPECT_EQ(c.Connect("host.invalid", 80, 1000), NetStatus::Failed);
    EXPECT_EQ(c.Connect("", 80, 1000), NetStatus::Failed);
    size_t got = 0;
    char b[4];
    EXPECT_EQ(c.Receive(b, sizeof(b), got, 10), NetStatus::Closed);
    EXPECT_EQ(c.SendAll(b, sizeof(b), 10), NetStatus::Closed);
}

TEST(Net, HttpGetRepliesAndLimits)
{
    struct Case {
        const char* name;
        std::string reply;
        bool ok;
        long status;
        size_t bodySize;
    };
    const std::string big(100000, 'b');
    const Case cases[] = {
        {"small", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok", true, 200, 2},
        {"cut at 65535", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" + big, true, 200,
            kHttpMaxReplyBytes},
        {"an error status is a reply", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", true,
            404, 0},
        {"not HTTP", "garbage\r\n\r\n", false, 0, 0},
        {"never answers", "", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OneShotHttp server(c.reply);
        ASSERT_TRUE(server.Ok());
        HttpReply reply;
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(HttpGet(server.Url("/collect?v=1"), 500, reply), c.ok);
        EXPECT_LT(MsSince(start), 3000);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.body.size(), c.bodySize);
    }
    HttpReply reply;
    EXPECT_FALSE(HttpGet("file:///etc/passwd", 500, reply));
    EXPECT_TRUE(reply.body.empty());
    EXPECT_FALSE(HttpGet("http://host.invalid/collect", 500, reply));
}

namespace {

// A resolver that answers after a delay, with the loopback address for every name.
std::atomic<int> g_lookupDelayMs{0};
std::atomic<int> g_lookups{0};
int SlowLookup(const char*, const char* service, const addrinfo* hints, addrinfo** result)
{
    ++g_lookups;
    std::this_thread::sleep_for(std::chrono::milliseconds(g_lookupDelayMs.load()));
    return getaddrinfo("127.0.0.1", service, hints, result);
}

struct SlowResolver {
    explicit SlowResolver(int delayMs)
    {
        g_lookupDelayMs = delayMs;
        g_lookups = 0;
        SetNameLookupForTests(&SlowLookup);
    }
    ~SlowResolver() { SetNameLookupForTests(nullptr); }
};

} // namespace

TEST(Net, TheConnectLimitCoversASlowNameLookup)
{
    TcpListener l;
    ASSERT_TRUE(l.Listen(0));
    {
        SlowResolver resolver(3000);
        TcpConnection c;
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(c.Connect("slow.example", l.Port(), 300), NetStatus::TimedOut);
        EXPECT_LT(MsSince(start), 1500) << "a resolver that does not answer holds the caller no longer than its limit";
        EXPECT_EQ(g_lookups.load(), 1);
        EXPECT_FALSE(c.IsOpen());
    }
    {
        // Within the limit the answer is used; numeric addresses never reach the resolver.
        SlowResolver resolver(50);
        TcpConnection c;
        EXPECT_EQ(c.Connect("slow.example", l.Port(), 3000), NetStatus::Ok);
        EXPECT_EQ(c.Connect("127.0.0.1", l.Port(), 3000), NetStatus::Ok);
        EXPECT_EQ(g_lookups.load(), 1);
    }
    TcpConnection c;
    EXPECT_EQ(c.Connect("localhost", l.Port(), 3000), NetStatus::Ok) << "the system's resolver";
}

TEST(Net, ACancelEndsEveryWaitAtOnce)
{
    SlowResolver resolver(5000);
    Pair p;
    ASSERT_TRUE(p.Open());
    OneShotHttp silentHttp("");
    ASSERT_TRUE(silentHttp.Ok());
    TcpListener l;
    ASSERT_TRUE(l.Listen(0));
    const std::vector<char> big(64 << 20, 'x');
    struct Case {
        const char* name;
        std::function<bool(NetCancel&)> wait; // true when it ended as cancelled
    };
    const std::vector<Case> cases = {
        {"name lookup",
         [&](NetCancel& cancel) {
             TcpConnection c;
             c.SetCancel(&cancel);
             return c.Connect("slow.example", l.Port(), 10000) == NetStatus::Cancelled;
         }},
        {"receive from a silent peer",
         [&](NetCancel& cancel) {
             p.client.SetCancel(&cancel);
             char b[16];
             size_t got = 0;
             const bool cancelled = p.client.Receive(b, sizeof(b), got, 10000) == NetStatus::Cancelled;
             p.client.SetCancel(nullptr);
             return cancelled;
         }},
        {"send to a peer that never reads",
         [&](NetCancel& cancel) {
             p.client.SetCancel(&cancel);
             const bool cancelled = p.client.SendAll(big.data(), big.size(), 10000) == NetStatus::Cancelled;
             p.client.SetCancel(nullptr);
             return cancelled;
         }},
        {"HTTP request that is never answered",
         [&](NetCancel& cancel) {
             HttpReply reply;
             return !HttpGet(silentHttp.Url("/collect"), 10000, reply, &cancel) && reply.body.empty();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NetCancel cancel;
        std::atomic<bool> cancelled{false};
        const Clock::time_point start = Clock::now();
        std::thread waiter([&] { cancelled = c.wait(cancel); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cancel.Cancel();
        waiter.join();
        EXPECT_TRUE(cancelled.load());
        EXPECT_LT(MsSince(start), 2000);
        // Still on: the next wait ends at once; off again, the connection works.
        EXPECT_TRUE(cancel.IsCancelled());
        EXPECT_TRUE(c.wait(cancel));
        cancel.Reset();
        EXPECT_FALSE(cancel.IsCancelled());
    }
    TcpConnection again;
    NetCancel cancel;
    again.SetCancel(&cancel);
    EXPECT_EQ(again.Connect("127.0.0.1", l.Port(), 1000), NetStatus::Ok);
}
