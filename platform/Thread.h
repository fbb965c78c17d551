// Threads with a message queue of their own, in the way the program's worker threads expect:
// any thread posts (message id, two pointer-sized parameters); the owner gets messages with a
// wait or peeks at them.
#pragma once

#include "platform/Sync.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

struct ThreadMessage {
    uint32_t id = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// Ends the default message loop of a Thread.
constexpr uint32_t kQuitMessage = 0x0012;

// A first-in, first-out queue that any thread posts to. Messages from one poster keep their order.
class MessageQueue {
public:
    MessageQueue() = default;
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // false once the queue is closed.
    bool Post(uint32_t id, uintptr_t wParam = 0, intptr_t lParam = 0);
    // Waits up to timeoutMs for a message; false on timeout, or when the queue is closed and empty.
    bool Get(ThreadMessage& out, uint32_t timeoutMs = kInfinite);
    // Looks without waiting; with remove, takes the message out.
    bool Peek(ThreadMessage& out, bool remove = true);
    size_t Size() const;
    // Refuses further posts and wakes the waiters; messages already queued can still be taken.
    void Close();
    // Accepts posts again (a thread object started a second time).
    void Reopen();
    // Drops everything queued.
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<ThreadMessage> m_messages;
    bool m_closed = false;
};

enum class ThreadPriority { Idle, BelowNormal, Normal };

// The nice value used for each priority.
int NiceValue(ThreadPriority priority);

// Sets the calling thread's priority; false when the system refuses (raising it back needs
// rights an ordinary user may not have). Callers treat false as harmless.
bool SetCurrentThreadPriority(ThreadPriority priority);

void SleepMs(uint32_t ms);

// Processors this process may run on; at least 1.
int ProcessorCount();

// Kernel id of the calling thread.
int CurrentThreadId();

// A thread with a message queue. Either give it a body, or derive and override Run (or, for the
// default loop, InitInstance / OnMessage / ExitInstance).
//
// The queue exists from construction, so messages posted before Start wait for the thread.
// A derived class must Join in its own destructor: the base destructor runs after the derived
// members are gone, so it can only join as a last resort.
class Thread {
public:
    using Body = std::function<int(Thread&)>;

    Thread() = default;
    explicit Thread(Body body) : m_body(std::move(body)) {}
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // false when the thread is already running or cannot be created.
    bool Start();
    // Waits for the thread to end; false on timeout (the thread still runs).
    bool Join(uint32_t timeoutMs = kInfinite);
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }
    // The value Run returned; valid after Join.
    int ExitCode() const { return m_exitCode.load(std::memory_order_acquire); }

    bool Post(uint32_t id, uintptr_t wParam = 0, intptr_t lParam = 0) { return m_queue.Post(id, wParam, lParam); }
    bool PostQuit(int exitCode = 0) { return m_queue.Post(kQuitMessage, static_cast<uintptr_t>(exitCode), 0); }

    // For the thread itself.
    bool GetMessage(ThreadMessage& out, uint32_t timeoutMs = kInfinite) { return m_queue.Get(out, timeoutMs); }
    bool PeekMessage(ThreadMessage& out, bool remove = true) { return m_queue.Peek(out, remove); }
    MessageQueue& Queue() { return m_queue; }

    // Applies now when running, else when the thread starts. false when the system refused;
    // the thread goes on at its old priority.
    bool SetPriority(ThreadPriority priority);
    ThreadPriority Priority() const { return m_priority.load(std::memory_order_acquire); }

    // Kernel id of the thread, 0 before it runs.
    int ThreadId() const { return m_tid.load(std::memory_order_acquire); }

    // Set when the thread has ended (manual reset); others may wait on it with other events.
    Event& EndedEvent() { return m_ended; }

protected:
    // The thread's whole life. The default runs InitInstance, then the message loop
    // (OnMessage for each message until kQuitMessage), then ExitInstance.
    virtual int Run();
    virtual bool InitInstance() { return true; }
    virtual void OnMessage(const ThreadMessage&) {}
    virtual int ExitInstance(int exitCode) { return exitCode; }

private:
    void Main();

    Body m_body;
    MessageQueue m_queue;
    std::thread m_thread;
    std::mutex m_startMutex;
    Event m_ended{Event::Reset::Manual, false};
    std::atomic<bool> m_running{false};
    std::atomic<int> m_exitCode{0};
    std::atomic<int> m_tid{0};
    std::atomic<ThreadPriority> m_priority{ThreadPriority::Normal};
};

} // namespace platform
