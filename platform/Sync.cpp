#include "platform/Sync.h"

#include <chrono>
#include <condition_variable>

namespace platform {

namespace {

// One lock and one condition for all events: a wait on several events must see their states
// together, and the program has only a handful of events, so the shared wake-ups cost nothing.
// Never destroyed: a thread object that is itself a static may still set or wait for its events
// while static destruction runs, after a function-local static here would be gone.
std::mutex& EventMutex()
{
    static std::mutex& m = *new std::mutex;
    return m;
}

std::condition_variable& EventCondition()
{
    static std::condition_variable& c = *new std::condition_variable;
    return c;
}

using Clock = std::chrono::steady_clock;

// Waits until ready() holds or the deadline passes; ready() runs under the lock and does the
// consuming itself.
template <typename Ready>
bool WaitUntilReady(std::unique_lock<std::mutex>& lock, uint32_t timeoutMs, Ready ready)
{
    if (timeoutMs == kInfinite) {
        EventCondition().wait(lock, ready);
        return true;
    }
    return EventCondition().wait_until(lock, Clock::now() + std::chrono::milliseconds(timeoutMs), ready);
}

} // namespace

Event::Event(Reset reset, bool initiallySet)
    : m_manual(reset == Reset::Manual), m_set(initiallySet)
{
}

void Event::Set()
{
    {
        std::lock_guard<std::mutex> lock(EventMutex());
        m_set = true;
    }
    EventCondition().notify_all();
}

void Event::ResetEvent()
{
    std::lock_guard<std::mutex> lock(EventMutex());
    m_set = false;
}

bool Event::IsSet() const
{
    std::lock_guard<std::mutex> lock(EventMutex());
    return m_set;
}

bool Event::Wait(uint32_t timeoutMs)
{
    Event* self = this;
    return WaitForEvents(std::span<Event* const>(&self, 1), false, timeoutMs) == 0;
}

int WaitForEvents(std::span<Event* const> events, bool waitAll, uint32_t timeoutMs)
{
    if (events.empty())
        return kWaitFailed;
    for (Event* e : events)
        if (!e)
            return kWaitFailed;

    int result = kWaitTimeout;
    auto ready = [&]() {
        if (waitAll) {
            for (Event* e : events)
                if (!e->m_set)
                    return false;
            for (Event* e : events)
                if (!e->m_manual)
                    e->m_set = false;
            result = 0;
            return true;
        }
        for (size_t i = 0; i < events.size(); ++i) {
            if (events[i]->m_set) {
                if (!events[i]->m_manual)
                    events[i]->m_set = false;
                result = static_cast<int>(i);
                return true;
            }
        }
        return false;
    };

    std::unique_lock<std::mutex> lock(EventMutex());
    WaitUntilReady(lock, timeoutMs, ready);
    return result;
}

} // namespace platform
