// Presenting straight to an SDL window's X window from any thread, through a connection of its
// own: the render thread's tiles reach the screen while the UI thread is busy. Shared memory
// (MIT-SHM) when the server is local, plain image requests otherwise. The window's pixels are
// kept in a shadow copy (the shared segment itself) so that an exposed window is redrawn
// without asking the program.
#pragma once

#include "platform/Window.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <span>

struct SDL_Window;

namespace platform {

class X11Presenter {
public:
    enum class Mode { Off, PutImage, SharedMemory };

    // Null when the window is not on X11 or its visual is not 32-bit BGRA (24 or 32 deep,
    // little-endian), where the caller keeps its own path. ZENDRA_X11_PRESENT=0 turns it off,
    // ZENDRA_X11_SHM=0 keeps it off shared memory. On the window's thread.
    static std::unique_ptr<X11Presenter> Create(SDL_Window* window, int width, int height);
    // The same for an X window named by its display and id (the environment switches aside).
    static std::unique_ptr<X11Presenter> CreateForXWindow(
        const char* displayName, unsigned long xWindow, int width, int height);
    // An X error came on the presenter's connection (noted, never fatal).
    bool HadError() const;
    ~X11Presenter();
    X11Presenter(const X11Presenter&) = delete;
    X11Presenter& operator=(const X11Presenter&) = delete;

    // Copies the parts into the shadow and puts each on the window, then one round trip so the
    // shared memory may be written again. Any thread.
    void Present(const BitmapView& buffer, std::span<const PresentRect> parts);
    // The client size changed: the shadow follows, keeping what fits. Any thread.
    void Resize(int width, int height);
    // The whole shadow again (after an expose). Any thread.
    void Repaint();
    Mode CurrentMode() const { return m_mode.load(); }

    struct Impl;

private:
    explicit X11Presenter(std::unique_ptr<Impl> impl, Mode mode);
    std::mutex m_mutex;
    std::unique_ptr<Impl> m_impl;
    std::atomic<Mode> m_mode { Mode::Off };
};

} // namespace platform
