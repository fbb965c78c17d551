#include "platform/Thread.h"

#include <cerrno>
#include <chrono>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

bool MessageQueue::Post(uint32_t id, uintptr_t wParam, intptr_t lParam)
{
    // Notified under the lock: once the message is taken, the receiver may destroy the queue,
    // and a notify after the unlock would touch freed memory.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed)
        return false;
    m_messages.push_back(ThreadMessage{id, wParam, lParam});
    m_ready.notify_one();
    return true;
}

bool MessageQueue::Get(ThreadMessage& out, uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto ready = [this] { return !m_messages.empty() || m_closed; };
    if (timeoutMs == kInfinite)
        m_ready.wait(lock, ready);
    else
        m_ready.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    if (m_messages.empty())
        return false;
    out = m_messages.front();
    m_messages.pop_front();
    return true;
}

bool MessageQueue::Peek(ThreadMessage& out, bool remove)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_messages.empty())
        return false;
    out = m_messages.front();
    if (remove)
        m_messages.pop_front();
    return true;
}

size_t MessageQueue::Size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages.size();
}

void MessageQueue::Close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
    m_ready.notify_all();
}

void MessageQueue::Reopen()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = false;
}

void MessageQueue::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.clear();
}

int NiceValue(ThreadPriority priority)
{
    switch (priority) {
    case ThreadPriority::Idle: return 19;
    case ThreadPriority::BelowNormal: return 5;
    case ThreadPriority::Normal: return 0;
    }
    return 0;
}

namespace {

bool SetThreadNice(int tid, ThreadPriority priority)
{
    // On Linux the nice value belongs to the thread when addressed by its kernel id.
    return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceValue(priority)) == 0;
}

} // namespace

bool SetCurrentThreadPriority(ThreadPriority priority)
{
    return SetThreadNice(CurrentThreadId(), priority);
}

void SleepMs(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int ProcessorCount()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0)
            return n;
    }
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

int CurrentThreadId()
{
    return static_cast<int>(syscall(SYS_gettid));
}

Thread::~Thread()
{
    // Last resort only: a derived Run may already be using destroyed members here.
    if (m_thread.joinable())
        m_thread.join();
}

bool Thread::Start()
{
    std::lock_guard<std::mutex> lock(m_startMutex);
    if (m_running.load(std::memory_order_acquire))
        return false;
    if (m_thread.joinable())
        m_thread.join(); // an earlier run has ended; its exit was signalled
    m_ended.ResetEvent();
    m_queue.Reopen();
    m_running.store(true, std::memory_order_release);
    try {
        m_thread = std::thread(&Thread::Main, this);
    } catch (const std::system_error&) {
        m_running.store(false, std::memory_order_release);
        m_ended.Set();
        return false;
    }
    return true;
}

bool Thread::Join(uint32_t timeoutMs)
{
    {
        std::lock_guard<std::mutex> lock(m_startMutex);
        if (!m_thread.joinable())
            return true;
        if (m_thread.get_id() == std::this_thread::get_id())
            return false; // a thread cannot wait for itself
    }
    // The wait holds no lock: other joins keep their own timeouts, and the thread may still
    // call in (its own Join is refused at once).
    if (!m_ended.Wait(timeoutMs))
        return false;
    std::lock_guard<std::mutex> lock(m_startMutex);
    // The run has ended; unless a new Start came in between, collect it (that takes no time).
    if (m_thread.joinable() && !m_running.load(std::memory_order_acquire))
        m_thread.join();
    return true;
}

bool Thread::SetPriority(ThreadPriority priority)
{
    m_priority.store(priority, std::memory_order_release);
    int tid = m_tid.load(std::memory_order_acquire);
    if (tid == 0)
        return true; // applied when the thread starts
    return SetThreadNice(tid, priority);
}

void Thread::Main()
{
    m_tid.store(CurrentThreadId(), std::memory_order_release);
    ThreadPriority p = m_priority.load(std::memory_order_acquire);
    if (p != ThreadPriority::Normal)
        SetThreadNice(m_tid.load(), p);

    int code = m_body ? m_body(*this) : Run();

    m_exitCode.store(code, std::memory_order_release);
    m_queue.Close();
    m_queue.Clear(); // a later Start begins with an empty queue, as a new thread would
    m_tid.store(0, std::memory_order_release);
    m_running.store(false, std::memory_order_release);
    m_ended.Set();
}

int Thread::Run()
{
    if (!InitInstance())
        return ExitInstance(0);
    ThreadMessage msg;
    while (GetMessage(msg)) {
        if (msg.id == kQuitMessage)
            return ExitInstance(static_cast<int>(msg.wParam));
        OnMessage(msg);
    }
    return ExitInstance(0);
}

} // namespace platform
