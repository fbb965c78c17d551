// What a window backend gives the window core: native input in a raw form, and the calls the
// core passes on. Only the window code includes this.
#pragma once

#include "platform/Window.h"

#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct SDL_Window;
struct SDL_SysWMmsg;

namespace platform {

struct RawInput {
    enum class Kind { Key, Text, MouseMove, Button, Wheel, Drop, Close, Focus, Resized, StateChanged };
    Kind kind = Kind::Key;
    uint32_t virtualKey = 0;
    uint32_t scanCode = 0;
    bool down = false;
    bool extended = false;
    String16 text;
    Point pos;
    MouseButton button = MouseButton::None;
    int delta = 0;
    std::vector<String16> files;
    bool active = false;
    int width = 0;
    int height = 0;
    WindowState state = WindowState::Normal;
};

class WindowBackend {
public:
    virtual ~WindowBackend() = default;
    virtual bool Open(const WindowOptions& options, WindowListener* listener) = 0;
    // UI thread: waits up to timeoutMs for native input or a Wake and appends what came.
    virtual void Wait(uint32_t timeoutMs, std::vector<RawInput>& out) = 0;
    // Any thread: ends a Wait early.
    virtual void Wake() = 0;
    // Any thread, never two at once; not after Close.
    virtual void Present(const BitmapView& buffer, std::span<const PresentRect> parts) = 0;
    virtual void Close() = 0;

    virtual void SetCursor(StandardCursor cursor) = 0;
    virtual void SetCursor(const CustomCursor& cursor) = 0;
    virtual void SetCapture(bool capture) = 0;
    virtual void SetTextInputPosition(Point client) = 0;
    virtual void SetTextInput(bool on) = 0;
    virtual Point CursorPos() = 0;
    virtual void Show() = 0;
    virtual void Maximize() = 0;
    virtual void Minimize() = 0;
    virtual void Restore() = 0;
    virtual WindowState State() = 0;
    virtual void SetMinimumSize(int width, int height) = 0;
    virtual void SetTitle(StringView16 title) = 0;
    virtual void ClientSize(int& width, int& height) = 0;
    virtual Rect ScreenRect() = 0;
    virtual void MoveTo(Rect screen) = 0;
    virtual Point CursorScreenPos() = 0;
    virtual Rect WorkArea() = 0;
    virtual int Dpi() = 0;
    virtual std::vector<Rect> Monitors() = 0;
    virtual HeadlessControl* Headless() { return nullptr; }
};

std::unique_ptr<WindowBackend> CreateHeadlessBackend();
std::unique_ptr<WindowBackend> CreateSdlBackend();

// Translations of the SDL backend, apart so that they can be checked without a display.
// The virtual key of an SDL key (scan code and key code as SDL numbers); 0 for keys that have none.
uint32_t VirtualKeyFromSdl(int scancode, int keycode, bool& extended);
// SDL's hit-test answer (an SDL_HitTestResult) for a frame area.
int SdlHitTestFor(HitArea area);
// SDL's cursor planes (data, mask) from the Windows AND / XOR planes.
void SdlCursorPlanes(const CustomCursor& cursor, uint8_t data[128], uint8_t mask[128]);

// Copies the part of `buffer` given by `source` to (dest) of a BGRA target, both clipped.
// Returns the target rectangle written (empty when nothing was).
Rect CopyBgraRect(const BitmapView& buffer, Rect source, Point dest, const BitmapView& target);

// The desktop's logical DPI from the X resources ("Xft.dpi:\t144"); 0 when not set.
int ParseXftDpi(const char* resources);
int XftDpiOfSdlWindow(SDL_Window* window); // 0 when not on X11 or not set
bool IsX11Window(SDL_Window* window);
// The pointer in screen coordinates, asked of the X server now (SDL keeps its last answer until
// a pointer event comes, which a drag from another program never sends); false off X11.
bool X11PointerOnScreen(SDL_Window* window, int& x, int& y);
// The character an X key press types without an input method (layout, Shift and AltGr
// applied); empty for keys without one and for Ctrl+key.
String16 TextOfX11KeyPress(const SDL_SysWMmsg* msg);

// Moves each activation ahead of the pointer input just before it (input of an inactive window
// with `active` false).
void OrderActivationFirst(std::deque<RawInput>& input, bool active);

// ZENDRA_DPI when it holds a sensible number, else `fallback`.
int DpiFromEnvironment(int fallback);

} // namespace platform
