// The server thread against real loopback servers: the exact hit line of the usage events, the
// frames of the version check and the notice, what the thread stores and posts to the main
// window, and peers that send too much, too little or nothing at all.
#include "LoopbackServers.h"

#include "ui/Registry.h"
#include "app/ServerNotify.h"
#include "app/ServerThread.h"
#include "platform/Settings.h"
#include "platform/Shell.h"
#include "platform/Window.h"
#include "platform/tests/TestFolder.h"
#include "ui/MessageBox.h"
#include "ui/UiSeams.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <netdb.h>
#include <optional>
#include <thread>

using namespace platform;
using loopback::Bytes;
using loopback::Frame;

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class Recorder : public WindowListener {
public:
    std::vector<uintptr_t> notifies;
    void OnEvent(Window&, const WindowEvent& e) override
    {
        if (e.kind == EventKind::Message && e.message == WM_SERVER_NOTIFY)
            notifies.push_back(e.wParam);
    }
};

void PutU16(Bytes& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutText(Bytes& b, size_t at, std::u16string_view text)
{
    for (size_t i = 0; i < text.size(); ++i)
        PutU16(b, at + 2 * i, text[i]);
}

Bytes VersionPayload(uint16_t newest, std::u16string_view text)
{
    Bytes b(kVersionReplyBytes, 0);
    PutU16(b, 0, newest);
    PutText(b, 2, text);
    return b;
}

// A whole notice: flag, some bytes in the unused part, the three texts terminated.
Bytes NoticePayload()
{
    Bytes b(kNoticeBytes, 0);
    b[0] = 1;
    for (size_t i = 1; i <= 10; ++i)
        b[i] = static_cast<uint8_t>(0xA0 + i);
    PutText(b, 11, u"New filters are out");
    PutText(b, 139, u"Version 9 brings twelve new filters.");
    PutText(b, 1163, u"https://zendra.example.org/news");
    return b;
}

// The version request this build sends for a given current version.
Bytes VersionRequest(uint16_t current)
{
    Bytes payload(kVersionRequestBytes, 0);
    PutU16(payload, 0, 356);
    PutU16(payload, 2, current);
    const char text[] = "Zendra for Linux";
    std::memcpy(payload.data() + 4, text, sizeof(text) - 1);
    return Frame(201, payload);
}

class ServerThreadTest : public ::testing::Test {
protected:
    test::TestFolder folder;
    Recorder rec;
    std::unique_ptr<Window> window;
    std::atomic<int32_t> edition{0};
    loopback::HttpServer collector;
    loopback::ServiceServer service;
    std::optional<CServerThread> server;

    void SetUp() override
    {
        SetSettingsFiles(folder.Path(u"user.txt"), folder.Path(u"machine.txt"));
        WindowOptions options;
        options.width = 32;
        options.height = 32;
        window = Window::Create(BackendKind::Headless, options, &rec);
        ASSERT_TRUE(window);
        ASSERT_TRUE(collector.Listening());
        ASSERT_TRUE(service.Listening());
        server.emplace();
    }

    void TearDown() override
    {
        server.reset();
        window.reset();
        SetSettingsFiles(DefaultUserSettingsFile(), DefaultMachineSettingsFile());
    }

    // The installation's values, as the installer would leave them.
    void SetMachineValues(const std::map<std::u16string, uint32_t>& rootValues)
    {
        SettingsData data;
        for (const auto& [name, value] : rootValues)
            data[kRegistryRoot][name] = SettingsValue{SettingsValue::Type::Dword, value, {}};
        ASSERT_TRUE(test::WriteText(folder.Path(u"machine.txt"), FormatSettingsText(data)));
    }

    ServerSettings Loopback(int ioTimeoutMs = 1500) const
    {
        ServerSettings s;
        s.collectorHost = collector.Host();
        s.serviceHost = "127.0.0.1";
        s.servicePort = service.Port();
        s.connectTimeoutMs = 1000;
        s.ioTimeoutMs = ioTimeoutMs;
        s.httpTimeoutMs = 1500;
        return s;
    }

    void StartThread(const ServerSettings& settings, bool withWindow = true)
    {
        if (withWindow)
            server->SetMainWindow(window->Poster());
        ASSERT_TRUE(server->Start(edition, settings));
    }

    // Lets the thread finish everything posted so far and end.
    void Finish() { ASSERT_TRUE(server->Stop(20000)); }

    std::vector<uintptr_t> Posts()
    {
        window->PumpPending();
        return rec.notifies;
    }
};

// --- Usage events ---

TEST_F(ServerThreadTest, EventHitIsTheExactRequestLine)
{
    struct Case {
        const char16_t* label;
        int32_t value;
        const char* expected;
    };
    const Case cases[] = {
        {u"Run", 0, "GET /collect?v=1&tid=UA-58204173-2&cid=555&t=event&ec=Zendra&ea=Register&el=Run&ev=0&z="},
        {u"UnInstall", 0,
            "GET /collect?v=1&tid=UA-58204173-2&cid=555&t=event&ec=Zendra&ea=Register&el=UnInstall&ev=0&z="},
        {u"Run", -7, "GET /collect?v=1&tid=UA-58204173-2&cid=555&t=event&ec=Zendra&ea=Register&el=Run&ev=-7&z="},
    };
    StartThread(Loopback());
    for (const Case& c : cases)
        server->QueueEvent(c.label, c.value);
    Finish();
    const auto now = static_cast<long long>(std::time(nullptr) % 100000);
    const std::vector<std::string> lines = collector.RequestLines();
    ASSERT_EQ(lines.size(), std::size(cases));
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(cases[i].expected);
        const std::string prefix = cases[i].expected;
        ASSERT_EQ(lines[i].compare(0, prefix.size(), prefix), 0) << lines[i];
        const std::string rest = lines[i].substr(prefix.size());
        const size_t blank = rest.find(' ');
        ASSERT_NE(blank, std::string::npos);
        EXPECT_EQ(rest.substr(blank), " HTTP/1.1");
        const std::string z = rest.substr(0, blank);
        ASSERT_FALSE(z.empty());
        ASSERT_LE(z.size(), 7u);
        ASSERT_EQ(z.find_first_not_of("0123456789"), std::string::npos) << z;
        // Seconds mod 100000, then hundredths of the process's millisecond counter.
        const long long seconds = std::stoll(z) / 100;
        const long long apart = (now - seconds + 100000) % 100000;
        EXPECT_LE(apart, 5) << z;
    }
    EXPECT_EQ(server->QueuedEventCount(), 0u);
}

TEST(ServerEvents, CacheBreakerStaysInItsRange)
{
    for (int i = 0; i < 100; ++i) {
        const auto before = static_cast<uint32_t>(std::time(nullptr) % 100000);
        const uint32_t z = CacheBreaker();
        const auto after = static_cast<uint32_t>(std::time(nullptr) % 100000);
        EXPECT_LT(z, 10000000u);
        EXPECT_TRUE(z / 100 == before || z / 100 == after) << z;
    }
    AnalyticsEvent e;
    CopyText(e.action, u"Register");
    CopyText(e.label, u"Run");
    EXPECT_EQ(FormatEventUrl("collect.example", e, 555, 42),
        "http://collect.example/collect?v=1&tid=UA-58204173-2&cid=555&t=event&ec=Zendra&ea=Register&el=Run&ev=0&z=42");
}

TEST_F(ServerThreadTest, EditionFlagKeepsEventsQueuedWithoutARequest)
{
    StartThread(Loopback());
    ASSERT_EQ(server->Enabled(), 1);
    // Set by the main window after the thread started, before the event goes out.
    edition = 1;
    server->QueueEvent(u"Run", 0);
    Finish();
    EXPECT_EQ(collector.Connections(), 0);
    EXPECT_EQ(server->QueuedEventCount(), 1u);
}

TEST_F(ServerThreadTest, LongLabelIsCut)
{
    StartThread(Loopback());
    server->QueueEvent(u"abcdefghijklmnopqrstuvwxyz0123456789", 1);
    Finish();
    const auto lines = collector.RequestLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("&el=abcdefghijklmnopqrstuvwxyz01234&ev=1&z="), std::string::npos) << lines[0];
}

// Whether the thread works at all: decided on the starting thread from the edition flag and the
// installation's AllowUpgrade, before anything can be queued.
TEST_F(ServerThreadTest, EnabledFromEditionAndAllowUpgrade)
{
    struct Case {
        const char* name;
        int32_t edition;
        std::optional<uint32_t> allowUpgrade;
        int enabled;
    };
    const Case cases[] = {
        {"defaults", 0, std::nullopt, 1},
        {"edition", 1, std::nullopt, 0},
        {"AllowUpgrade 0", 0, 0u, 0},
        {"AllowUpgrade 1 with edition", 1, 1u, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<std::u16string, uint32_t> values;
        if (c.allowUpgrade)
            values[u"AllowUpgrade"] = *c.allowUpgrade;
        SetMachineValues(values);
        edition = c.edition;
        CServerThread t;
        ASSERT_TRUE(t.Start(edition, Loopback()));
        EXPECT_EQ(t.Enabled(), c.enabled);
        ASSERT_TRUE(t.Stop(20000));
    }
}

TEST_F(ServerThreadTest, AllowUpgradeZeroStopsCheckNoticeAndEvents)
{
    SetMachineValues({{u"AllowUpgrade", 0}});
    service.Add({Frame(201, VersionPayload(999, u"new")), false});
    StartThread(Loopback());
    ASSERT_EQ(server->Enabled(), 0);
    server->Post(WM_SERVER_NOTIFY, SERVER_CHECK_VERSION);
    server->Post(WM_SERVER_NOTIFY, SERVER_FETCH_NOTICE);
    server->Post(WM_SERVER_NOTIFY, SERVER_SEND_EVENTS);
    server->QueueEvent(u"Run", 0);
    Finish();
    EXPECT_EQ(service.Connections(), 0);
    EXPECT_EQ(collector.Connections(), 0);
    EXPECT_EQ(server->QueuedEventCount(), 1u);
    EXPECT_TRUE(Posts().empty());
}

TEST_F(ServerThreadTest, SilentCollectorHoldsTheThreadOnlyForItsTimeLimit)
{
    collector.silent = true;
    ServerSettings settings = Loopback();
    settings.httpTimeoutMs = 400;
    StartThread(settings);
    const Clock::time_point start = Clock::now();
    server->QueueEvent(u"Run", 0);
    server->QueueEvent(u"Run", 1);
    // The version check still gets its turn after the hits.
    service.Add({Frame(201, VersionPayload(2000, u"x")), false});
    server->Post(WM_SERVER_NOTIFY, SERVER_CHECK_VERSION);
    Finish();
    EXPECT_LT(MsSince(start), 6000);
    EXPECT_EQ(collector.Connections(), 2);
    EXPECT_EQ(server->QueuedEventCount(), 0u); // taken off the queue before the request
    EXPECT_EQ(Posts(), std::vector<uintptr_t>{SERVER_NEW_VERSION});
}

namespace {

// A resolver that answers only after ten seconds (the loopback address for every name).
int TenSecondLookup(const char*, const char* service, const addrinfo* hints, addrinfo** result)
{
    std::this_thread::sleep_for(std::chrono::seconds(10));
    return getaddrinfo("127.0.0.1", service, hints, result);
}

} // namespace

TEST_F(ServerThreadTest, TheStopEndsAnExchangeInProgressWithinItsLimit)
{
    struct Case {
        const char* name;
        bool slowLookup; // the service's name takes ten seconds to look up
        bool silentService;
        bool silentCollector;
        uintptr_t request;
    };
    const Case cases[] = {
        {"a name lookup that takes ten seconds", true, false, false, SERVER_CHECK_VERSION},
        {"a service that never answers", false, true, false, SERVER_FETCH_NOTICE},
        {"a collector that never answers", false, false, true, SERVER_SEND_EVENTS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.emplace();
        collector.silent = c.silentCollector;
        ServerSettings settings = Loopback(8000);
        settings.connectTimeoutMs = 8000;
        settings.httpTimeoutMs = 8000;
        if (c.slowLookup) {
            SetNameLookupForTests(&TenSecondLookup);
            settings.serviceHost = "update.example";
        }
        if (c.silentService)
            service.Add({{}, true});
        StartThread(settings);
        if (c.request == SERVER_SEND_EVENTS)
            server->QueueEvent(u"Run", 0);
        else
            server->Post(WM_SERVER_NOTIFY, c.request);
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // under way
        const Clock::time_point start = Clock::now();
        EXPECT_TRUE(server->Stop(0, 1000));
        EXPECT_LT(MsSince(start), 1500);
        EXPECT_FALSE(server->IsRunning());
        SetNameLookupForTests(nullptr);
        EXPECT_TRUE(Posts().empty());
    }
    collector.silent = false;
}

TEST_F(ServerThreadTest, CollectorThatRefusesFailsQuietly)
{
    ServerSettings settings = Loopback();
    uint16_t closedPort = 0;
    {
        TcpListener l;
        ASSERT_TRUE(l.Listen(0));
        closedPort = l.Port();
    }
    settings.collectorHost = "127.0.0.1:" + std::to_string(closedPort);
    StartThread(settings);
    server->QueueEvent(u"Run", 0);
    Finish();
    EXPECT_EQ(server->QueuedEventCount(), 0u);
    EXPECT_TRUE(Posts().empty());
}

// --- The version check ---

TEST_F(ServerThreadTest, VersionCheckFramesAndAnswers)
{
    struct Case {
        const char* name;
        std::optional<uint32_t> lastCheck; // Program\LastCheckVersion of the user
        uint16_t sent;
        uint16_t newest;
        bool posted;
    };
    const Case cases[] = {
        {"default, newer", std::nullopt, 840, 841, true},
        {"900 is sent as 900", 900u, 900, 901, true},
        {"500 is sent as 840", 500u, 840, 900, true},
        {"the same version", 900u, 900, 900, false},
        {"an older version", 900u, 900, 850, false},
        {"more than 16 bits", 70000u, 65535, 65535, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.lastCheck)
            ASSERT_EQ(WriteRegistryDword(u"Program", u"LastCheckVersion", *c.lastCheck), 1);
        else
            Settings(SettingsScope::User).DeleteValue(u"Software\\Velmora\\Zendra\\Program", u"LastCheckVersion");
        const Bytes reply = VersionPayload(c.newest, u"Faster start, new filters");
        service.Add({Frame(201, reply), false});
        rec.notifies.clear();
        server.emplace();
        StartThread(Loopback());
        server->Post(WM_SERVER_NOTIFY, SERVER_CHECK_VERSION);
        Finish();
        const auto requests = service.Requests();
        ASSERT_FALSE(requests.empty());
        const Bytes expected = VersionRequest(c.sent);
        ASSERT_EQ(expected.size(), 17u + 68u);
        EXPECT_EQ(requests.back(), expected);
        // The header byte for byte: "SENT", 201, 68, 0, 68, 0.
        const Bytes header(requests.back().begin(), requests.back().begin() + 17);
        EXPECT_EQ(header, (Bytes{'S', 'E', 'N', 'T', 0xC9, 0, 68, 0, 0, 0, 0, 68, 0, 0, 0, 0, 0}));
        if (c.posted) {
            EXPECT_EQ(Posts(), std::vector<uintptr_t>{SERVER_NEW_VERSION});
            const auto stored = server->VersionReplyBytes();
            EXPECT_TRUE(std::equal(stored.begin(), stored.end(), reply.begin()));
            EXPECT_EQ(server->StoredVersionReply().text, u"Faster start, new filters");
        } else {
            EXPECT_TRUE(Posts().empty());
            EXPECT_EQ(server->StoredVersionReply().newestVersion, 0);
        }
    }
}

TEST_F(ServerThreadTest, NewerVersionWithoutMainWindowIsNotStored)
{
    service.Add({Frame(201, VersionPayload(999, u"new")), false});
    StartThread(Loopback(), false);
    server->Post(WM_SERVER_NOTIFY, SERVER_CHECK_VERSION);
    Finish();
    EXPECT_EQ(service.Connections(), 1);
    EXPECT_EQ(server->StoredVersionReply().newestVersion, 0);
    EXPECT_TRUE(Posts().empty());
}

// --- The notice ---

TEST_F(ServerThreadTest, NoticeIsStoredAndPosted)
{
    const Bytes notice = NoticePayload();
    service.Add({Frame(205, notice), false});
    StartThread(Loopback());
    server->Post(WM_SERVER_NOTIFY, SERVER_FETCH_NOTICE);
    Finish();
    ASSERT_EQ(service.Requests().size(), 1u);
    EXPECT_EQ(service.Requests()[0], (Bytes{'S', 'E', 'N', 'T', 0xCD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Posts(), std::vector<uintptr_t>{SERVER_NOTICE});
    const auto stored = server->NoticeBytes();
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), notice.begin()));
    const ServerNotice n = server->StoredNotice();
    EXPECT_EQ(n.line, u"New filters are out");
    EXPECT_EQ(n.message, u"Version 9 brings twelve new filters.");
    EXPECT_EQ(n.webAddress, u"https://zendra.example.org/news");
}

TEST_F(ServerThreadTest, NoticeReplyOfTheVersionTypeIsIgnored)
{
    service.Add({Frame(201, NoticePayload()), false});
    StartThread(Loopback());
    server->Post(WM_SERVER_NOTIFY, SERVER_FETCH_NOTICE);
    Finish();
    EXPECT_EQ(service.Connections(), 1);
    EXPECT_TRUE(Posts().empty());
    const auto stored = server->NoticeBytes();
    EXPECT_TRUE(std::all_of(stored.begin(), stored.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(ServerThreadTest, ShortNoticeIsZeroFilledAndTerminated)
{
    // A flag and a notice line that runs to the end of the payload without a terminator.
    Bytes shortNotice(11 + 20, 0);
    shortNotice[0] = 1;
    PutText(shortNotice, 11, u"ABCDEFGHIJ");
    // And one whose line fills its whole field without an end.
    Bytes fullLine(kNoticeBytes, 0);
    for (size_t i = 11; i < 139; i += 2)
        PutU16(fullLine, i, u'x');
    service.Add({Frame(205, shortNotice), false});
    service.Add({Frame(205, fullLine), false});
    StartThread(Loopback());
    server->Post(WM_SERVER_NOTIFY, SERVER_FETCH_NOTICE);
    Finish();
    EXPECT_EQ(Posts(), std::vector<uintptr_t>{SERVER_NOTICE});
    auto stored = server->NoticeBytes();
    EXPECT_TRUE(std::equal(shortNotice.begin(), shortNotice.end(), stored.begin()));
    EXPECT_TRUE(std::all_of(stored.begin() + shortNotice.size(), stored.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(server->StoredNotice().line, u"ABCDEFGHIJ");

    server.emplace();
    StartThread(Loopback());
    server->Post(WM_SERVER_NOTIFY, SERVER_FETCH_NOTICE);
    Finish();
    EXPECT_EQ(server->StoredNotice().line, std::u16string(63, u'x'));
    stored = server->NoticeBytes();
    EXPECT_EQ(stored[137], 0);
    EXPECT_EQ(stored[138], 0);
}

// --- Peers that do not keep to the frames ---

TEST_F(ServerThreadTest, HostilePeersChangeNothingAndTheThreadServesTheNextRequest)
{
    auto header = [](uint16_t type, uint32_t length) {
        Bytes b = {'S', 'E', 'N', 'T', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        PutU16(b, 4, type);
        for (int i = 0; i < 4; ++i)
            b[6 + i] = b[11 + i] = static_cast<uint8_t>(length >> (8 * i));
        return b;
    };
    auto firstBytes = [](Bytes b, size_t n) {
        b.resize(n);
        return b;
    };
    auto withBytes = [](Bytes b, size_t extra) {
        b.resize(b.size() + extra, 0x41);
        return b;
    };
    struct Case {
        const char* name;
        uintptr_t request; // SERVER_CHECK_VERSION or SERVER_FETCH_NOTICE
        Bytes reply;
        bool hold; // keeps the connection open after the reply
        long long maxMs; // the exchange ends within this
    };
    const int io = 1500;
    const Case cases[] = {
        {"version, length 0xFFFFFFFF", SERVER_CHECK_VERSION, withBytes(header(201, 0xFFFFFFFFu), 3000), true, 1000},
        {"notice, length 0xFFFFFFFF", SERVER_FETCH_NOTICE, withBytes(header(205, 0xFFFFFFFFu), 3000), true, 1000},
        {"notice, length 100000", SERVER_FETCH_NOTICE, withBytes(header(205, 100000), 20000), true, 1000},
        {"notice, one byte over the buffer", SERVER_FETCH_NOTICE, withBytes(header(205, 4080), 4080), true, 1000},
        {"version, closes after 10 bytes", SERVER_CHECK_VERSION, firstBytes(header(201, 402), 10), false, 1000},
        {"notice, closes inside the payload", SERVER_FETCH_NOTICE, withBytes(header(205, 1675), 100), false, 1000},
        {"version, never answers", SERVER_CHECK_VERSION, {}, true, io + 1500},
        {"notice, header then nothing", SERVER_FETCH_NOTICE, header(205, 1675), true, io + 1500},
        {"version, payload too short for a number", SERVER_CHECK_VERSION, withBytes(header(201, 1), 1), false, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rec.notifies.clear();
        server.emplace();
        StartThread(Loopback(io));
        service.Add({c.reply, c.hold});
        Clock::time_point start = Clock::now();
        server->Post(WM_SERVER_NOTIFY, c.request);
        // A good exchange right after it on the same thread.
        const uintptr_t next = c.request == SERVER_CHECK_VERSION ? SERVER_FETCH_NOTICE : SERVER_CHECK_VERSION;
        service.Add({next == SERVER_FETCH_NOTICE ? Frame(205, NoticePayload()) : Frame(201, VersionPayload(999, u"ok")),
            false});
        server->Post(WM_SERVER_NOTIFY, next);
        Finish();
        EXPECT_LT(MsSince(start), c.maxMs + 1500);
        EXPECT_EQ(Posts(), std::vector<uintptr_t>{next == SERVER_FETCH_NOTICE ? SERVER_NOTICE : SERVER_NEW_VERSION});
        if (c.request == SERVER_FETCH_NOTICE)
            EXPECT_TRUE(server->StoredNotice().line.empty());
        else
            EXPECT_EQ(server->StoredVersionReply().newestVersion, 0);
    }
}

TEST(ServiceFrames, ReceiveAcrossPiecesAndRefuse)
{
    Bytes frame = Frame(205, Bytes(1675, 7));
    frame.resize(frame.size() + 5, 9); // bytes after the frame are not the frame's
    struct Case {
        const char* name;
        size_t piece; // bytes per receive
        size_t available; // then the peer closes
        size_t expected; // the result
    };
    const Case cases[] = {
        {"one receive", 4096, frame.size(), frame.size()},
        {"a byte at a time", 1, frame.size(), 17 + 1675},
        {"seventeen at a time", 17, frame.size(), frame.size()},
        {"closed before the header", 7, 16, 0},
        {"closed inside the payload", 100, 1000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t at = 0;
        ServiceReceive receive = [&](uint8_t* buffer, size_t capacity, size_t& received) {
            received = std::min({c.piece, capacity, c.available - at});
            if (received == 0)
                return NetStatus::Closed;
            std::memcpy(buffer, frame.data() + at, received);
            at += received;
            return NetStatus::Ok;
        };
        ServiceFrameHeader h;
        uint8_t payload[kServiceMaxPayloadBytes];
        size_t length = 0;
        const size_t got = ReceiveServiceFrame(receive, h, payload, length);
        EXPECT_EQ(got, c.expected);
        if (c.expected) {
            EXPECT_EQ(h.type, 205);
            EXPECT_EQ(length, 1675u);
            EXPECT_TRUE(std::all_of(payload, payload + length, [](uint8_t b) { return b == 7; }));
        }
    }
    // The largest frame that fits, and one byte more.
    ServiceFrameHeader h;
    Bytes largest = Frame(201, Bytes(kServiceMaxPayloadBytes, 1));
    EXPECT_EQ(ParseServiceFrame(largest.data(), largest.size(), h), ServiceFrameState::Complete);
    Bytes over = Frame(201, Bytes(kServiceMaxPayloadBytes + 1, 1));
    EXPECT_EQ(ParseServiceFrame(over.data(), 17, h), ServiceFrameState::Refused);
    EXPECT_EQ(ParseServiceFrame(over.data(), 16, h), ServiceFrameState::NeedMore);
}

TEST(ServiceFrames, SendRefusesAPayloadLongerThanTheBuffer)
{
    TcpConnection none;
    const Bytes big(kServiceMaxPayloadBytes + 1, 0);
    EXPECT_FALSE(SendServiceFrame(201, big.data(), big.size(), none, 100));
}

// --- The main window's side ---

TEST(ServerNotify, ShownVersionInTenths)
{
    struct Case {
        uint32_t wire;
        int offsetTenths;
        int tenths;
    };
    const Case cases[] = {
        {901, 5, 85}, {840, 5, 79}, {840, 34, 50}, {855, 5, 81}, {854, 5, 80}, {1000, 5, 95}, {0, 34, -34}, {65535, 5, 6549},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShownVersionTenths(c.wire, c.offsetTenths), c.tenths) << c.wire << " " << c.offsetTenths;
}

TEST(ServerNotify, QuestionTextTakesOnlyANumberThenAText)
{
    struct Case {
        const char16_t* format;
        std::optional<std::u16string> text;
    };
    const Case cases[] = {
        {u"Zendra %.1f is available.\\n%s", u"Zendra 8.5 is available.\\nFaster"},
        {u"Zendra %.1f ist erschienen: %s", u"Zendra 8.5 ist erschienen: Faster"},
        {u"%s %.1f", std::nullopt},
        {u"%.1f", std::nullopt},
        {u"%.1f %s %s", std::nullopt},
        {u"%d %s", std::nullopt},
        {u"%.1f %n", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatNewVersionText(c.format, 901, 5, u"Faster"), c.text) << Utf16ToUtf8(c.format);
}

TEST(ServerNotify, OnlyWebAddressesAreOpened)
{
    struct Case {
        const char16_t* text;
        bool web;
    };
    const Case cases[] = {
        {u"http://zendra.example.org", true}, {u"https://zendra.example.org/news?id=3#top", true},
        {u"HTTPS://ZENDRA.EXAMPLE.ORG/", true}, {u"http", false}, {u"http://", false}, {u"https:///etc/passwd", false},
        {u"file:///etc/passwd", false}, {u"ftp://example.org/", false}, {u"javascript:alert(1)", false},
        {u"--help", false}, {u" http://x", false}, {u"http://x y", false}, {u"http://x\ny", false}, {u"", false},
        {u"http://x\u0085", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsWebAddress(c.text), c.web) << Utf16ToUtf8(c.text);

    // The opener gets the address as its one argument; anything else never reaches it.
    test::TestFolder dir;
    const std::string log = dir.Native() + "/args";
    const std::string script = dir.Native() + "/opener";
    ASSERT_TRUE(test::WriteText(dir.Path(u"opener"), "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" >> '" + log + "'\n"));
    ASSERT_EQ(std::system(("chmod +x '" + script + "'").c_str()), 0);
    SetShellOpener(script);
    EXPECT_FALSE(OpenWebAddress(u"file:///etc/passwd"));
    EXPECT_FALSE(OpenWebAddress(u"-x http://a"));
    EXPECT_TRUE(OpenWebAddress(u"https://zendra.example.org/a?b=1;c"));
    SetShellOpener("");
    EXPECT_EQ(test::ReadText(dir.Path(u"args")), "1|https://zendra.example.org/a?b=1;c|");
}

class ServerNotifyTest : public ServerThreadTest {
protected:
    static inline const char16_t* s_productPage = u"https://zendra.example.org/product";
    std::vector<std::u16string> boxes;
    std::vector<std::u16string> opened;
    int answer = 6;

    void SetUp() override
    {
        ServerThreadTest::SetUp();
        SetUiTextSource([](const char16_t* key) -> const char16_t* {
            if (std::u16string_view(key) == u"newversionfind")
                return u"Zendra %.1f is available.\\n%s\\nDo you want to visit the download page?";
            if (std::u16string_view(key) == u"productpage")
                return s_productPage;
            return key;
        });
    }
    void TearDown() override
    {
        SetUiTextSource(nullptr);
        ServerThreadTest::TearDown();
    }

    ServerNotifyContext Context(int offsetTenths)
    {
        ServerNotifyContext c;
        c.server = &*server;
        c.versionOffsetTenths = offsetTenths;
        c.hooks.messageBox = [this](const char16_t* text, int kind, int buttons) {
            EXPECT_EQ(kind, kMbInformation);
            EXPECT_EQ(buttons, kMbYesNo);
            boxes.push_back(text);
            return answer;
        };
        c.hooks.openUrl = [this](StringView16 url) {
            opened.emplace_back(url);
            return true;
        };
        return c;
    }

    void ReceiveVersion(uint16_t newest)
    {
        service.Add({Frame(201, VersionPayload(newest, u"Faster")), false});
        server.emplace();
        StartThread(Loopback());
        server->Post(WM_SERVER_NOTIFY, SERVER_CHECK_VERSION);
        Finish();
        ASSERT_EQ(Posts().size(), 1u);
    }
};

TEST_F(ServerNotifyTest, NewVersionQuestionAndAnswers)
{
    struct Case {
        const char* name;
        int answer;
        const char16_t* productPage;
        std::vector<std::u16string> opened;
        uint32_t lastCheck; // afterwards
    };
    const Case cases[] = {
        {"Yes opens the product page", 6, u"https://zendra.example.org/product", {u"https://zendra.example.org/product"},
            840},
        {"Yes with a page that is no web address", 6, u"file:///etc/passwd", {}, 840},
        {"No stores the version", 7, u"https://zendra.example.org/product", {}, 901},
        {"closed", 2, u"https://zendra.example.org/product", {}, 840},
        {"no box", -1, u"https://zendra.example.org/product", {}, 840},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(WriteRegistryDword(u"Program", u"LastCheckVersion", 840), 1);
        ReceiveVersion(901);
        boxes.clear();
        opened.clear();
        answer = c.answer;
        s_productPage = c.productPage;
        EXPECT_EQ(HandleServerNotify(SERVER_NEW_VERSION, Context(5)), 0);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], u"Zendra 8.5 is available.\\nFaster\\nDo you want to visit the download page?");
        EXPECT_EQ(opened, c.opened);
        EXPECT_EQ(ReadRegistryDword(u"Program", u"LastCheckVersion", 0, 1), c.lastCheck);
        rec.notifies.clear();
    }
    s_productPage = u"https://zendra.example.org/product";
}

TEST_F(ServerNotifyTest, UncheckedTranslationFallsBackAndNoVersionAsksNothing)
{
    // Nothing stored yet: no question.
    EXPECT_EQ(HandleServerNotify(SERVER_NEW_VERSION, Context(5)), 0);
    EXPECT_TRUE(boxes.empty());

    ReceiveVersion(1000);
    SetUiTextSource([](const char16_t* key) -> const char16_t* {
        return std::u16string_view(key) == u"newversionfind" ? u"%s %s %n" : key;
    });
    answer = 7;
    HandleServerNotify(SERVER_NEW_VERSION, Context(34));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], u"Zendra 6.6 is available.\\nFaster\\nDo you want to visit the download page?");
}

TEST_F(ServerNotifyTest, NoticeGoesToTheAlbum)
{
    service.Add({Frame(205, NoticePayload()), false});
    service.Add({Frame(205, Bytes(11, 0)), false}); // no line
    StartThread(Loopback());
    server->Post(WM_SERVER_NOTIFY, SERVER_FETCH_NOTICE);
    Finish();

    std::vector<ServerNotice> shown;
    ServerNotifyContext c = Context(5);
    // Without an album page nothing happens.
    HandleServerNotify(SERVER_NOTICE, c);
    c.album = [&](const ServerNotice& n) { shown.push_back(n); };
    HandleServerNotify(SERVER_NOTICE, c);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].line, u"New filters are out");
    EXPECT_EQ(shown[0].message, u"Version 9 brings twelve new filters.");
    EXPECT_EQ(shown[0].webAddress, u"https://zendra.example.org/news");
    EXPECT_TRUE(boxes.empty());

    // A notice without a line gives the album nothing to show.
    server.emplace();
    StartThread(Loopback());
    server->Post(WM_SERVER_NOTIFY, SERVER_FETCH_NOTICE);
    Finish();
    HandleServerNotify(SERVER_NOTICE, c);
    EXPECT_EQ(shown.size(), 1u);
}

} // namespace

TEST(ServerNotify, NoticeClickOffersOnlyWebAddresses)
{
    struct Case {
        const char16_t* address;
        int buttons;
        int answer;
        bool opened;
    };
    const Case cases[] = {
        {u"", kMbOk, 1, false},
        {u"http", kMbOk, 1, false},
        {u"https://x", kMbYesNo, 6, true},
        {u"https://x", kMbYesNo, 7, false},
        {u"https://x", kMbYesNo, -1, false},
        {u"file:///etc/passwd", kMbOk, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.address));
        ServerNotice notice;
        notice.line = u"line";
        notice.message = u"the message";
        notice.webAddress = c.address;
        std::vector<std::u16string> opened;
        int shownButtons = 0;
        ServerNotifyHooks hooks;
        hooks.messageBox = [&](const char16_t* text, int kind, int buttons) {
            EXPECT_EQ(std::u16string_view(text), u"the message");
            EXPECT_EQ(kind, kMbInformation);
            shownButtons = buttons;
            return c.answer;
        };
        hooks.openUrl = [&](StringView16 url) {
            opened.emplace_back(url);
            return true;
        };
        EXPECT_EQ(ShowNoticeMessage(notice, hooks), c.answer);
        EXPECT_EQ(shownButtons, c.buttons);
        EXPECT_EQ(opened, c.opened ? std::vector<std::u16string>{c.address} : std::vector<std::u16string>{});
    }
}
