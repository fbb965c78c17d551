#include "platform/Window.h"

#include "platform/Clock.h"
#include "platform/Thread.h"
#include "platform/WindowBackend.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string_view>

namespace platform {

namespace {

constexpr uint32_t kMinTimerPeriodMs = 10;
// Longest sleep of an idle loop while a replaced tick clock is installed: it moves without
// waking anybody. On the system clock an idle loop sleeps until an event, a post or a timer.
constexpr uint32_t kMaxIdleWaitMs = 50;
constexpr uint64_t kDoubleClickMs = 500;
constexpr int kDoubleClickSlop = 2; // half the 4-pixel double-click rectangle
// How long a press on an inactive window waits for the activation the window system is about
// to send, so that the program sees the activation first.
constexpr uint32_t kActivationWaitMs = 50;

uint64_t PackSize(int width, int height)
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(width)) << 32) | static_cast<uint32_t>(height);
}

uint32_t MouseFlagFor(MouseButton button)
{
    switch (button) {
    case MouseButton::Left:
        return kMouseLButton;
    case MouseButton::Right:
        return kMouseRButton;
    case MouseButton::Middle:
        return kMouseMButton;
    case MouseButton::None:
        break;
    }
    return 0;
}

} // namespace

BackendKind ChooseBackend(int argc, char** argv)
{
    auto parse = [](std::string_view value, BackendKind& out) {
        if (value == "headless") {
            out = BackendKind::Headless;
            return true;
        }
        if (value == "sdl") {
            out = BackendKind::Sdl;
            return true;
        }
        return false;
    };
    BackendKind kind = BackendKind::Sdl;
    for (int i = 1; i < argc && argv; ++i) {
        std::string_view arg = argv[i] ? argv[i] : "";
        constexpr std::string_view kSwitch = "--backend=";
        if (arg.substr(0, kSwitch.size()) == kSwitch && parse(arg.substr(kSwitch.size()), kind))
            return kind;
    }
    if (const char* env = std::getenv("ZENDRA_BACKEND"))
        parse(env, kind);
    return kind;
}

int DpiFromEnvironment(int fallback)
{
    if (const char* env = std::getenv("ZENDRA_DPI")) {
        char* end = nullptr;
        const long v = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && v >= 48 && v <= 960)
            return static_cast<int>(v);
    }
    return fallback;
}

Rect CopyBgraRect(const BitmapView& buffer, Rect source, Point dest, const BitmapView& target)
{
    if (!buffer.pixels || !target.pixels)
        return {};
    // Clip the source to the buffer, moving the destination along.
    if (source.left < 0) {
        dest.x -= source.left;
        source.left = 0;
    }
    if (source.top < 0) {
        dest.y -= source.top;
        source.top = 0;
    }
    source.right = std::min(source.right, buffer.width);
    source.bottom = std::min(source.bottom, buffer.height);
    // Then the destination to the target.
    if (dest.x < 0) {
        source.left -= dest.x;
        dest.x = 0;
    }
    if (dest.y < 0) {
        source.top -= dest.y;
        dest.y = 0;
    }
    const int w = std::min(source.Width(), target.width - dest.x);
    const int h = std::min(source.Height(), target.height - dest.y);
    if (w <= 0 || h <= 0)
        return {};
    for (int y = 0; y < h; ++y) {
        const uint8_t* src
            = buffer.pixels + static_cast<ptrdiff_t>(source.top + y) * buffer.stride + source.left * 4;
        uint8_t* dst = target.pixels + static_cast<ptrdiff_t>(dest.y + y) * target.stride + dest.x * 4;
        std::memcpy(dst, src, static_cast<size_t>(w) * 4);
    }
    return { dest.x, dest.y, dest.x + w, dest.y + h };
}

// What posting threads and the render thread share with the window. The lock is held shared
// while one of them uses the backend and exclusively while the window closes it.
struct WindowPoster::Shared {
    std::shared_mutex lifetime;
    bool alive = true; // under `lifetime`
    MessageQueue posted;
    WindowBackend* backend = nullptr;
    std::mutex present; // one present at a time
};

bool WindowPoster::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    std::shared_lock<std::shared_mutex> lock(m_shared->lifetime);
    if (!m_shared->alive || !m_shared->posted.Post(message, wParam, lParam))
        return false;
    m_shared->backend->Wake();
    return true;
}

// A press that activates the window comes after the activation, whichever order the window
// system sent them in: an activation is moved before the pointer input just ahead of it.
void OrderActivationFirst(std::deque<RawInput>& input, bool active)
{
    for (size_t i = 0; i < input.size(); ++i) {
        if (input[i].kind != RawInput::Kind::Focus)
            continue;
        if (input[i].active && !active) {
            size_t to = i;
            while (to > 0
                && (input[to - 1].kind == RawInput::Kind::Button || input[to - 1].kind == RawInput::Kind::MouseMove))
                --to;
            if (to < i) {
                RawInput focus = std::move(input[i]);
                input.erase(input.begin() + static_cast<ptrdiff_t>(i));
                input.insert(input.begin() + static_cast<ptrdiff_t>(to), std::move(focus));
            }
        }
        active = input[i].kind == RawInput::Kind::Focus ? input[i].active : true;
    }
}

struct Window::Core {
    struct Timer {
        uint32_t period = 0;
        uint64_t due = 0;
    };

    Window* self = nullptr;
    WindowListener* listener = nullptr;
    std::unique_ptr<WindowBackend> backend;
    std::shared_ptr<WindowPoster::Shared> shared = std::make_shared<WindowPoster::Shared>();
    MessageQueue& posted = shared->posted;
    std::deque<RawInput> input;
    std::vector<RawInput> arrived;
    std::map<uint32_t, Timer> timers;
    std::atomic<bool> destroyed { false };
    std::atomic<bool> quit { false };
    int quitCode = 0;

    bool keyDown[256] = {};
    bool leftAlt = false; // Alt proper
    bool rightAlt = false; // AltGr on most layouts
    uint32_t buttons = 0; // kMouse*Button bits
    bool active = false;
    bool capture = false;
    Point cursor;
    int width = 0;
    int height = 0;
    std::atomic<uint64_t> size { 0 }; // width and height for other threads
    bool textInput = false;
    WindowState state = WindowState::Normal;

    MouseButton lastDownButton = MouseButton::None;
    uint64_t lastDownTime = 0;
    Point lastDownPos;
    bool lastDownWasDouble = false;

    void Deliver(const WindowEvent& e)
    {
        if (!destroyed.load() && listener)
            listener->OnEvent(*self, e);
    }

    uint32_t MouseFlags() const
    {
        return buttons | (keyDown[vk::Shift] ? kMouseShift : 0) | (keyDown[vk::Control] ? kMouseControl : 0);
    }

    void ReleaseAll(bool notify)
    {
        std::fill(std::begin(keyDown), std::end(keyDown), false);
        leftAlt = rightAlt = false;
        buttons = 0;
        if (capture) {
            capture = false;
            backend->SetCapture(false);
            if (notify) {
                WindowEvent e;
                e.kind = EventKind::CaptureLost;
                Deliver(e);
            }
        }
    }

    void Translate(const RawInput& raw)
    {
        WindowEvent e;
        switch (raw.kind) {
        case RawInput::Kind::Key: {
            const uint32_t key = raw.virtualKey & 0xFF;
            const bool wasDown = keyDown[key];
            keyDown[key] = raw.down;
            if (key == vk::Menu)
                (raw.extended ? rightAlt : leftAlt) = raw.down;
            e.kind = raw.down ? EventKind::KeyDown : EventKind::KeyUp;
            e.virtualKey = key;
            e.repeatCount = 1;
            e.keyFlags = (raw.scanCode & 0xFF) | (raw.extended ? kKeyExtended : 0)
                | (keyDown[vk::Menu] ? kKeyAltDown : 0) | (keyDown[vk::Shift] ? kKeyShiftDown : 0)
                | (keyDown[vk::Control] ? kKeyControlDown : 0)
                | (raw.down ? (wasDown ? kKeyWasDown : 0) : kKeyWasDown | kKeyReleased);
            e.pos = cursor;
            Deliver(e);
            if (raw.down)
                SynthesiseControlChar(key, e.keyFlags);
            break;
        }
        case RawInput::Kind::Text:
            // With Alt proper (not AltGr, not Ctrl+Alt) a key is a menu shortcut: the class
            // library sends WM_SYSCHAR, which the sprites never see.
            if (leftAlt && !rightAlt && !keyDown[vk::Control])
                break;
            for (char16_t c : raw.text) {
                WindowEvent ch;
                ch.kind = EventKind::Char;
                ch.character = c;
                ch.repeatCount = 1;
                ch.keyFlags = keyDown[vk::Menu] ? kKeyAltDown : 0;
                Deliver(ch);
            }
            break;
        case RawInput::Kind::MouseMove:
            cursor = raw.pos;
            e.kind = EventKind::MouseMove;
            e.pos = raw.pos;
            e.keyFlags = MouseFlags();
            Deliver(e);
            break;
        case RawInput::Kind::Button: {
            cursor = raw.pos;
            e.pos = raw.pos;
            e.button = raw.button;
            if (raw.down) {
                buttons |= MouseFlagFor(raw.button);
                const uint64_t now = GetTickCount64();
                const bool isDouble = !lastDownWasDouble && raw.button == lastDownButton
                    && now - lastDownTime <= kDoubleClickMs
                    && std::abs(raw.pos.x - lastDownPos.x) <= kDoubleClickSlop
                    && std::abs(raw.pos.y - lastDownPos.y) <= kDoubleClickSlop;
                lastDownButton = raw.button;
                lastDownTime = now;
                lastDownPos = raw.pos;
                lastDownWasDouble = isDouble;
                e.kind = isDouble ? EventKind::ButtonDoubleClick : EventKind::ButtonDown;
            } else {
                buttons &= ~MouseFlagFor(raw.button);
                e.kind = EventKind::ButtonUp;
            }
            e.keyFlags = MouseFlags();
            Deliver(e);
            break;
        }
        case RawInput::Kind::Wheel:
            e.kind = EventKind::MouseWheel;
            e.pos = raw.pos;
            e.wheelDelta = raw.delta;
            e.keyFlags = MouseFlags();
            Deliver(e);
            break;
        case RawInput::Kind::Drop:
            e.kind = EventKind::DropFiles;
            e.pos = raw.pos;
            e.files = raw.files;
            Deliver(e);
            break;
        case RawInput::Kind::Close:
            e.kind = EventKind::Close;
            Deliver(e);
            break;
        case RawInput::Kind::Focus:
            if (raw.active == active)
                break;
            active = raw.active;
            if (!active)
                ReleaseAll(true); // key-ups go to the window that gets the focus
            e.kind = EventKind::Activate;
            e.active = active;
            Deliver(e);
            break;
        case RawInput::Kind::Resized:
        case RawInput::Kind::StateChanged:
            if (raw.kind == RawInput::Kind::Resized) {
                width = raw.width;
                height = raw.height;
                size = PackSize(width, height);
            } else {
                state = raw.state;
            }
            e.kind = EventKind::Size;
            e.width = width;
            e.height = height;
            e.state = state;
            Deliver(e);
            break;
        }
    }

    // The class library sends these characters for keys that input methods do not: Backspace,
    // Tab, Enter, Escape, and Ctrl+letter as control codes 1..26.
    void SynthesiseControlChar(uint32_t key, uint32_t flags)
    {
        char16_t c = 0;
        if (key == vk::Back || key == vk::Tab || key == vk::Return || key == vk::Escape)
            c = static_cast<char16_t>(key);
        else if (keyDown[vk::Control] && !keyDown[vk::Menu] && key >= 'A' && key <= 'Z')
            c = static_cast<char16_t>(key - 'A' + 1);
        if (!c)
            return;
        WindowEvent ch;
        ch.kind = EventKind::Char;
        ch.character = c;
        ch.repeatCount = 1;
        ch.keyFlags = flags;
        Deliver(ch);
    }

    // One unit of work: a posted message, else an input event, else a due timer.
    bool DispatchOne()
    {
        if (destroyed.load())
            return false;
        ThreadMessage m;
        if (posted.Peek(m, true)) {
            WindowEvent e;
            e.kind = EventKind::Message;
            e.message = m.id;
            e.wParam = m.wParam;
            e.lParam = m.lParam;
            Deliver(e);
            return true;
        }
        if (!input.empty()) {
            RawInput raw = std::move(input.front());
            input.pop_front();
            Translate(raw);
            return true;
        }
        const uint64_t now = GetTickCount64();
        auto next = timers.end();
        for (auto it = timers.begin(); it != timers.end(); ++it) {
            if (it->second.due <= now && (next == timers.end() || it->second.due < next->second.due))
                next = it;
        }
        if (next != timers.end()) {
            // A late timer fires once, not once per missed period.
            next->second.due = now + next->second.period;
            WindowEvent e;
            e.kind = EventKind::Timer;
            e.timerId = next->first;
            Deliver(e);
            return true;
        }
        return false;
    }

    void Collect(uint32_t timeoutMs)
    {
        arrived.clear();
        backend->Wait(timeoutMs, arrived);
        // A press on an inactive window: the activation may be on its way.
        if (!active && !arrived.empty() && arrived.back().kind == RawInput::Kind::Button && arrived.back().down)
            backend->Wait(kActivationWaitMs, arrived);
        for (auto& raw : arrived)
            input.push_back(std::move(raw));
        arrived.clear();
        OrderActivationFirst(input, active);
    }

    uint32_t IdleWait() const
    {
        uint64_t wait = TickSourceReplaced() ? kMaxIdleWaitMs : kInfinite;
        const uint64_t now = GetTickCount64();
        for (const auto& [id, t] : timers)
            wait = std::min(wait, t.due > now ? t.due - now : 0);
        return static_cast<uint32_t>(wait);
    }
};

Window::Window()
    : m_core(std::make_unique<Core>())
{
}

Window::~Window() { Destroy(); }

std::unique_ptr<Window> Window::Create(
    BackendKind backend, const WindowOptions& options, WindowListener* listener)
{
    std::unique_ptr<Window> window(new Window());
    Core& c = *window->m_core;
    c.self = window.get();
    c.listener = listener;
    c.backend = backend == BackendKind::Headless ? CreateHeadlessBackend() : CreateSdlBackend();
    if (!c.backend || !c.backend->Open(options, listener)) {
        c.destroyed = true;
        c.shared->alive = false;
        c.posted.Close();
        c.backend.reset();
        return nullptr;
    }
    c.backend->ClientSize(c.width, c.height);
    c.size = PackSize(c.width, c.height);
    c.shared->backend = c.backend.get();
    return window;
}

bool Window::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    return WindowPoster(m_core->shared).PostMessage(message, wParam, lParam);
}

std::shared_ptr<WindowPoster> Window::Poster() { return std::make_shared<WindowPoster>(m_core->shared); }

void Window::Present(const BitmapView& buffer, Rect source, Point dest)
{
    const PresentRect part { source, dest };
    Present(buffer, std::span<const PresentRect>(&part, 1));
}

void Window::Present(const BitmapView& buffer, std::span<const PresentRect> parts)
{
    WindowPoster::Shared& shared = *m_core->shared;
    std::shared_lock<std::shared_mutex> lock(shared.lifetime);
    if (!shared.alive || parts.empty())
        return;
    std::lock_guard<std::mutex> one(shared.present);
    shared.backend->Present(buffer, parts);
}

void Window::ClientSize(int& width, int& height) const
{
    const uint64_t packed = m_core->size.load();
    width = static_cast<int>(packed >> 32);
    height = static_cast<int>(packed & 0xFFFFFFFFu);
}

int Window::ClientWidth() const
{
    int w = 0, h = 0;
    ClientSize(w, h);
    return w;
}

int Window::ClientHeight() const
{
    int w = 0, h = 0;
    ClientSize(w, h);
    return h;
}

bool Window::RunModalLoop(const std::function<bool()>& done)
{
    Core& c = *m_core;
    for (;;) {
        if (done && done())
            return true;
        if (c.destroyed.load() || c.quit.load())
            return false;
        if (c.DispatchOne())
            continue;
        c.Collect(c.IdleWait());
    }
}

bool Window::PumpPending()
{
    Core& c = *m_core;
    if (c.destroyed.load() || c.quit.load())
        return false;
    c.Collect(0);
    while (!c.destroyed.load() && !c.quit.load() && c.DispatchOne()) {
        if (c.input.empty())
            c.Collect(0);
    }
    return !c.destroyed.load() && !c.quit.load();
}

void Window::PostQuit(int exitCode)
{
    m_core->quitCode = exitCode;
    m_core->quit = true;
    if (!m_core->destroyed.load())
        m_core->backend->Wake();
}

bool Window::QuitPosted() const { return m_core->quit.load(); }
int Window::QuitCode() const { return m_core->quitCode; }

void Window::Destroy()
{
    Core& c = *m_core;
    if (c.destroyed.exchange(true))
        return;
    {
        // Waits for a post or present in flight; later ones see the window gone.
        std::unique_lock<std::shared_mutex> lock(c.shared->lifetime);
        c.shared->alive = false;
    }
    c.posted.Close();
    c.posted.Clear();
    c.timers.clear();
    c.input.clear();
    if (c.capture)
        c.backend->SetCapture(false);
    c.backend->Close();
}

bool Window::IsDestroyed() const { return m_core->destroyed.load(); }

void Window::SetTimer(uint32_t id, uint32_t periodMs)
{
    if (m_core->destroyed.load())
        return;
    const uint32_t period = std::max(periodMs, kMinTimerPeriodMs);
    m_core->timers[id] = { period, GetTickCount64() + period };
}

void Window::KillTimer(uint32_t id) { m_core->timers.erase(id); }

bool Window::TimerSet(uint32_t id) const { return m_core->timers.count(id) != 0; }

bool Window::IsKeyDown(uint32_t virtualKey) const
{
    switch (virtualKey) {
    case vk::LButton:
        return m_core->buttons & kMouseLButton;
    case vk::RButton:
        return m_core->buttons & kMouseRButton;
    case vk::MButton:
        return m_core->buttons & kMouseMButton;
    default:
        return virtualKey < 256 && m_core->keyDown[virtualKey];
    }
}

Point Window::CursorPos() const
{
    if (m_core->destroyed.load())
        return m_core->cursor;
    return m_core->backend->CursorPos();
}

void Window::SetCapture()
{
    if (m_core->destroyed.load() || m_core->capture)
        return;
    m_core->capture = true;
    m_core->backend->SetCapture(true);
}

void Window::ReleaseCapture()
{
    if (m_core->destroyed.load() || !m_core->capture)
        return;
    m_core->capture = false;
    m_core->backend->SetCapture(false);
}

bool Window::HasCapture() const { return m_core->capture; }
bool Window::IsActive() const { return m_core->active; }

void Window::SetTextInputPosition(Point client)
{
    if (!m_core->destroyed.load())
        m_core->backend->SetTextInputPosition(client);
}

void Window::SetCursor(StandardCursor cursor)
{
    if (!m_core->destroyed.load())
        m_core->backend->SetCursor(cursor);
}

void Window::SetCursor(const CustomCursor& cursor)
{
    if (!m_core->destroyed.load())
        m_core->backend->SetCursor(cursor);
}

void Window::Show()
{
    if (!m_core->destroyed.load())
        m_core->backend->Show();
}

void Window::Maximize()
{
    if (!m_core->destroyed.load())
        m_core->backend->Maximize();
}

void Window::Minimize()
{
    if (!m_core->destroyed.load())
        m_core->backend->Minimize();
}

void Window::Restore()
{
    if (!m_core->destroyed.load())
        m_core->backend->Restore();
}

WindowState Window::State() const
{
    return m_core->destroyed.load() ? m_core->state : m_core->backend->State();
}

void Window::SetMinimumSize(int width, int height)
{
    if (!m_core->destroyed.load())
        m_core->backend->SetMinimumSize(width, height);
}

void Window::SetTitle(StringView16 title)
{
    if (!m_core->destroyed.load())
        m_core->backend->SetTitle(title);
}

Rect Window::ScreenRect() const { return m_core->destroyed.load() ? Rect {} : m_core->backend->ScreenRect(); }

void Window::MoveTo(Rect screen)
{
    if (!m_core->destroyed.load() && !screen.IsEmpty())
        m_core->backend->MoveTo(screen);
}

Point Window::CursorScreenPos() const
{
    return m_core->destroyed.load() ? Point {} : m_core->backend->CursorScreenPos();
}

void Window::StartTextInput()
{
    if (m_core->destroyed.load() || m_core->textInput)
        return;
    m_core->textInput = true;
    m_core->backend->SetTextInput(true);
}

void Window::StopTextInput()
{
    if (m_core->destroyed.load() || !m_core->textInput)
        return;
    m_core->textInput = false;
    m_core->backend->SetTextInput(false);
}

bool Window::TextInputActive() const { return m_core->textInput; }

Rect Window::WorkArea() const { return m_core->destroyed.load() ? Rect {} : m_core->backend->WorkArea(); }
int Window::LogicalDpi() const { return m_core->destroyed.load() ? 96 : m_core->backend->Dpi(); }

std::vector<Rect> Window::Monitors() const
{
    return m_core->destroyed.load() ? std::vector<Rect> {} : m_core->backend->Monitors();
}

HeadlessControl* Window::Headless() { return m_core->backend ? m_core->backend->Headless() : nullptr; }

} // namespace platform
