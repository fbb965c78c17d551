// The headless window: an offscreen surface, input that tests inject, no screen at all.
#include "platform/WindowBackend.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

// Injected input may come from another thread while the loop sleeps on a replaced clock,
// so a wait never lasts long.
constexpr uint32_t kMaxWaitMs = 5;

class HeadlessBackend final : public WindowBackend, public HeadlessControl {
public:
    bool Open(const WindowOptions& options, WindowListener*) override
    {
        if (options.width <= 0 || options.height <= 0)
            return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_normalWidth = options.width;
        m_normalHeight = options.height;
        ResizeLocked(options.width, options.height);
        m_monitors = { { 0, 0, 1920, 1080 } };
        m_workArea = { 0, 0, 1920, 1040 };
        return true;
    }

    void Wait(uint32_t timeoutMs, std::vector<RawInput>& out) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_pending.empty() && !m_woken && timeoutMs > 0) {
            m_ready.wait_for(lock, std::chrono::milliseconds(std::min(timeoutMs, kMaxWaitMs)),
                [this] { return !m_pending.empty() || m_woken; });
        }
        m_woken = false;
        for (auto& raw : m_pending)
            out.push_back(std::move(raw));
        m_pending.clear();
    }

    void Wake() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
        m_ready.notify_all();
    }

    void Present(const BitmapView& buffer, std::span<const PresentRect> parts) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return;
        BitmapView target { m_surface.data(), m_width, m_height, m_width * 4 };
        for (const PresentRect& part : parts)
            CopyBgraRect(buffer, part.source, part.dest, target);
    }

    void Close() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_pending.clear();
    }

    void SetCursor(StandardCursor cursor) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cursor = cursor;
        m_customCursor = false;
    }

    void SetCursor(const CustomCursor&) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_customCursor = true;
    }

    void SetCapture(bool capture) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_captured = capture;
    }

    void SetTextInputPosition(Point client) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_textInputPos = client;
    }

    void SetTextInput(bool on) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_textInput = on;
    }

    bool TextInputActive() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_textInput;
    }

    Rect ScreenRect() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return { m_origin.x, m_origin.y, m_origin.x + m_width, m_origin.y + m_height };
    }

    void MoveTo(Rect screen) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_origin = { screen.left, screen.top };
        const int w = std::max(screen.Width(), m_minWidth), h = std::max(screen.Height(), m_minHeight);
        if (w != m_width || h != m_height)
            ResizeLocked(w, h);
    }

    Point CursorScreenPos() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return { m_origin.x + m_cursorPos.x, m_origin.y + m_cursorPos.y };
    }

    Point TextInputPosition() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_textInputPos;
    }

    Point CursorPos() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_cursorPos;
    }

    void Show() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_shown)
            return;
        m_shown = true;
        RawInput raw;
        raw.kind = RawInput::Kind::Focus;
        raw.active = true;
        PushLocked(std::move(raw));
    }

    void Maximize() override { ChangeState(WindowState::Maximized); }
    void Minimize() override { ChangeState(WindowState::Minimized); }
    void Restore() override { ChangeState(WindowState::Normal); }

    WindowState State() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_state;
    }

    void SetMinimumSize(int width, int height) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_minWidth = std::max(0, width);
        m_minHeight = std::max(0, height);
    }

    void SetTitle(StringView16) override { }

    void ClientSize(int& width, int& height) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        width = m_width;
        height = m_height;
    }

    Rect WorkArea() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_workArea;
    }

    int Dpi() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return DpiFromEnvironment(m_dpi);
    }

    std::vector<Rect> Monitors() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_monitors;
    }

    HeadlessControl* Headless() override { return this; }

    // --- HeadlessControl ---
    void InjectKey(uint32_t virtualKey, bool down, bool extended) override
    {
        RawInput raw;
        raw.kind = RawInput::Kind::Key;
        raw.virtualKey = virtualKey;
        raw.down = down;
        raw.extended = extended;
        Push(std::move(raw));
    }

    void InjectText(StringView16 text) override
    {
        RawInput raw;
        raw.kind = RawInput::Kind::Text;
        raw.text = String16(text);
        Push(std::move(raw));
    }

    void InjectMouseMove(Point client) override
    {
        RawInput raw;
        raw.kind = RawInput::Kind::MouseMove;
        raw.pos = client;
        Push(std::move(raw));
    }

    void InjectButton(MouseButton button, bool down, Point client) override
    {
        RawInput raw;
        raw.kind = RawInput::Kind::Button;
        raw.button = button;
        raw.down = down;
        raw.pos = client;
        Push(std::move(raw));
    }

    void InjectWheel(int delta, Point client) override
    {
        RawInput raw;
        raw.kind = RawInput::Kind::Wheel;
        raw.delta = delta;
        raw.pos = client;
        Push(std::move(raw));
    }

    void InjectDropFiles(std::vector<String16> files, Point client) override
    {
        RawInput raw;
        raw.kind = RawInput::Kind::Drop;
        raw.files = std::move(files);
        raw.pos = client;
        Push(std::move(raw));
    }

    void InjectClose() override
    {
        RawInput raw;
        raw.kind = RawInput::Kind::Close;
        Push(std::move(raw));
    }

    void InjectActivate(bool active) override
    {
        RawInput raw;
        raw.kind = RawInput::Kind::Focus;
        raw.active = active;
        Push(std::move(raw));
    }

    void InjectResize(int width, int height) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ResizeLocked(std::max(width, m_minWidth), std::max(height, m_minHeight));
    }

    std::vector<uint8_t> ReadSurface(int& width, int& height) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        width = m_width;
        height = m_height;
        return m_surface;
    }

    void SetMonitors(std::vector<Rect> monitors, Rect workArea, int dpi) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_monitors = std::move(monitors);
        m_workArea = workArea;
        m_dpi = dpi;
    }

    bool CursorIsCustom() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_customCursor;
    }

    StandardCursor CurrentStandardCursor() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_cursor;
    }

    bool MouseCaptured() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_captured;
    }

private:
    void Push(RawInput raw)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (raw.kind == RawInput::Kind::MouseMove || raw.kind == RawInput::Kind::Button)
            m_cursorPos = raw.pos;
        PushLocked(std::move(raw));
    }

    void PushLocked(RawInput raw)
    {
        if (m_closed)
            return;
        m_pending.push_back(std::move(raw));
        m_ready.notify_all();
    }

    // The surface keeps what overlaps, like a window whose contents the compositor kept.
    void ResizeLocked(int width, int height)
    {
        width = std::max(width, 1);
        height = std::max(height, 1);
        if (width == m_width && height == m_height)
            return;
        std::vector<uint8_t> surface(static_cast<size_t>(width) * height * 4, 0);
        const int w = std::min(width, m_width), h = std::min(height, m_height);
        for (int y = 0; y < h; ++y)
            std::memcpy(&surface[static_cast<size_t>(y) * width * 4],
                &m_surface[static_cast<size_t>(y) * m_width * 4], static_cast<size_t>(w) * 4);
        m_surface.swap(surface);
        m_width = width;
        m_height = height;
        RawInput raw;
        raw.kind = RawInput::Kind::Resized;
        raw.width = width;
        raw.height = height;
        PushLocked(std::move(raw));
    }

    void ChangeState(WindowState state)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (state == m_state)
            return;
        if (m_state == WindowState::Normal) {
            m_normalWidth = m_width;
            m_normalHeight = m_height;
        }
        m_state = state;
        RawInput raw;
        raw.kind = RawInput::Kind::StateChanged;
        raw.state = state;
        PushLocked(std::move(raw));
        if (state == WindowState::Maximized)
            ResizeLocked(m_workArea.Width(), m_workArea.Height());
        else if (state == WindowState::Normal)
            ResizeLocked(m_normalWidth, m_normalHeight);
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<RawInput> m_pending;
    bool m_woken = false;
    bool m_closed = false;
    bool m_shown = false;
    std::vector<uint8_t> m_surface;
    int m_width = 0;
    int m_height = 0;
    int m_normalWidth = 0;
    int m_normalHeight = 0;
    int m_minWidth = 0;
    int m_minHeight = 0;
    WindowState m_state = WindowState::Normal;
    std::vector<Rect> m_monitors;
    Rect m_workArea;
    int m_dpi = 96;
    StandardCursor m_cursor = StandardCursor::Arrow;
    bool m_customCursor = false;
    bool m_captured = false;
    Point m_cursorPos;
    Point m_textInputPos;
    bool m_textInput = false;
    Point m_origin { 100, 100 };
};

} // namespace

std::unique_ptr<WindowBackend> CreateHeadlessBackend() { return std::make_unique<HeadlessBackend>(); }

} // namespace platform
