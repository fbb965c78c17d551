// The X11 side of the SDL window, apart because the X11 headers define names such as None and
// Status that clash with ours.
#include "platform/Text.h"

#include <SDL.h>
#include <SDL_syswm.h>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xutil.h>
#include <xkbcommon/xkbcommon.h>
#endif

#include <cstdlib>
#include <cstring>

struct SDL_Window;

namespace platform {

bool IsX11Window(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return window && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11;
}

bool X11PointerOnScreen(SDL_Window* window, int& x, int& y)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    ::Window root = 0, child = 0;
    int wx = 0, wy = 0;
    unsigned mask = 0;
    return XQueryPointer(info.info.x11.display, info.info.x11.window, &root, &child, &x, &y, &wx, &wy, &mask);
#else
    (void)window;
    (void)x;
    (void)y;
    return false;
#endif
}

String16 TextOfX11KeyPress(const SDL_SysWMmsg* msg)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    if (!msg || msg->subsystem != SDL_SYSWM_X11)
        return {};
    XEvent event = msg->msg.x11.event;
    // Ctrl+key is a command (its control character is made from the key), not text.
    if (event.type != KeyPress || (event.xkey.state & ControlMask))
        return {};
    char bytes[32];
    KeySym sym = 0;
    XLookupString(&event.xkey, bytes, sizeof bytes, &sym, nullptr); // the layout and Shift applied
    const uint32_t c = xkb_keysym_to_utf32(static_cast<uint32_t>(sym));
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
        return {};
    String16 text;
    if (c < 0x10000) {
        text.push_back(static_cast<char16_t>(c));
    } else {
        text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
    return text;
#else
    (void)msg;
    return {};
#endif
}

int ParseXftDpi(const char* resources)
{
    if (!resources)
        return 0;
    const char* p = resources;
    while (p && *p) {
        if (std::strncmp(p, "Xft.dpi:", 8) == 0) {
            const double dpi = std::strtod(p + 8, nullptr); // strtod skips the blanks
            return dpi >= 48 && dpi <= 960 ? static_cast<int>(dpi + 0.5) : 0;
        }
        p = std::strchr(p, '\n');
        if (p)
            ++p;
    }
    return 0;
}

int XftDpiOfSdlWindow(SDL_Window* window)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return 0;
    return ParseXftDpi(XResourceManagerString(info.info.x11.display));
#else
    (void)window;
    return 0;
#endif
}

} // namespace platform
