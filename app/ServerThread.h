// The program's network work, done off the UI thread: usage events sent as hits to the
// web-analytics collector, and the version check and notice of the local update service. Every
// network failure is silent; every network call has a time limit, so a peer that never answers
// holds the thread for a few seconds at most.
#pragma once

#include "platform/Net.h"
#include "platform/Text.h"
#include "platform/Thread.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace platform {
class WindowPoster;
}

// Thread message to the server thread, and window message from it to the main window.
inline constexpr uint32_t WM_SERVER_NOTIFY = 0xC28;
// wParam to the thread.
inline constexpr uintptr_t SERVER_CHECK_VERSION = 201;
inline constexpr uintptr_t SERVER_FETCH_NOTICE = 205;
inline constexpr uintptr_t SERVER_SEND_EVENTS = 206;
// wParam to the main window.
inline constexpr uintptr_t SERVER_NEW_VERSION = 0;
inline constexpr uintptr_t SERVER_NOTICE = 1;

struct AnalyticsEvent {
    char16_t action[32] = {};
    char16_t label[32] = {};
    int32_t value = 0;
};

// --- The local service's frames ---

inline constexpr size_t kServiceFrameHeaderBytes = 17;
// One frame, header and payload, fits this buffer; a longer one is refused.
inline constexpr size_t kServiceFrameBufferBytes = 4096;
inline constexpr size_t kServiceMaxPayloadBytes = kServiceFrameBufferBytes - kServiceFrameHeaderBytes;
inline constexpr uint16_t kServiceTypeVersion = 201;
inline constexpr uint16_t kServiceTypeNotice = 205;
inline constexpr size_t kVersionRequestBytes = 68;
inline constexpr size_t kVersionReplyBytes = 402;
inline constexpr size_t kNoticeBytes = 1675;
inline constexpr uint16_t kProductNumber = 356;
// The version this build reports when the user has not declined a newer one.
inline constexpr uint32_t kMinimumCheckVersion = 840;

// 17 bytes on the wire, little-endian: "SENT", type, length, 0, length again, 0.
struct ServiceFrameHeader {
    uint8_t magic[4] = {'S', 'E', 'N', 'T'};
    uint16_t type = 0;
    uint32_t length = 0;
    uint8_t zero1 = 0;
    uint32_t length2 = 0;
    uint16_t zero2 = 0;
};

void EncodeServiceFrameHeader(uint16_t type, uint32_t length, uint8_t (&out)[kServiceFrameHeaderBytes]);
ServiceFrameHeader DecodeServiceFrameHeader(const uint8_t* bytes); // reads 17 bytes

enum class ServiceFrameState {
    NeedMore, // the header or the payload is not all there yet
    Complete, // 17 + length bytes are there (more may follow; they are ignored)
    Refused, // the length does not fit the buffer
};

// Looks at the bytes received so far. Only the first length field decides, as for the peers
// the program talks to; the header is filled once 17 bytes are there.
ServiceFrameState ParseServiceFrame(const uint8_t* data, size_t size, ServiceFrameHeader& header);

// Takes what has arrived, at most `capacity` bytes, as TcpConnection::Receive does.
using ServiceReceive = std::function<platform::NetStatus(uint8_t* buffer, size_t capacity, size_t& received)>;

// Receives one frame: the header, and the payload copied into `payload` (room for
// kServiceMaxPayloadBytes) with its length. Returns the number of bytes received (at least
// 17 + length), or 0 when no whole frame came: the peer closed, a receive failed or timed out,
// or the length was refused.
size_t ReceiveServiceFrame(const ServiceReceive& receive, ServiceFrameHeader& header, uint8_t* payload,
                           size_t& payloadLength);
// The same on a connection; `timeoutMs` bounds the whole frame, not each receive.
size_t ReceiveServiceFrame(platform::TcpConnection& socket, int timeoutMs, ServiceFrameHeader& header,
                           uint8_t* payload, size_t& payloadLength);
// Header and payload in one send; false when the payload is longer than kServiceMaxPayloadBytes
// or the send fails.
bool SendServiceFrame(uint16_t type, const uint8_t* payload, size_t length, platform::TcpConnection& socket,
                      int timeoutMs);

// The stored replies as the main window and the album read them. Texts end at their first zero
// or at the end of their field.
struct VersionReply {
    uint16_t newestVersion = 0;
    platform::String16 text;
};
VersionReply DecodeVersionReply(const std::array<uint8_t, kVersionReplyBytes>& bytes);

// Keep a reply's payload as its record: at most the record's size, the rest zero, and every text
// ending inside its field (a peer's text may lack its terminator).
void StoreVersionReply(const uint8_t* payload, size_t length, std::array<uint8_t, kVersionReplyBytes>& out);

struct ServerNotice {
    uint8_t flag = 0;
    platform::String16 line; // the notice line shown as a link
    platform::String16 message; // shown when the link is clicked
    platform::String16 webAddress; // offered for opening when longer than 4 characters
};
ServerNotice DecodeNotice(const std::array<uint8_t, kNoticeBytes>& bytes);
void StoreNotice(const uint8_t* payload, size_t length, std::array<uint8_t, kNoticeBytes>& out);

// --- Usage events ---

// The reply of a GET (at most 65535 bytes), or nothing on any failure or a cancel.
std::optional<std::string> HttpGet(const std::string& url, int timeoutMs, const platform::NetCancel* cancel = nullptr);

// The hit of one event: http://<host>/collect?v=1&tid=...&cid=...&t=event&ec=...&ea=...&el=...
// &ev=...&z=... The label is not encoded (the program's labels are plain words).
std::string FormatEventUrl(const std::string& collectorHost, const AnalyticsEvent& event, uint32_t clientNumber,
                           uint32_t z);
// (seconds since 1970 mod 100000) x 100 + (milliseconds since the process started mod 1000) / 10:
// differs from hit to hit so that no cache answers.
uint32_t CacheBreaker();

// Where the server thread connects, and how long it waits. Read from the installation's
// settings (ReadServerSettings); tests build their own.
struct ServerSettings {
    std::string collectorHost = "collect.zendra.example.org"; // may carry ":port"
    std::string serviceHost = "localhost";
    uint16_t servicePort = 1480;
    int connectTimeoutMs = 3000; // each connection
    int ioTimeoutMs = 3000; // a whole send, a whole received frame
    int httpTimeoutMs = 5000; // a whole hit
};

// Server\CollectorHost, Server\ServiceHost, Server\ServicePort of the installation's settings,
// the defaults above for what is missing (a port outside 1..65535 keeps the default).
ServerSettings ReadServerSettings();

class CServerThread : public platform::Thread {
public:
    CServerThread();
    ~CServerThread() override;

    // On the UI thread, once, before the first event: decides `enabled` (1 when the edition flag
    // is 0, else 0; the installation's AllowUpgrade overrides it) so that it is settled before
    // anything is queued. Nothing runs yet: what is queued waits for Start. The flag is read
    // again before events are sent and must outlive the thread.
    void Settle(const std::atomic<int32_t>& editionFlag);
    void Settle(const std::atomic<int32_t>& editionFlag, const ServerSettings& settings);
    // Starts the settled thread; false when it is running already or cannot be started.
    bool Start();
    // Settle, then Start.
    bool Start(const std::atomic<int32_t>& editionFlag);
    bool Start(const std::atomic<int32_t>& editionFlag, const ServerSettings& settings);
    // Ends the thread after what is queued for it, waiting at most graceMs for that; then every
    // network wait of the thread is cancelled (what is still queued fails at once) and the end
    // is waited for at most limitMs more (the name lookup included: a lookup still running is
    // left to finish alone). false when the thread still runs after both. The program calls it
    // before main returns, so that the thread never runs while the settings stores it reads are
    // destroyed; the destructor does the same, without limits, as a last resort.
    bool Stop(uint32_t graceMs = platform::kInfinite, uint32_t limitMs = platform::kInfinite);

    // The main window's posting handle (Window::Poster()); null (the default) means no main
    // window: nothing is stored or posted for it. Any thread.
    void SetMainWindow(std::shared_ptr<platform::WindowPoster> poster);

    int Enabled() const { return m_enabled.load(std::memory_order_acquire); }

    // UI thread: queues {"Register", label (at most 31 characters), value} and, when enabled,
    // asks the thread to send it.
    void QueueEvent(const char16_t* label, int32_t value);
    size_t QueuedEventCount() const;

    // Copies of the stored replies; the UI thread reads them after the thread's post.
    std::array<uint8_t, kVersionReplyBytes> VersionReplyBytes() const;
    std::array<uint8_t, kNoticeBytes> NoticeBytes() const;
    VersionReply StoredVersionReply() const { return DecodeVersionReply(VersionReplyBytes()); }
    ServerNotice StoredNotice() const { return DecodeNotice(NoticeBytes()); }

    // The thread-message handler: nothing while disabled; 201, 205, 206 run the exchanges below.
    void OnServerMessage(uintptr_t wParam, intptr_t lParam);
    void SendQueuedEvents();
    void CheckForNewVersion();
    void FetchNotice();

protected:
    void OnMessage(const platform::ThreadMessage& message) override;

private:
    bool PostToMainWindow(uintptr_t code);
    bool PopEvent(AnalyticsEvent& out);
    // Connects to the service, sends one frame and receives the answer; false when any of it fails.
    bool Exchange(uint16_t type, const uint8_t* request, size_t requestLength, ServiceFrameHeader& header,
                  uint8_t* payload, size_t& payloadLength);

    std::atomic<int> m_enabled{0};
    std::atomic<const std::atomic<int32_t>*> m_editionFlag{nullptr};
    ServerSettings m_settings; // set before the thread starts, then only read by it
    platform::NetCancel m_cancel; // Stop's end of every network wait

    mutable std::mutex m_queueLock; // each push and pop; never held during a network call
    std::deque<AnalyticsEvent> m_events;

    mutable std::mutex m_replyLock;
    std::array<uint8_t, kVersionReplyBytes> m_versionReply{};
    std::array<uint8_t, kNoticeBytes> m_notice{};

    mutable std::mutex m_windowLock;
    std::shared_ptr<platform::WindowPoster> m_mainWindow;
};

extern CServerThread theServerThread;
