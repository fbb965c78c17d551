// Test doubles for the framework's seam: a host that records MSG_ALGORITHM posts and a pump
// that hands them to the test thread, plus small image helpers.
#pragma once

#include "algorithms/AlgorithmThread.h"
#include "algorithms/PixelAccess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <vector>

struct PostedMessage {
    CMessageSprite* listener;
    int p1, p2;
};

class RecordingHost : public CAlgorithmHost {
public:
    void PostAlgorithmMessage(CMessageSprite* listener, int p1, int p2) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pending.push_back({listener, p1, p2});
        }
        m_ready.notify_all();
    }
    bool IsRenderWindowLive() override
    {
        ++m_liveChecks;
        return m_live.load();
    }
    void RegisterWorkerExitEvent(platform::Event* e) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.insert(e);
    }
    void UnregisterWorkerExitEvent(platform::Event* e) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.erase(e);
    }

    // The UI thread's pump: takes every message posted so far.
    std::vector<PostedMessage> Pump()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<PostedMessage> out;
        out.swap(m_pending);
        return out;
    }
    // Pumps until a message with p1 arrives (or the timeout); returns everything pumped.
    std::vector<PostedMessage> PumpUntil(int p1, int timeoutMs = 10000)
    {
        std::vector<PostedMessage> all;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_ready.wait_until(lock, until, [this] { return !m_pending.empty(); });
            bool found = false;
            for (auto& m : m_pending) {
                all.push_back(m);
                found = found || m.p1 == p1;
            }
            m_pending.clear();
            if (found || std::chrono::steady_clock::now() >= until)
                return all;
        }
    }
    size_t RegisteredEvents()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events.size();
    }

    std::atomic<bool> m_live{true};
    std::atomic<int> m_liveChecks{0};

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<PostedMessage> m_pending;
    std::set<platform::Event*> m_events;
};

inline CMessageSprite* FakeListener()
{
    static int tag;
    return reinterpret_cast<CMessageSprite*>(&tag);
}

// Installs the host and listener, and runs the worker with a given number of helpers.
class WorkerScope {
public:
    explicit WorkerScope(int helpers, bool startWorker = true)
    {
        SetAlgorithmHost(&host);
        g_pAlgorithmListener.store(FakeListener());
        theAlgorithmThread.StopWorker();
        if (startWorker) {
            EXPECT_TRUE(theAlgorithmThread.StartWorker(helpers));
        }
        EXPECT_EQ(theAlgorithmThread.HelperCount(), startWorker ? helpers : 0);
    }
    ~WorkerScope()
    {
        theAlgorithmThread.StopWorker();
        g_pAlgorithmListener.store(nullptr);
        SetAlgorithmHost(nullptr);
    }
    RecordingHost host;
};

inline ImageBuffer16 MakeImage(int w, int h, uint16_t (*fn)(int x, int y, int c))
{
    ImageBuffer16 img{};
    EXPECT_TRUE(AllocImage16(img, w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                Row16(img, y)[x * 4 + c] = fn(x, y, c);
    return img;
}

inline bool SameImage(const ImageBuffer16& a, const ImageBuffer16& b)
{
    return a.width == b.width && a.height == b.height && a.data && b.data &&
           std::memcmp(a.data, b.data, PixelCount(a) * 8) == 0;
}

// Random 16-bit samples in all four channels, the same for the same seed.
inline ImageBuffer16 Noise(int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    ImageBuffer16 img{};
    EXPECT_TRUE(AllocImage16(img, w, h));
    for (size_t i = 0; i < PixelCount(img) * 4; ++i)
        Pixels16(img)[i] = static_cast<uint16_t>(rng());
    return img;
}

// Owns an image for the length of a test.
struct ScopedImage {
    ImageBuffer16 img{};
    ScopedImage() = default;
    explicit ScopedImage(ImageBuffer16 i) : img(i) {}
    ~ScopedImage() { FreeImageBuffer(img); }
    ScopedImage(const ScopedImage&) = delete;
    ImageBuffer16* operator->() { return &img; }
    ImageBuffer16& operator*() { return img; }
};
