// The real-screen window through SDL2 (X11 or Wayland, as SDL chooses). SDL's event loop runs
// on the UI thread; other threads wake it with user events. On X11 presents go straight to the
// window through a connection of their own (X11Present.h), from any thread. Elsewhere the
// screen is fed from a shadow copy of what was presented, which the UI thread copies to SDL's
// window surface when its loop runs; either way an exposed window is redrawn from the copy
// without asking the program.
#include "platform/Path.h"
#include "platform/WindowBackend.h"
#include "platform/X11Present.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

namespace platform {

uint32_t VirtualKeyFromSdl(int scancode, int keycode, bool& extended)
{
    extended = false;
    // Letters follow the layout, as Windows' virtual keys do; a layout without Latin letters
    // falls back to the key's position.
    if (keycode >= 'a' && keycode <= 'z')
        return static_cast<uint32_t>(keycode - 'a' + 'A');
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
        return static_cast<uint32_t>('A' + (scancode - SDL_SCANCODE_A));
    // The digit row keeps its digits on every layout.
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
        return static_cast<uint32_t>('1' + (scancode - SDL_SCANCODE_1));
    if (scancode == SDL_SCANCODE_0)
        return '0';
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12)
        return vk::F1 + static_cast<uint32_t>(scancode - SDL_SCANCODE_F1);
    if (scancode >= SDL_SCANCODE_F13 && scancode <= SDL_SCANCODE_F24)
        return vk::F1 + 12 + static_cast<uint32_t>(scancode - SDL_SCANCODE_F13);
    if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9)
        return vk::Numpad0 + 1 + static_cast<uint32_t>(scancode - SDL_SCANCODE_KP_1);

    struct Entry {
        SDL_Scancode scancode;
        uint32_t key;
        bool extended;
    };
    static const Entry kTable[] = {
        { SDL_SCANCODE_RETURN, vk::Return, false },
        { SDL_SCANCODE_KP_ENTER, vk::Return, true },
        { SDL_SCANCODE_ESCAPE, vk::Escape, false },
        { SDL_SCANCODE_BACKSPACE, vk::Back, false },
        { SDL_SCANCODE_TAB, vk::Tab, false },
        { SDL_SCANCODE_SPACE, vk::Space, false },
        { SDL_SCANCODE_LEFT, vk::Left, true },
        { SDL_SCANCODE_UP, vk::Up, true },
        { SDL_SCANCODE_RIGHT, vk::Right, true },
        { SDL_SCANCODE_DOWN, vk::Down, true },
        { SDL_SCANCODE_PAGEUP, vk::Prior, true },
        { SDL_SCANCODE_PAGEDOWN, vk::Next, true },
        { SDL_SCANCODE_HOME, vk::Home, true },
        { SDL_SCANCODE_END, vk::End, true },
        { SDL_SCANCODE_INSERT, vk::Insert, true },
        { SDL_SCANCODE_DELETE, vk::Delete, true },
        { SDL_SCANCODE_LSHIFT, vk::Shift, false },
        { SDL_SCANCODE_RSHIFT, vk::Shift, false },
        { SDL_SCANCODE_LCTRL, vk::Control, false },
        { SDL_SCANCODE_RCTRL, vk::Control, true },
        { SDL_SCANCODE_LALT, vk::Menu, false },
        { SDL_SCANCODE_RALT, vk::Menu, true }, // AltGr; its characters come as text input
        { SDL_SCANCODE_LGUI, vk::LWin, true },
        { SDL_SCANCODE_RGUI, vk::RWin, true },
        { SDL_SCANCODE_APPLICATION, vk::Apps, true },
        { SDL_SCANCODE_CAPSLOCK, vk::Capital, false },
        { SDL_SCANCODE_NUMLOCKCLEAR, vk::NumLock, true },
        { SDL_SCANCODE_SCROLLLOCK, vk::Scroll, false },
        { SDL_SCANCODE_PAUSE, vk::Pause, false },
        { SDL_SCANCODE_PRINTSCREEN, vk::Snapshot, true },
        { SDL_SCANCODE_KP_0, vk::Numpad0, false },
        { SDL_SCANCODE_KP_PERIOD, vk::Decimal, false },
        { SDL_SCANCODE_KP_PLUS, vk::Add, false },
        { SDL_SCANCODE_KP_MINUS, vk::Subtract, false },
        { SDL_SCANCODE_KP_MULTIPLY, vk::Multiply, false },
        { SDL_SCANCODE_KP_DIVIDE, vk::Divide, true },
        { SDL_SCANCODE_SEMICOLON, vk::Oem1, false },
        { SDL_SCANCODE_EQUALS, vk::OemPlus, false },
        { SDL_SCANCODE_COMMA, vk::OemComma, false },
        { SDL_SCANCODE_MINUS, vk::OemMinus, false },
        { SDL_SCANCODE_PERIOD, vk::OemPeriod, false },
        { SDL_SCANCODE_SLASH, vk::Oem2, false },
        { SDL_SCANCODE_GRAVE, vk::Oem3, false },
        { SDL_SCANCODE_LEFTBRACKET, vk::Oem4, false },
        { SDL_SCANCODE_BACKSLASH, vk::Oem5, false },
        { SDL_SCANCODE_RIGHTBRACKET, vk::Oem6, false },
        { SDL_SCANCODE_APOSTROPHE, vk::Oem7, false },
        { SDL_SCANCODE_NONUSBACKSLASH, vk::Oem102, false },
    };
    for (const Entry& e : kTable) {
        if (e.scancode == scancode) {
            extended = e.extended;
            return e.key;
        }
    }
    return 0;
}

void SdlCursorPlanes(const CustomCursor& cursor, uint8_t data[128], uint8_t mask[128])
{
    // SDL: data 1 mask 1 black, data 0 mask 1 white, data 0 mask 0 transparent,
    // data 1 mask 0 inverted where the system can.
    for (int i = 0; i < 128; ++i) {
        const uint8_t a = cursor.andPlane[i], x = cursor.xorPlane[i];
        data[i] = static_cast<uint8_t>(~(a ^ x));
        mask[i] = static_cast<uint8_t>(~a);
    }
}

int SdlHitTestFor(HitArea area)
{
    switch (area) {
    case HitArea::Client:
        return SDL_HITTEST_NORMAL;
    case HitArea::Caption:
        return SDL_HITTEST_DRAGGABLE;
    case HitArea::Left:
        return SDL_HITTEST_RESIZE_LEFT;
    case HitArea::Right:
        return SDL_HITTEST_RESIZE_RIGHT;
    case HitArea::Top:
        return SDL_HITTEST_RESIZE_TOP;
    case HitArea::Bottom:
        return SDL_HITTEST_RESIZE_BOTTOM;
    case HitArea::TopLeft:
        return SDL_HITTEST_RESIZE_TOPLEFT;
    case HitArea::TopRight:
        return SDL_HITTEST_RESIZE_TOPRIGHT;
    case HitArea::BottomLeft:
        return SDL_HITTEST_RESIZE_BOTTOMLEFT;
    case HitArea::BottomRight:
        return SDL_HITTEST_RESIZE_BOTTOMRIGHT;
    }
    return SDL_HITTEST_NORMAL;
}

namespace {

SDL_SystemCursor SdlCursorFor(StandardCursor cursor)
{
    switch (cursor) {
    case StandardCursor::Arrow:
        return SDL_SYSTEM_CURSOR_ARROW;
    case StandardCursor::IBeam:
        return SDL_SYSTEM_CURSOR_IBEAM;
    case StandardCursor::Wait:
        return SDL_SYSTEM_CURSOR_WAIT;
    case StandardCursor::Cross:
        return SDL_SYSTEM_CURSOR_CROSSHAIR;
    case StandardCursor::Hand:
        return SDL_SYSTEM_CURSOR_HAND;
    case StandardCursor::SizeAll:
        return SDL_SYSTEM_CURSOR_SIZEALL;
    case StandardCursor::SizeNWSE:
        return SDL_SYSTEM_CURSOR_SIZENWSE;
    case StandardCursor::SizeNESW:
        return SDL_SYSTEM_CURSOR_SIZENESW;
    case StandardCursor::SizeWE:
        return SDL_SYSTEM_CURSOR_SIZEWE;
    case StandardCursor::SizeNS:
        return SDL_SYSTEM_CURSOR_SIZENS;
    case StandardCursor::No:
        return SDL_SYSTEM_CURSOR_NO;
    case StandardCursor::AppStarting:
        return SDL_SYSTEM_CURSOR_WAITARROW;
    }
    return SDL_SYSTEM_CURSOR_ARROW;
}

constexpr int kStandardCursorCount = static_cast<int>(StandardCursor::AppStarting) + 1;

class SdlBackend final : public WindowBackend {
public:
    ~SdlBackend() override { Close(); }

    bool Open(const WindowOptions& options, WindowListener* listener) override
    {
        m_listener = listener;
        m_uiThread = std::this_thread::get_id();
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
        SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
        // SDL stays initialised for the rest of the process: quitting it unloads the window
        // system's libraries, which a later window would load again.
        if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
            return false;
        const Uint32 first = SDL_RegisterEvents(2);
        if (first == static_cast<Uint32>(-1))
            return false;
        m_wakeEvent = first;
        m_presentEvent = first + 1;
        Uint32 flags = SDL_WINDOW_HIDDEN;
        if (options.resizable)
            flags |= SDL_WINDOW_RESIZABLE;
        if (options.borderless)
            flags |= SDL_WINDOW_BORDERLESS;
        const std::string title = Utf16ToUtf8(options.title);
        m_window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
            options.width, options.height, flags);
        if (!m_window)
            return false;
        m_wayland = std::strcmp(SDL_GetCurrentVideoDriver(), "wayland") == 0;
        if (options.borderless)
            SDL_SetWindowHitTest(m_window, &SdlBackend::HitTestThunk, this);
        // The input method only while an edit field wants it (StartTextInput); on X11 the
        // characters of other keys are read from the key events. Wayland gives characters only
        // through text input, so there it stays on.
        m_x11Keys = IsX11Window(m_window);
        if (m_x11Keys) {
            SDL_StopTextInput();
            SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
        } else {
            SDL_StartTextInput();
        }
        SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
        int w = 0, h = 0;
        SDL_GetWindowSize(m_window, &w, &h);
        m_presenter = X11Presenter::Create(m_window, w, h);
        std::lock_guard<std::mutex> lock(m_shadowMutex);
        ResizeShadowLocked(w, h);
        return true;
    }

    void Wait(uint32_t timeoutMs, std::vector<RawInput>& out) override
    {
        if (!m_window)
            return;
        SDL_Event e;
        const int got
            = timeoutMs == 0 ? SDL_PollEvent(&e) : SDL_WaitEventTimeout(&e, static_cast<int>(timeoutMs));
        if (!got)
            return;
        Translate(e, out);
        while (SDL_PollEvent(&e))
            Translate(e, out);
    }

    void Wake() override
    {
        if (m_wakePending.exchange(true))
            return;
        PushUserEvent(m_wakeEvent);
    }

    void Present(const BitmapView& buffer, std::span<const PresentRect> parts) override
    {
        if (m_presenter) {
            m_presenter->Present(buffer, parts);
            return;
        }
        std::lock_guard<std::mutex> lock(m_shadowMutex);
        if (!m_window)
            return;
        BitmapView target { m_shadow.data(), m_shadowWidth, m_shadowHeight, m_shadowWidth * 4 };
        bool any = false;
        for (const PresentRect& part : parts) {
            const Rect written = CopyBgraRect(buffer, part.source, part.dest, target);
            if (!written.IsEmpty()) {
                AddDirtyLocked(written);
                any = true;
            }
        }
        if (!any)
            return;
        if (std::this_thread::get_id() == m_uiThread)
            FlushLocked();
        else if (!m_presentPending.exchange(true))
            PushUserEvent(m_presentEvent);
    }

    void Close() override
    {
        {
            std::lock_guard<std::mutex> lock(m_shadowMutex);
            m_presenter.reset(); // its connection draws into the window: gone first
            if (m_window) {
                SDL_StopTextInput();
                SDL_SetCursor(SDL_GetDefaultCursor());
                m_shownCursor = -1;
                SDL_DestroyWindow(m_window);
                m_window = nullptr;
            }
        }
        for (SDL_Cursor*& c : m_standardCursors) {
            if (c)
                SDL_FreeCursor(c);
            c = nullptr;
        }
        if (m_customCursor)
            SDL_FreeCursor(m_customCursor);
        m_customCursor = nullptr;
    }

    void SetCursor(StandardCursor cursor) override
    {
        // Asked after every mouse move: the same shape again costs nothing.
        const int i = static_cast<int>(cursor);
        if (i == m_shownCursor)
            return;
        if (!m_standardCursors[i])
            m_standardCursors[i] = SDL_CreateSystemCursor(SdlCursorFor(cursor));
        if (m_standardCursors[i]) {
            SDL_SetCursor(m_standardCursors[i]);
            m_shownCursor = i;
        }
    }

    void SetCursor(const CustomCursor& cursor) override
    {
        uint8_t data[128], mask[128];
        SdlCursorPlanes(cursor, data, mask);
        SDL_Cursor* created = SDL_CreateCursor(
            data, mask, 32, 32, std::clamp(cursor.hotX, 0, 31), std::clamp(cursor.hotY, 0, 31));
        if (!created)
            return;
        SDL_SetCursor(created);
        m_shownCursor = -1;
        if (m_customCursor)
            SDL_FreeCursor(m_customCursor);
        m_customCursor = created;
    }

    void SetTextInputPosition(Point client) override
    {
        SDL_Rect r { client.x, client.y, 1, 1 };
        SDL_SetTextInputRect(&r);
    }

    void SetTextInput(bool on) override
    {
        if (!m_x11Keys)
            return;
        if (on)
            SDL_StartTextInput();
        else
            SDL_StopTextInput();
    }

    Rect ScreenRect() override
    {
        if (!m_window)
            return {};
        int x = 0, y = 0, w = 0, h = 0;
        SDL_GetWindowPosition(m_window, &x, &y);
        SDL_GetWindowSize(m_window, &w, &h);
        return { x, y, x + w, y + h };
    }

    void MoveTo(Rect screen) override
    {
        if (!m_window)
            return;
        SDL_SetWindowPosition(m_window, screen.left, screen.top);
        SDL_SetWindowSize(m_window, std::max(1, screen.Width()), std::max(1, screen.Height()));
    }

    Point CursorScreenPos() override
    {
        int x = 0, y = 0;
        if (!X11PointerOnScreen(m_window, x, y))
            SDL_GetGlobalMouseState(&x, &y);
        return { x, y };
    }

    void SetCapture(bool capture) override { SDL_CaptureMouse(capture ? SDL_TRUE : SDL_FALSE); }

    Point CursorPos() override
    {
        int x = 0, y = 0;
        if (m_window && X11PointerOnScreen(m_window, x, y)) {
            const Rect at = ScreenRect();
            return { x - at.left, y - at.top };
        }
        SDL_GetMouseState(&x, &y);
        if (m_window && SDL_GetMouseFocus() != m_window) {
            // Outside the window: global position relative to the client origin.
            int gx = 0, gy = 0, wx = 0, wy = 0;
            SDL_GetGlobalMouseState(&gx, &gy);
            SDL_GetWindowPosition(m_window, &wx, &wy);
            x = gx - wx;
            y = gy - wy;
        }
        return { x, y };
    }

    void Show() override
    {
        if (!m_window)
            return;
        SDL_ShowWindow(m_window);
        SDL_RaiseWindow(m_window);
    }

    void Maximize() override
    {
        if (m_window)
            SDL_MaximizeWindow(m_window);
    }

    void Minimize() override
    {
        if (m_window)
            SDL_MinimizeWindow(m_window);
    }

    void Restore() override
    {
        if (m_window)
            SDL_RestoreWindow(m_window);
    }

    WindowState State() override
    {
        if (!m_window)
            return WindowState::Normal;
        const Uint32 flags = SDL_GetWindowFlags(m_window);
        if (flags & SDL_WINDOW_MINIMIZED)
            return WindowState::Minimized;
        if (flags & SDL_WINDOW_MAXIMIZED)
            return WindowState::Maximized;
        return WindowState::Normal;
    }

    void SetMinimumSize(int width, int height) override
    {
        if (m_window)
            SDL_SetWindowMinimumSize(m_window, std::max(1, width), std::max(1, height));
    }

    void SetTitle(StringView16 title) override
    {
        if (m_window)
            SDL_SetWindowTitle(m_window, Utf16ToUtf8(title).c_str());
    }

    void ClientSize(int& width, int& height) override
    {
        std::lock_guard<std::mutex> lock(m_shadowMutex);
        width = m_shadowWidth;
        height = m_shadowHeight;
    }

    Rect WorkArea() override
    {
        SDL_Rect r {};
        const int display = m_window ? std::max(0, SDL_GetWindowDisplayIndex(m_window)) : 0;
        if (SDL_GetDisplayUsableBounds(display, &r) != 0)
            return {};
        return { r.x, r.y, r.x + r.w, r.y + r.h };
    }

    int Dpi() override
    {
        // Logical pixels per inch is a setting, not the physical density SDL measures: the
        // desktop's Xft.dpi on X11, else the scale of a drawable larger than the window.
        int fallback = XftDpiOfSdlWindow(m_window);
        if (fallback == 0 && m_window) {
            fallback = 96;
            int w = 0, h = 0, pw = 0, ph = 0;
            SDL_GetWindowSize(m_window, &w, &h);
            SDL_GetWindowSizeInPixels(m_window, &pw, &ph);
            if (w > 0 && pw > w)
                fallback = 96 * pw / w;
        }
        return DpiFromEnvironment(fallback > 0 ? fallback : 96);
    }

    std::vector<Rect> Monitors() override
    {
        std::vector<Rect> out;
        const int n = SDL_GetNumVideoDisplays();
        for (int i = 0; i < n; ++i) {
            SDL_Rect r {};
            if (SDL_GetDisplayBounds(i, &r) == 0)
                out.push_back({ r.x, r.y, r.x + r.w, r.y + r.h });
        }
        return out;
    }

private:
    static SDL_HitTestResult HitTestThunk(SDL_Window*, const SDL_Point* area, void* data)
    {
        auto* self = static_cast<SdlBackend*>(data);
        if (!self->m_listener)
            return SDL_HITTEST_NORMAL;
        const HitArea hit = self->m_listener->HitTest({ area->x, area->y });
        // The caption's presses go to the program (double click, its own drag with MoveTo);
        // Wayland lets only the compositor move a window.
        if (hit == HitArea::Caption && !self->m_wayland)
            return SDL_HITTEST_NORMAL;
        return static_cast<SDL_HitTestResult>(SdlHitTestFor(hit));
    }

    // Separate dirty rectangles while they are few; many small ones cost more in calls than
    // their bounding box costs in pixels.
    void AddDirtyLocked(Rect r)
    {
        constexpr size_t kMaxDirty = 64;
        if (m_dirtyList.size() < kMaxDirty) {
            m_dirtyList.push_back(r);
            return;
        }
        Rect& box = m_dirtyList.front();
        for (const Rect& d : m_dirtyList)
            box = { std::min(box.left, d.left), std::min(box.top, d.top), std::max(box.right, d.right),
                std::max(box.bottom, d.bottom) };
        box = { std::min(box.left, r.left), std::min(box.top, r.top), std::max(box.right, r.right),
            std::max(box.bottom, r.bottom) };
        m_dirtyList.resize(1);
    }

    void PushUserEvent(Uint32 type)
    {
        SDL_Event e {};
        e.type = type;
        SDL_PushEvent(&e);
    }

    void ResizeShadowLocked(int width, int height)
    {
        width = std::max(width, 1);
        height = std::max(height, 1);
        if (width == m_shadowWidth && height == m_shadowHeight)
            return;
        if (!m_presenter) { // which keeps its own copy
            std::vector<uint8_t> shadow(static_cast<size_t>(width) * height * 4, 0);
            BitmapView old { m_shadow.data(), m_shadowWidth, m_shadowHeight, m_shadowWidth * 4 };
            BitmapView now { shadow.data(), width, height, width * 4 };
            CopyBgraRect(old, { 0, 0, m_shadowWidth, m_shadowHeight }, { 0, 0 }, now);
            m_shadow.swap(shadow);
        }
        m_shadowWidth = width;
        m_shadowHeight = height;
        m_dirtyList.assign(1, Rect { 0, 0, width, height });
    }

    // UI thread, shadow lock held: copies the dirty parts of the shadow to the window surface,
    // one update of the screen for all of them.
    void FlushLocked()
    {
        if (!m_window || m_presenter || m_dirtyList.empty())
            return;
        SDL_Surface* surface = SDL_GetWindowSurface(m_window);
        if (!surface)
            return;
        if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0)
            return;
        std::vector<SDL_Rect> rects;
        for (Rect r : m_dirtyList) {
            r.right = std::min({ r.right, surface->w, m_shadowWidth });
            r.bottom = std::min({ r.bottom, surface->h, m_shadowHeight });
            if (r.IsEmpty())
                continue;
            const uint8_t* src
                = m_shadow.data() + static_cast<size_t>(r.top) * m_shadowWidth * 4 + static_cast<size_t>(r.left) * 4;
            uint8_t* dst = static_cast<uint8_t*>(surface->pixels) + static_cast<ptrdiff_t>(r.top) * surface->pitch
                + r.left * surface->format->BytesPerPixel;
            SDL_ConvertPixels(r.Width(), r.Height(), SDL_PIXELFORMAT_BGRA32, src, m_shadowWidth * 4,
                surface->format->format, dst, surface->pitch);
            rects.push_back({ r.left, r.top, r.Width(), r.Height() });
        }
        m_dirtyList.clear();
        if (SDL_MUSTLOCK(surface))
            SDL_UnlockSurface(surface);
        if (!rects.empty())
            SDL_UpdateWindowSurfaceRects(m_window, rects.data(), static_cast<int>(rects.size()));
    }

    void Translate(const SDL_Event& e, std::vector<RawInput>& out)
    {
        RawInput raw;
        if (e.type == m_wakeEvent) {
            m_wakePending = false;
            return;
        }
        if (e.type == m_presentEvent) {
            m_presentPending = false;
            std::lock_guard<std::mutex> lock(m_shadowMutex);
            FlushLocked();
            return;
        }
        switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            bool extended = false;
            raw.virtualKey = VirtualKeyFromSdl(e.key.keysym.scancode, e.key.keysym.sym, extended);
            if (raw.virtualKey) {
                raw.kind = RawInput::Kind::Key;
                raw.down = e.type == SDL_KEYDOWN;
                raw.extended = extended;
                out.push_back(std::move(raw));
            }
            // The character of this key when the input method is off (read just before).
            if (e.type == SDL_KEYDOWN && !m_keyText.empty()) {
                RawInput text;
                text.kind = RawInput::Kind::Text;
                text.text.swap(m_keyText);
                out.push_back(std::move(text));
            }
            m_keyText.clear();
            return;
        }
        case SDL_TEXTINPUT:
            raw.kind = RawInput::Kind::Text;
            raw.text = Utf8ToUtf16(e.text.text);
            out.push_back(std::move(raw));
            return;
        case SDL_MOUSEMOTION:
            raw.kind = RawInput::Kind::MouseMove;
            raw.pos = { e.motion.x, e.motion.y };
            out.push_back(std::move(raw));
            return;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            raw.kind = RawInput::Kind::Button;
            raw.down = e.type == SDL_MOUSEBUTTONDOWN;
            raw.pos = { e.button.x, e.button.y };
            raw.button = e.button.button == SDL_BUTTON_LEFT ? MouseButton::Left
                : e.button.button == SDL_BUTTON_RIGHT       ? MouseButton::Right
                : e.button.button == SDL_BUTTON_MIDDLE      ? MouseButton::Middle
                                                            : MouseButton::None;
            if (raw.button == MouseButton::None)
                return;
            out.push_back(std::move(raw));
            return;
        case SDL_MOUSEWHEEL: {
            float y = e.wheel.preciseY;
            if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
                y = -y;
            raw.kind = RawInput::Kind::Wheel;
            raw.delta = static_cast<int>(y * 120.0f);
            if (raw.delta == 0)
                return;
            SDL_GetMouseState(&raw.pos.x, &raw.pos.y);
            out.push_back(std::move(raw));
            return;
        }
        case SDL_DROPBEGIN:
            m_drop.clear();
            return;
        case SDL_DROPFILE:
            if (e.drop.file) {
                // The file system's bytes: names that are not UTF-8 must still open.
                m_drop.push_back(FromNativePath(e.drop.file));
                SDL_free(e.drop.file);
            }
            return;
        case SDL_DROPTEXT:
            if (e.drop.file)
                SDL_free(e.drop.file);
            return;
        case SDL_DROPCOMPLETE:
            if (!m_drop.empty()) {
                raw.kind = RawInput::Kind::Drop;
                raw.files.swap(m_drop);
                // During a drag the pointer belongs to the source: SDL's last motion is stale.
                const Point screen = CursorScreenPos();
                const Rect at = ScreenRect();
                raw.pos = { screen.x - at.left, screen.y - at.top };
                out.push_back(std::move(raw));
            }
            return;
        case SDL_SYSWMEVENT:
            if (m_x11Keys && !SDL_IsTextInputActive())
                m_keyText = TextOfX11KeyPress(e.syswm.msg);
            return;
        case SDL_WINDOWEVENT:
            TranslateWindowEvent(e.window, out);
            return;
        default:
            return;
        }
    }

    void TranslateWindowEvent(const SDL_WindowEvent& w, std::vector<RawInput>& out)
    {
        RawInput raw;
        switch (w.event) {
        case SDL_WINDOWEVENT_CLOSE:
            raw.kind = RawInput::Kind::Close;
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
        case SDL_WINDOWEVENT_FOCUS_LOST:
            raw.kind = RawInput::Kind::Focus;
            raw.active = w.event == SDL_WINDOWEVENT_FOCUS_GAINED;
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
            std::lock_guard<std::mutex> lock(m_shadowMutex);
            if (m_presenter)
                m_presenter->Resize(w.data1, w.data2);
            ResizeShadowLocked(w.data1, w.data2);
            raw.kind = RawInput::Kind::Resized;
            raw.width = m_shadowWidth;
            raw.height = m_shadowHeight;
            FlushLocked();
            break;
        }
        case SDL_WINDOWEVENT_EXPOSED: {
            if (m_presenter) {
                m_presenter->Repaint();
                return;
            }
            std::lock_guard<std::mutex> lock(m_shadowMutex);
            m_dirtyList.assign(1, Rect { 0, 0, m_shadowWidth, m_shadowHeight });
            FlushLocked();
            return;
        }
        case SDL_WINDOWEVENT_MAXIMIZED:
        case SDL_WINDOWEVENT_MINIMIZED:
        case SDL_WINDOWEVENT_RESTORED:
            raw.kind = RawInput::Kind::StateChanged;
            raw.state = w.event == SDL_WINDOWEVENT_MAXIMIZED ? WindowState::Maximized
                : w.event == SDL_WINDOWEVENT_MINIMIZED       ? WindowState::Minimized
                                                             : WindowState::Normal;
            break;
        default:
            return;
        }
        out.push_back(std::move(raw));
    }

    WindowListener* m_listener = nullptr;
    std::thread::id m_uiThread;
    SDL_Window* m_window = nullptr;
    Uint32 m_wakeEvent = 0;
    Uint32 m_presentEvent = 0;
    std::atomic<bool> m_wakePending { false };
    std::atomic<bool> m_presentPending { false };
    std::mutex m_shadowMutex;
    std::vector<uint8_t> m_shadow;
    int m_shadowWidth = 0;
    int m_shadowHeight = 0;
    std::vector<Rect> m_dirtyList;
    std::unique_ptr<X11Presenter> m_presenter;
    bool m_wayland = false;
    bool m_x11Keys = false; // X11: characters from the key events while text input is off
    String16 m_keyText;
    SDL_Cursor* m_standardCursors[kStandardCursorCount] = {};
    SDL_Cursor* m_customCursor = nullptr;
    int m_shownCursor = -1; // a StandardCursor, -1 for a custom one or none yet
    std::vector<String16> m_drop;
};

} // namespace

std::unique_ptr<WindowBackend> CreateSdlBackend() { return std::make_unique<SdlBackend>(); }

} // namespace platform
