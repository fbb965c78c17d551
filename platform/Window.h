// The program's one top-level window: a UI-thread message queue that any thread posts to,
// timers on the tick clock, nested modal loops, mouse and keyboard input in the Windows
// virtual-key form the sprites expect, cursors, capture, window states, monitors, dropped files
// and a present call for the BGRA back buffer. Two backends: SDL2 (a real screen, X11 or
// Wayland) and headless (readable surface, injected input, for tests).
#pragma once

#include "platform/Font.h" // BitmapView
#include "platform/Text.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace platform {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// Right and bottom exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect&) const = default;
};

// Windows virtual-key codes.
namespace vk {
constexpr uint32_t LButton = 0x01, RButton = 0x02, MButton = 0x04;
constexpr uint32_t Back = 0x08, Tab = 0x09, Return = 0x0D, Shift = 0x10, Control = 0x11, Menu = 0x12;
constexpr uint32_t Pause = 0x13, Capital = 0x14, Escape = 0x1B, Space = 0x20;
constexpr uint32_t Prior = 0x21, Next = 0x22, End = 0x23, Home = 0x24;
constexpr uint32_t Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28;
constexpr uint32_t Snapshot = 0x2C, Insert = 0x2D, Delete = 0x2E;
constexpr uint32_t LWin = 0x5B, RWin = 0x5C, Apps = 0x5D;
constexpr uint32_t Numpad0 = 0x60, Multiply = 0x6A, Add = 0x6B, Subtract = 0x6D, Decimal = 0x6E,
                   Divide = 0x6F;
constexpr uint32_t F1 = 0x70; // F1..F24 are F1 + 0..23
constexpr uint32_t NumLock = 0x90, Scroll = 0x91;
constexpr uint32_t Oem1 = 0xBA, OemPlus = 0xBB, OemComma = 0xBC, OemMinus = 0xBD, OemPeriod = 0xBE;
constexpr uint32_t Oem2 = 0xBF, Oem3 = 0xC0, Oem4 = 0xDB, Oem5 = 0xDC, Oem6 = 0xDD, Oem7 = 0xDE,
                   Oem102 = 0xE2;
} // namespace vk

// Key flags of mouse events (the MK_ values).
constexpr uint32_t kMouseLButton = 0x0001, kMouseRButton = 0x0002, kMouseShift = 0x0004;
constexpr uint32_t kMouseControl = 0x0008, kMouseMButton = 0x0010;

// Flags of key events, as the class library hands them to OnKeyDown / OnKeyUp / OnChar:
// bits 0..7 scan code, extended key, Alt held, key was already down, key is being released.
constexpr uint32_t kKeyExtended = 0x0100, kKeyAltDown = 0x2000, kKeyWasDown = 0x4000, kKeyReleased = 0x8000;
// Key events also carry the state of Shift and Ctrl at the key, so a handler never has to ask
// the keyboard afterwards (the keys may have been let go by then).
constexpr uint32_t kKeyShiftDown = 0x10000, kKeyControlDown = 0x20000;

enum class EventKind {
    Message, // a posted message
    Timer,
    MouseMove,
    ButtonDown,
    ButtonUp,
    ButtonDoubleClick, // comes in place of the second ButtonDown
    MouseWheel,
    KeyDown,
    KeyUp,
    Char, // one UTF-16 code unit; a character outside the BMP comes as two
    Activate,
    Size,
    Close, // the user asked to close; the window stays until Destroy
    DropFiles,
    CaptureLost,
};

enum class MouseButton { None, Left, Right, Middle };
enum class WindowState { Normal, Minimized, Maximized };

struct WindowEvent {
    EventKind kind = EventKind::Message;
    // Message
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    // Timer
    uint32_t timerId = 0;
    // Mouse: client coordinates in window pixels; keyFlags are kMouse* for mouse events,
    // kKey* for key and character events.
    Point pos;
    MouseButton button = MouseButton::None;
    int wheelDelta = 0; // multiples of 120, positive away from the user
    uint32_t keyFlags = 0;
    // Keys
    uint32_t virtualKey = 0;
    uint32_t repeatCount = 0;
    char16_t character = 0;
    // Activate
    bool active = false;
    // Size: the new client size and state
    int width = 0;
    int height = 0;
    WindowState state = WindowState::Normal;
    // DropFiles (pos is where they were dropped)
    std::vector<String16> files;
};

// One part of a back buffer for Present: `source` in the buffer, shown with its top-left at `dest`
// (client coordinates).
struct PresentRect {
    Rect source;
    Point dest;
};

// Answers for a self-drawn frame: where the window system may move or resize the window.
enum class HitArea { Client, Caption, Left, Right, Top, Bottom, TopLeft, TopRight, BottomLeft, BottomRight };

class Window;

class WindowListener {
public:
    virtual ~WindowListener() = default;
    // On the UI thread; may run a nested modal loop.
    virtual void OnEvent(Window& window, const WindowEvent& event) = 0;
    // Borderless windows: asked on the UI thread inside event processing, for presses and
    // pointer moves, so it must be cheap and must not wait for the render lock. Edges and
    // corners hand the press to the window system, which resizes. A press on the Caption still
    // reaches the program (so a double click on the title can maximise), which drags with
    // MoveTo while it holds the capture; only on Wayland, where a program cannot place its
    // window, the window system moves it and the press does not arrive.
    virtual HitArea HitTest(Point /*client*/) { return HitArea::Client; }
};

enum class StandardCursor {
    Arrow,
    IBeam,
    Wait,
    Cross,
    Hand,
    SizeAll,
    SizeNWSE,
    SizeNESW,
    SizeWE,
    SizeNS,
    No,
    AppStarting
};

// A 32 x 32 monochrome cursor from the Windows AND and XOR planes (rows of 4 bytes, most
// significant bit first): AND 0 / XOR 0 black, 0 / 1 white, 1 / 0 transparent, 1 / 1 inverted.
struct CustomCursor {
    uint8_t andPlane[128] = {};
    uint8_t xorPlane[128] = {};
    int hotX = 0;
    int hotY = 0;
};

enum class BackendKind { Sdl, Headless };

// "--backend=headless" or "--backend=sdl" on the command line wins over the environment
// variable ZENDRA_BACKEND (same values); SDL2 otherwise.
BackendKind ChooseBackend(int argc, char** argv);

struct WindowOptions {
    String16 title = u"Zendra";
    int width = 800;
    int height = 600;
    bool resizable = true;
    bool borderless = false; // the program draws its own frame (see WindowListener::HitTest)
};

// Test controls of the headless backend.
class HeadlessControl {
public:
    virtual ~HeadlessControl() = default;
    // Keys come as virtual keys; characters come separately as text (as an input method sends them).
    virtual void InjectKey(uint32_t virtualKey, bool down, bool extended = false) = 0;
    virtual void InjectText(StringView16 text) = 0;
    virtual void InjectMouseMove(Point client) = 0;
    virtual void InjectButton(MouseButton button, bool down, Point client) = 0;
    virtual void InjectWheel(int delta, Point client) = 0;
    virtual void InjectDropFiles(std::vector<String16> files, Point client) = 0;
    virtual void InjectClose() = 0;
    virtual void InjectActivate(bool active) = 0;
    virtual void InjectResize(int width, int height) = 0;
    // A copy of the surface the window shows: client size, BGRA rows top-down.
    virtual std::vector<uint8_t> ReadSurface(int& width, int& height) = 0;
    virtual void SetMonitors(std::vector<Rect> monitors, Rect workArea, int dpi) = 0;
    // The cursor last set: a standard shape, or (when custom) the planes.
    virtual bool CursorIsCustom() = 0;
    virtual StandardCursor CurrentStandardCursor() = 0;
    virtual bool MouseCaptured() = 0;
    virtual Point TextInputPosition() = 0;
    virtual bool TextInputActive() = 0;
};

// A posting handle for other threads that may outlive the window: once the window is destroyed
// (or deleted) posts fail instead of touching it.
class WindowPoster {
public:
    bool PostMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    struct Shared;
    explicit WindowPoster(std::shared_ptr<Shared> shared)
        : m_shared(std::move(shared))
    {
    }

private:
    std::shared_ptr<Shared> m_shared;
};

class WindowBackend;

class Window {
public:
    // Null when the backend cannot open a window (no display, for instance). The listener
    // must outlive the window. Create on the thread that will run the window's loops.
    static std::unique_ptr<Window> Create(
        BackendKind backend, const WindowOptions& options, WindowListener* listener);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // --- Any thread ---
    // Queued for the UI thread in posting order; false once the window is destroyed.
    bool PostMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    // A handle for threads that must not touch the window after it is gone.
    std::shared_ptr<WindowPoster> Poster();
    // Copies `source` (the part inside the bitmap) of a BGRA buffer to the window at `dest`
    // (client coordinates), clipped to the client area.
    void Present(const BitmapView& buffer, Rect source, Point dest);
    // Several parts of one buffer as one screen update: each part is copied on its own (two
    // tiles in opposite corners cost two tiles, not the whole window). On X11 this reaches the
    // screen at once, also while the UI thread is busy. Destroy waits for a present in flight;
    // still, the owner joins its render thread before it destroys the window.
    void Present(const BitmapView& buffer, std::span<const PresentRect> parts);
    // The client size as the last Size event gave it; both from one read.
    void ClientSize(int& width, int& height) const;
    int ClientWidth() const;
    int ClientHeight() const;

    // --- UI thread ---
    // Runs a (nested) modal loop: dispatches messages, input and timers until `done` returns
    // true (checked before every dispatch) -> true, or until the window is destroyed or a quit
    // was posted -> false. Idle, the loop sleeps until an event, a post or a timer; it has no
    // wake-up of its own, so a `done` that turns true with time alone needs a timer.
    bool RunModalLoop(const std::function<bool()>& done);
    // Dispatches everything that is ready now without waiting; false after destroy or quit.
    bool PumpPending();
    // Ends every modal loop; the code is kept for the caller.
    void PostQuit(int exitCode);
    bool QuitPosted() const;
    int QuitCode() const;
    // Closes the window. Later posts fail; running loops return false.
    void Destroy();
    bool IsDestroyed() const;

    // Periods below 10 ms count as 10, as on the original. Setting an existing id restarts it.
    void SetTimer(uint32_t id, uint32_t periodMs);
    void KillTimer(uint32_t id);
    // True while the timer is set (UI thread; for tests of an idle window).
    bool TimerSet(uint32_t id) const;

    bool IsKeyDown(uint32_t virtualKey) const;
    Point CursorPos() const; // client coordinates
    void SetCapture();
    void ReleaseCapture();
    bool HasCapture() const;
    bool IsActive() const;

    // Where an input method shows its candidate window (the caret of the focused field).
    void SetTextInputPosition(Point client);

    // The shape stays until the next call. After every MouseMove (and when the capture ends)
    // the program asks the sprite under the pointer for its shape and calls SetCursor with the
    // answer (Arrow when none answers); setting the shape already shown costs nothing.
    void SetCursor(StandardCursor cursor);
    void SetCursor(const CustomCursor& cursor);

    void Show();
    void Maximize();
    void Minimize();
    void Restore();
    WindowState State() const;
    void SetMinimumSize(int width, int height);
    void SetTitle(StringView16 title);

    // The window's client area in screen coordinates (the whole window when borderless), and a
    // move / resize to a new one; a self-drawn frame drags with these while it holds the capture.
    // Wayland places windows itself: there MoveTo only resizes.
    Rect ScreenRect() const;
    void MoveTo(Rect screen);
    // The pointer in screen coordinates, asked of the window system now.
    Point CursorScreenPos() const;

    // Text input through the input method: on while an edit field has the focus, off otherwise.
    // While off, typed characters still come as Char events, without the input method.
    void StartTextInput();
    void StopTextInput();
    bool TextInputActive() const;

    // The usable area of the window's monitor (without panels), in screen coordinates.
    Rect WorkArea() const;
    // Logical pixels per inch (96 at 100 %); ZENDRA_DPI overrides.
    int LogicalDpi() const;
    std::vector<Rect> Monitors() const;

    // Null for the SDL backend.
    HeadlessControl* Headless();

    // Backend side, UI thread.
    struct Core;

private:
    Window();
    std::unique_ptr<Core> m_core;
};

} // namespace platform
