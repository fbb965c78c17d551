#include "app/ServerThread.h"

#include "ui/Registry.h"
#include "platform/Window.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

using platform::NetStatus;
using platform::String16;
using platform::TcpConnection;

CServerThread theServerThread;

namespace {

const auto kProcessStart = std::chrono::steady_clock::now();

// The property the collector files the hits under.
constexpr char kPropertyId[] = "UA-58204173-2";
constexpr char kProductName[] = "Zendra";
constexpr uint32_t kClientNumber = 555;
// The version request's free text field; the local service may log it.
constexpr char kRequestText[] = "Zendra for Linux";

// Process-wide, as the collector expects one client per run.
std::atomic<uint32_t> g_clientNumber{0};

void PutU16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// A UTF-16LE text of at most `units` code units starting at `offset`, up to its first zero.
String16 ReadText(const uint8_t* bytes, size_t offset, size_t units)
{
    String16 text;
    for (size_t i = 0; i < units; ++i) {
        char16_t c = GetU16(bytes + offset + 2 * i);
        if (c == 0)
            break;
        text.push_back(c);
    }
    return text;
}

// Clears the last code unit of a text field, so that a reader always finds an end inside it.
void Terminate(uint8_t* bytes, size_t fieldOffset, size_t fieldBytes)
{
    bytes[fieldOffset + fieldBytes - 2] = 0;
    bytes[fieldOffset + fieldBytes - 1] = 0;
}

// Encodes blanks as %20, as the collector wants the category.
std::string EncodeBlanks(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == ' ')
            out += "%20";
        else
            out += c;
    }
    return out;
}

} // namespace

// --- Frames ---

void EncodeServiceFrameHeader(uint16_t type, uint32_t length, uint8_t (&out)[kServiceFrameHeaderBytes])
{
    std::memcpy(out, "SENT", 4);
    PutU16(out + 4, type);
    PutU32(out + 6, length);
    out[10] = 0;
    PutU32(out + 11, length);
    PutU16(out + 15, 0);
}

ServiceFrameHeader DecodeServiceFrameHeader(const uint8_t* bytes)
{
    ServiceFrameHeader h;
    std::memcpy(h.magic, bytes, 4);
    h.type = GetU16(bytes + 4);
    h.length = GetU32(bytes + 6);
    h.zero1 = bytes[10];
    h.length2 = GetU32(bytes + 11);
    h.zero2 = GetU16(bytes + 15);
    return h;
}

ServiceFrameState ParseServiceFrame(const uint8_t* data, size_t size, ServiceFrameHeader& header)
{
    if (size < kServiceFrameHeaderBytes)
        return ServiceFrameState::NeedMore;
    header = DecodeServiceFrameHeader(data);
    // The peer's length never sizes a copy: a frame must fit the one buffer.
    if (header.length > kServiceMaxPayloadBytes)
        return ServiceFrameState::Refused;
    if (size - kServiceFrameHeaderBytes < header.length)
        return ServiceFrameState::NeedMore;
    return ServiceFrameState::Complete;
}

size_t ReceiveServiceFrame(const ServiceReceive& receive, ServiceFrameHeader& header, uint8_t* payload,
                           size_t& payloadLength)
{
    payloadLength = 0;
    uint8_t buffer[kServiceFrameBufferBytes];
    size_t have = 0;
    // A whole frame always fits, so the buffer cannot fill before the frame is complete.
    while (have < sizeof(buffer)) {
        size_t got = 0;
        if (receive(buffer + have, sizeof(buffer) - have, got) != NetStatus::Ok || got == 0 ||
            got > sizeof(buffer) - have)
            return 0;
        have += got;
        switch (ParseServiceFrame(buffer, have, header)) {
        case ServiceFrameState::NeedMore:
            continue;
        case ServiceFrameState::Refused:
            return 0;
        case ServiceFrameState::Complete:
            std::memcpy(payload, buffer + kServiceFrameHeaderBytes, header.length);
            payloadLength = header.length;
            return have;
        }
    }
    return 0;
}

size_t ReceiveServiceFrame(TcpConnection& socket, int timeoutMs, ServiceFrameHeader& header, uint8_t* payload,
                           size_t& payloadLength)
{
    // One time limit for the whole frame: a peer that sends a byte now and then cannot hold on.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    ServiceReceive receive = [&](uint8_t* buffer, size_t capacity, size_t& received) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return NetStatus::TimedOut;
        return socket.Receive(buffer, capacity, received, static_cast<int>(left));
    };
    return ReceiveServiceFrame(receive, header, payload, payloadLength);
}

bool SendServiceFrame(uint16_t type, const uint8_t* payload, size_t length, TcpConnection& socket, int timeoutMs)
{
    if (length > kServiceMaxPayloadBytes || (length > 0 && !payload))
        return false;
    uint8_t frame[kServiceFrameBufferBytes];
    uint8_t header[kServiceFrameHeaderBytes];
    EncodeServiceFrameHeader(type, static_cast<uint32_t>(length), header);
    std::memcpy(frame, header, sizeof(header));
    if (length > 0)
        std::memcpy(frame + sizeof(header), payload, length);
    return socket.SendAll(frame, sizeof(header) + length, timeoutMs) == NetStatus::Ok;
}

VersionReply DecodeVersionReply(const std::array<uint8_t, kVersionReplyBytes>& bytes)
{
    VersionReply reply;
    reply.newestVersion = GetU16(bytes.data());
    reply.text = ReadText(bytes.data(), 2, (kVersionReplyBytes - 2) / 2);
    return reply;
}

namespace {

constexpr size_t kNoticeLineOffset = 11, kNoticeLineBytes = 128;
constexpr size_t kNoticeMessageOffset = 139, kNoticeMessageBytes = 1024;
constexpr size_t kNoticeAddressOffset = 1163, kNoticeAddressBytes = 512;
static_assert(kNoticeAddressOffset + kNoticeAddressBytes == kNoticeBytes);
static_assert(kNoticeMessageOffset + kNoticeMessageBytes == kNoticeAddressOffset);
static_assert(kNoticeLineOffset + kNoticeLineBytes == kNoticeMessageOffset);

} // namespace

void StoreVersionReply(const uint8_t* payload, size_t length, std::array<uint8_t, kVersionReplyBytes>& out)
{
    out.fill(0);
    if (payload)
        std::memcpy(out.data(), payload, std::min(length, kVersionReplyBytes));
    Terminate(out.data(), 2, kVersionReplyBytes - 2);
}

void StoreNotice(const uint8_t* payload, size_t length, std::array<uint8_t, kNoticeBytes>& out)
{
    out.fill(0);
    if (payload)
        std::memcpy(out.data(), payload, std::min(length, kNoticeBytes));
    Terminate(out.data(), kNoticeLineOffset, kNoticeLineBytes);
    Terminate(out.data(), kNoticeMessageOffset, kNoticeMessageBytes);
    Terminate(out.data(), kNoticeAddressOffset, kNoticeAddressBytes);
}

ServerNotice DecodeNotice(const std::array<uint8_t, kNoticeBytes>& bytes)
{
    ServerNotice notice;
    notice.flag = bytes[0];
    notice.line = ReadText(bytes.data(), kNoticeLineOffset, kNoticeLineBytes / 2);
    notice.message = ReadText(bytes.data(), kNoticeMessageOffset, kNoticeMessageBytes / 2);
    notice.webAddress = ReadText(bytes.data(), kNoticeAddressOffset, kNoticeAddressBytes / 2);
    return notice;
}

// --- Usage events ---

std::optional<std::string> HttpGet(const std::string& url, int timeoutMs, const platform::NetCancel* cancel)
{
    platform::HttpReply reply;
    if (!platform::HttpGet(url, timeoutMs, reply, cancel))
        return std::nullopt;
    return std::move(reply.body);
}

std::string FormatEventUrl(const std::string& collectorHost, const AnalyticsEvent& event, uint32_t clientNumber,
                           uint32_t z)
{
    std::string url = "http://" + collectorHost + "/collect?v=1&tid=" + kPropertyId;
    url += "&cid=" + std::to_string(clientNumber);
    url += "&t=event&ec=" + EncodeBlanks(kProductName);
    url += "&ea=" + platform::Utf16ToUtf8(platform::BufferView(event.action));
    url += "&el=" + platform::Utf16ToUtf8(platform::BufferView(event.label));
    url += "&ev=" + std::to_string(event.value);
    url += "&z=" + std::to_string(z);
    return url;
}

uint32_t CacheBreaker()
{
    const auto seconds = static_cast<uint64_t>(std::time(nullptr));
    const auto ms = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - kProcessStart)
            .count());
    return static_cast<uint32_t>((seconds % 100000) * 100 + (ms % 1000) / 10);
}

ServerSettings ReadServerSettings()
{
    ServerSettings s;
    char16_t text[256] = {};
    if (ReadRegistryString(u"Server", u"CollectorHost", nullptr, text, 256, 0) && text[0])
        s.collectorHost = platform::Utf16ToUtf8(platform::BufferView(text));
    text[0] = 0;
    if (ReadRegistryString(u"Server", u"ServiceHost", nullptr, text, 256, 0) && text[0])
        s.serviceHost = platform::Utf16ToUtf8(platform::BufferView(text));
    uint32_t port = ReadRegistryDword(u"Server", u"ServicePort", s.servicePort, 0);
    if (port >= 1 && port <= 65535)
        s.servicePort = static_cast<uint16_t>(port);
    return s;
}

// --- The thread ---

CServerThread::CServerThread() = default;

CServerThread::~CServerThread() { Stop(); }

void CServerThread::Settle(const std::atomic<int32_t>& editionFlag)
{
    Settle(editionFlag, ReadServerSettings());
}

void CServerThread::Settle(const std::atomic<int32_t>& editionFlag, const ServerSettings& settings)
{
    if (IsRunning())
        return;
    m_editionFlag.store(&editionFlag, std::memory_order_release);
    m_settings = settings;
    // Settled here, on the caller's thread, before any event can be queued.
    int enabled = editionFlag.load(std::memory_order_acquire) == 0 ? 1 : 0;
    enabled = static_cast<int>(ReadRegistryDword(u"", u"AllowUpgrade", static_cast<uint32_t>(enabled), 0));
    m_enabled.store(enabled, std::memory_order_release);
}

bool CServerThread::Start()
{
    if (IsRunning() || !m_editionFlag.load(std::memory_order_acquire))
        return false;
    m_cancel.Reset();
    return Thread::Start();
}

bool CServerThread::Start(const std::atomic<int32_t>& editionFlag)
{
    return Start(editionFlag, ReadServerSettings());
}

bool CServerThread::Start(const std::atomic<int32_t>& editionFlag, const ServerSettings& settings)
{
    if (IsRunning())
        return false;
    Settle(editionFlag, settings);
    return Start();
}

bool CServerThread::Stop(uint32_t graceMs, uint32_t limitMs)
{
    if (IsRunning())
        PostQuit();
    if (Join(graceMs))
        return true;
    // What is left is not worth a longer wait: every network wait ends at once from here on.
    m_cancel.Cancel();
    return Join(limitMs);
}

void CServerThread::SetMainWindow(std::shared_ptr<platform::WindowPoster> poster)
{
    std::lock_guard<std::mutex> lock(m_windowLock);
    m_mainWindow = std::move(poster);
}

bool CServerThread::PostToMainWindow(uintptr_t code)
{
    std::shared_ptr<platform::WindowPoster> window;
    {
        std::lock_guard<std::mutex> lock(m_windowLock);
        window = m_mainWindow;
    }
    return window && window->PostMessage(WM_SERVER_NOTIFY, code, 0);
}

void CServerThread::QueueEvent(const char16_t* label, int32_t value)
{
    AnalyticsEvent event;
    platform::CopyText(event.action, u"Register");
    platform::CopyText(event.label, label ? platform::StringView16(label) : platform::StringView16());
    event.value = value;
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_events.push_back(event);
    }
    if (Enabled())
        Post(WM_SERVER_NOTIFY, SERVER_SEND_EVENTS, 0);
}

size_t CServerThread::QueuedEventCount() const
{
    std::lock_guard<std::mutex> lock(m_queueLock);
    return m_events.size();
}

bool CServerThread::PopEvent(AnalyticsEvent& out)
{
    std::lock_guard<std::mutex> lock(m_queueLock);
    if (m_events.empty())
        return false;
    out = m_events.front();
    m_events.pop_front();
    return true;
}

std::array<uint8_t, kVersionReplyBytes> CServerThread::VersionReplyBytes() const
{
    std::lock_guard<std::mutex> lock(m_replyLock);
    return m_versionReply;
}

std::array<uint8_t, kNoticeBytes> CServerThread::NoticeBytes() const
{
    std::lock_guard<std::mutex> lock(m_replyLock);
    return m_notice;
}

void CServerThread::OnMessage(const platform::ThreadMessage& message)
{
    if (message.id == WM_SERVER_NOTIFY)
        OnServerMessage(message.wParam, message.lParam);
}

void CServerThread::OnServerMessage(uintptr_t wParam, intptr_t)
{
    if (!Enabled())
        return;
    switch (wParam) {
    case SERVER_CHECK_VERSION:
        CheckForNewVersion();
        break;
    case SERVER_FETCH_NOTICE:
        FetchNotice();
        break;
    case SERVER_SEND_EVENTS:
        SendQueuedEvents();
        break;
    default:
        break;
    }
}

void CServerThread::SendQueuedEvents()
{
    const std::atomic<int32_t>* flag = m_editionFlag.load(std::memory_order_acquire);
    if (flag && flag->load(std::memory_order_acquire) != 0)
        return; // the events stay queued
    uint32_t expected = 0;
    g_clientNumber.compare_exchange_strong(expected, kClientNumber);
    const uint32_t client = g_clientNumber.load();
    AnalyticsEvent event;
    while (PopEvent(event)) {
        // The reply means nothing to the program.
        HttpGet(FormatEventUrl(m_settings.collectorHost, event, client, CacheBreaker()), m_settings.httpTimeoutMs,
                &m_cancel);
    }
}

bool CServerThread::Exchange(uint16_t type, const uint8_t* request, size_t requestLength, ServiceFrameHeader& header,
                             uint8_t* payload, size_t& payloadLength)
{
    // One connection per exchange, closed when it is over.
    TcpConnection socket;
    socket.SetCancel(&m_cancel);
    return socket.Connect(m_settings.serviceHost, m_settings.servicePort, m_settings.connectTimeoutMs) ==
               NetStatus::Ok &&
           SendServiceFrame(type, request, requestLength, socket, m_settings.ioTimeoutMs) &&
           ReceiveServiceFrame(socket, m_settings.ioTimeoutMs, header, payload, payloadLength) != 0;
}

void CServerThread::CheckForNewVersion()
{
    // The wire holds 16 bits.
    const uint32_t lastCheck = ReadRegistryDword(u"Program", u"LastCheckVersion", kMinimumCheckVersion, 1);
    const uint16_t current = static_cast<uint16_t>(std::min<uint32_t>(std::max(kMinimumCheckVersion, lastCheck), 65535));
    uint8_t request[kVersionRequestBytes] = {};
    PutU16(request, kProductNumber);
    PutU16(request + 2, current);
    std::memcpy(request + 4, kRequestText, sizeof(kRequestText) - 1);
    ServiceFrameHeader header;
    uint8_t payload[kServiceMaxPayloadBytes];
    size_t length = 0;
    if (!Exchange(kServiceTypeVersion, request, sizeof(request), header, payload, length))
        return;
    if (header.type != kServiceTypeVersion || length < 2 || GetU16(payload) <= current)
        return;
    {
        std::lock_guard<std::mutex> lock(m_windowLock);
        if (!m_mainWindow)
            return;
    }
    {
        std::lock_guard<std::mutex> lock(m_replyLock);
        StoreVersionReply(payload, length, m_versionReply);
    }
    PostToMainWindow(SERVER_NEW_VERSION);
}

void CServerThread::FetchNotice()
{
    ServiceFrameHeader header;
    uint8_t payload[kServiceMaxPayloadBytes];
    size_t length = 0;
    if (!Exchange(kServiceTypeNotice, nullptr, 0, header, payload, length))
        return;
    if (header.type != kServiceTypeNotice)
        return;
    {
        std::lock_guard<std::mutex> lock(m_replyLock);
        StoreNotice(payload, length, m_notice);
    }
    PostToMainWindow(SERVER_NOTICE);
}
