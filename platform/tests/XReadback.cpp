#include "platform/tests/XReadback.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace testx {

std::vector<uint32_t> ReadScreen(const std::string& display, int x, int y, int w, int h)
{
    std::vector<uint32_t> out;
    Display* d = XOpenDisplay(display.c_str());
    if (!d)
        return out;
    XImage* image = XGetImage(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(w), static_cast<unsigned>(h),
        AllPlanes, ZPixmap);
    if (image) {
        out.reserve(static_cast<size_t>(w) * h);
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col)
                out.push_back(static_cast<uint32_t>(XGetPixel(image, col, row)) & 0xFFFFFF);
        XDestroyImage(image);
    }
    XCloseDisplay(d);
    return out;
}

} // namespace testx

namespace testx {

struct PlainWindow {
    Display* display = nullptr;
};

PlainWindow* OpenPlainWindow(const std::string& display, int x, int y, int w, int h, unsigned long& id)
{
    Display* d = XOpenDisplay(display.c_str());
    if (!d)
        return nullptr;
    XSetWindowAttributes attrs {};
    attrs.override_redirect = True;
    const ::Window win = XCreateWindow(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(w),
        static_cast<unsigned>(h), 0, CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect, &attrs);
    XMapWindow(d, win);
    XSync(d, False);
    id = win;
    return new PlainWindow { d };
}

void ClosePlainWindow(PlainWindow* window)
{
    if (!window)
        return;
    XCloseDisplay(window->display);
    delete window;
}

} // namespace testx
