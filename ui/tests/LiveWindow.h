// A render window on a private X server through the SDL backend, with the real render thread:
// what the tests of the toolkit's threads run on. The test's thread is the UI thread; input is
// handed to the window as the platform would hand it (CRenderWindow::OnEvent), while the render
// thread updates, composes and presents on its own clock. A watchdog ends the process when a
// test hangs (a deadlock between the two threads).
#pragma once

#include "platform/Clock.h"
#include "platform/tests/TestXServer.h"
#include "ui/DrawnUiImages.h"
#include "ui/RenderWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

namespace live {

// One X server for the process: SDL keeps its connection for the life of the process, so the
// server goes only at the process's end.
inline const std::string& Display()
{
    static testx::XServer server;
    static const std::string name = server.Start("1024x768x24") ? server.Name() : std::string();
    return name;
}

// Fails the test and ends the process when `Done` is not called within the limit: a deadlock
// leaves no other way out.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit, const char* what) : m_what(what)
    {
        m_thread = std::thread([this, limit] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
                std::fprintf(stderr, "watchdog: %s did not finish within %lld s (a hang)\n", m_what,
                             static_cast<long long>(limit.count()));
                std::fflush(stderr);
                _exit(3);
            }
        });
    }
    ~Watchdog() { Done(); }
    void Done()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    const char* m_what;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

struct Window {
    std::unique_ptr<CRenderWindow> window;
    bool opened = false;

    explicit Window(int width = 640, int height = 480, CRenderWindow* custom = nullptr)
    {
        window.reset(custom ? custom : new CRenderWindow);
        if (Display().empty())
            return;
        setenv("DISPLAY", Display().c_str(), 1);
        setenv("ZENDRA_DPI", "96", 1);
        SetUiImageSource(&DrawnUiImage);
        ResetSharedUiImages();
        RenderWindowOptions o;
        o.backend = platform::BackendKind::Sdl;
        o.window.width = width;
        o.window.height = height;
        o.maximize = false;
        o.startRenderThread = true;
        opened = window->Open(o) != 0;
        unsetenv("ZENDRA_DPI");
        if (!opened)
            return;
        window->PlatformWindow()->PumpPending();
        Activate();
        window->SetWindowReady(1);
        // The first full frame.
        WaitFrames(2);
    }
    ~Window()
    {
        window.reset();
        SetUiImageSource(nullptr);
        ResetSharedUiImages();
    }

    // Runs the UI thread's messages until the condition holds or the time is up. (The window's
    // own loop sleeps until an event comes, so a condition on the clock is polled here.)
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end) {
            window->PlatformWindow()->PumpPending();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }
    // Waits (pumping) until the render thread has finished `count` more frames; each wait asks
    // for a frame, since an idle render thread sleeps.
    bool WaitFrames(int count, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        const uint64_t target = window->FramesDone() + uint64_t(count);
        const auto end = std::chrono::steady_clock::now() + limit;
        while (window->FramesDone() < target) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            window->RequestFrame();
            window->PlatformWindow()->PumpPending();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    void Pump() { window->PlatformWindow()->PumpPending(); }

    void Send(platform::WindowEvent e) { window->OnEvent(*window->PlatformWindow(), e); }
    void Activate()
    {
        platform::WindowEvent e;
        e.kind = platform::EventKind::Activate;
        e.active = true;
        Send(e);
    }
    void Move(int x, int y)
    {
        platform::WindowEvent e;
        e.kind = platform::EventKind::MouseMove;
        e.pos = {x, y};
        Send(e);
    }
    void Button(int x, int y, bool down, platform::MouseButton button = platform::MouseButton::Left)
    {
        platform::WindowEvent e;
        e.kind = down ? platform::EventKind::ButtonDown : platform::EventKind::ButtonUp;
        e.button = button;
        e.pos = {x, y};
        Send(e);
    }
    void Click(int x, int y, platform::MouseButton button = platform::MouseButton::Left)
    {
        Move(x, y);
        Button(x, y, true, button);
        Button(x, y, false, button);
    }
    void Key(uint32_t virtualKey)
    {
        platform::WindowEvent e;
        e.kind = platform::EventKind::KeyDown;
        e.virtualKey = virtualKey;
        e.repeatCount = 1;
        Send(e);
        e.kind = platform::EventKind::KeyUp;
        Send(e);
    }
};

} // namespace live
