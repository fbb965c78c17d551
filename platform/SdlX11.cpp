// The X11 side of the SDL window, apart because the X11 headers define names such as None and
// Status that clash with ours.
#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdlib>
#include <cstring>

struct SDL_Window;

namespace platform {

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
