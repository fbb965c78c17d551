#include "platform/Clock.h"

#include <ctime>

namespace platform {

namespace {

std::atomic<TickSource*> g_source{nullptr};

uint64_t SystemNowMs()
{
    timespec ts{};
    // CLOCK_BOOTTIME keeps counting through suspend, as the tick count does.
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0)
        clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

} // namespace

uint64_t GetTickCount64()
{
    TickSource* s = g_source.load(std::memory_order_acquire);
    return s ? s->NowMs() : SystemNowMs();
}

uint32_t GetTickCount32()
{
    return static_cast<uint32_t>(GetTickCount64());
}

bool TickSourceReplaced()
{
    return g_source.load(std::memory_order_acquire) != nullptr;
}

void SetTickSource(TickSource* source)
{
    g_source.store(source, std::memory_order_release);
}

ScopedTickSource::ScopedTickSource(TickSource& source)
    : m_previous(g_source.exchange(&source, std::memory_order_acq_rel))
{
}

ScopedTickSource::~ScopedTickSource()
{
    g_source.store(m_previous, std::memory_order_release);
}

} // namespace platform
