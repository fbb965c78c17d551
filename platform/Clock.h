// The millisecond tick clock: milliseconds since the system started, like the Windows tick count.
// Tests replace the source so that timers and timeouts that read it run on their own time.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

class TickSource {
public:
    virtual ~TickSource() = default;
    virtual uint64_t NowMs() = 0;
};

// Milliseconds since start, 64-bit: never wraps.
uint64_t GetTickCount64();
// The low 32 bits of the same count; wraps after about 49.7 days as the original's clock did,
// so elapsed times must be taken as unsigned differences.
uint32_t GetTickCount32();
// Elapsed milliseconds since a 32-bit tick, correct across one wrap.
inline uint32_t TicksSince(uint32_t start) { return GetTickCount32() - start; }

// nullptr restores the system clock. The source must outlive its installation.
void SetTickSource(TickSource* source);
// True while a replaced source is installed (its time moves without waking anybody).
bool TickSourceReplaced();

// A clock that moves only when told to.
class ManualTickSource final : public TickSource {
public:
    explicit ManualTickSource(uint64_t startMs = 0) : m_now(startMs) {}
    uint64_t NowMs() override { return m_now.load(std::memory_order_acquire); }
    void Set(uint64_t ms) { m_now.store(ms, std::memory_order_release); }
    void Advance(uint64_t ms) { m_now.fetch_add(ms, std::memory_order_acq_rel); }

private:
    std::atomic<uint64_t> m_now;
};

// Installs a source for the lifetime of the object and restores the previous one after.
class ScopedTickSource {
public:
    explicit ScopedTickSource(TickSource& source);
    ~ScopedTickSource();
    ScopedTickSource(const ScopedTickSource&) = delete;
    ScopedTickSource& operator=(const ScopedTickSource&) = delete;

private:
    TickSource* m_previous;
};

} // namespace platform
