// The X11 names (Window, None, Status ...) clash with ours, so our headers come first and this
// file names the X window type as ::Window.
#include "platform/X11Present.h"
#include "platform/WindowBackend.h"

#include <SDL.h>
#include <SDL_syswm.h>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {

namespace {

bool EnvironmentSaysOff(const char* name)
{
    const char* value = std::getenv(name);
    return value && std::strcmp(value, "0") == 0;
}

} // namespace

#if defined(SDL_VIDEO_DRIVER_X11)

namespace {

// X errors come through one process-wide handler, which by default (and SDL's, which hands on
// to it) ends the process. Errors on the presenters' own connections are only noted: a present
// that goes wrong (the window gone behind our back, shared memory refused by a remote server)
// must not take the pictures with it. Others go on to the handler that was there before.
std::mutex g_errorsMutex;
std::vector<std::pair<Display*, std::atomic<bool>*>> g_ourDisplays;
XErrorHandler g_previousHandler = nullptr;
bool g_handlerInstalled = false;

int NoteOurError(Display* display, XErrorEvent* event)
{
    {
        std::lock_guard<std::mutex> lock(g_errorsMutex);
        for (auto& [ours, failed] : g_ourDisplays) {
            if (ours == display) {
                *failed = true;
                return 0;
            }
        }
    }
    return g_previousHandler ? g_previousHandler(display, event) : 0;
}

void WatchErrors(Display* display, std::atomic<bool>* failed)
{
    std::lock_guard<std::mutex> lock(g_errorsMutex);
    if (!g_handlerInstalled) {
        g_previousHandler = XSetErrorHandler(NoteOurError);
        g_handlerInstalled = true;
    }
    g_ourDisplays.emplace_back(display, failed);
}

void StopWatchingErrors(Display* display)
{
    std::lock_guard<std::mutex> lock(g_errorsMutex);
    std::erase_if(g_ourDisplays, [display](const auto& entry) { return entry.first == display; });
}

} // namespace

struct X11Presenter::Impl {
    Display* display = nullptr;
    ::Window window = 0;
    GC gc = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    bool useShm = false;
    XShmSegmentInfo segment {};
    XImage* image = nullptr;
    std::vector<uint8_t> plain; // the pixels of `image` without shared memory
    int width = 0;
    int height = 0;
    std::atomic<bool> failed { false }; // an X error came on this connection

    ~Impl()
    {
        DropImage();
        if (gc)
            XFreeGC(display, gc);
        if (display) {
            XSync(display, False); // errors still on their way land while we are watched
            StopWatchingErrors(display);
            XCloseDisplay(display);
        }
    }

    BitmapView Shadow() const
    {
        if (!image)
            return {};
        return { reinterpret_cast<uint8_t*>(image->data), width, height, image->bytes_per_line };
    }

    void DropImage()
    {
        if (!image)
            return;
        if (useShm) {
            XShmDetach(display, &segment);
            XSync(display, False);
            image->data = nullptr;
            XDestroyImage(image);
            shmdt(segment.shmaddr);
            segment = {};
        } else {
            image->data = nullptr; // ours, in `plain`
            XDestroyImage(image);
            plain.clear();
            plain.shrink_to_fit();
        }
        image = nullptr;
    }

    bool MakeShmImage(int w, int h)
    {
        XImage* img = XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &segment,
            static_cast<unsigned>(w), static_cast<unsigned>(h));
        if (!img)
            return false;
        const size_t bytes = static_cast<size_t>(img->bytes_per_line) * static_cast<size_t>(h);
        segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (segment.shmid < 0) {
            XDestroyImage(img);
            return false;
        }
        void* addr = shmat(segment.shmid, nullptr, 0);
        if (addr == reinterpret_cast<void*>(-1)) {
            shmctl(segment.shmid, IPC_RMID, nullptr);
            XDestroyImage(img);
            return false;
        }
        segment.shmaddr = img->data = static_cast<char*>(addr);
        segment.readOnly = False;
        // A remote server refuses the attach with an error: checked here, not kept as a failure.
        XSync(display, False);
        const bool earlier = failed.exchange(false);
        const bool attached = XShmAttach(display, &segment) && (XSync(display, False), !failed.load());
        failed = earlier;
        // Marked for removal now: it goes when both sides have detached, also after a crash.
        shmctl(segment.shmid, IPC_RMID, nullptr);
        if (!attached) {
            img->data = nullptr;
            XDestroyImage(img);
            shmdt(addr);
            segment = {};
            return false;
        }
        std::memset(addr, 0, bytes);
        image = img;
        return true;
    }

    bool MakePlainImage(int w, int h)
    {
        plain.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 0);
        image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
            reinterpret_cast<char*>(plain.data()), static_cast<unsigned>(w), static_cast<unsigned>(h), 32, w * 4);
        return image != nullptr;
    }

    // A new shadow of w x h keeping the old pixels that fit.
    bool Reshape(int w, int h)
    {
        w = std::max(w, 1);
        h = std::max(h, 1);
        if (image && w == width && h == height)
            return true;
        std::vector<uint8_t> keep;
        const BitmapView old = Shadow();
        int oldW = width, oldH = height;
        if (old.pixels) {
            keep.resize(static_cast<size_t>(oldW) * oldH * 4);
            CopyBgraRect(old, { 0, 0, oldW, oldH }, { 0, 0 }, { keep.data(), oldW, oldH, oldW * 4 });
        }
        DropImage();
        width = w;
        height = h;
        const bool made = useShm ? MakeShmImage(w, h) : MakePlainImage(w, h);
        if (!made)
            return false;
        if (!keep.empty())
            CopyBgraRect({ keep.data(), oldW, oldH, oldW * 4 }, { 0, 0, oldW, oldH }, { 0, 0 }, Shadow());
        return true;
    }

    void Put(Rect r)
    {
        if (useShm) {
            XShmPutImage(display, window, gc, image, r.left, r.top, r.left, r.top, static_cast<unsigned>(r.Width()),
                static_cast<unsigned>(r.Height()), False);
        } else {
            XPutImage(display, window, gc, image, r.left, r.top, r.left, r.top, static_cast<unsigned>(r.Width()),
                static_cast<unsigned>(r.Height()));
        }
    }

    // Exposes reach this connection too: an uncovered part is redrawn with the next present,
    // also while the UI thread is busy. True when something was put.
    bool RedrawExposed()
    {
        bool put = false;
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != Expose)
                continue;
            const XExposeEvent& e = event.xexpose;
            Rect r { e.x, e.y, std::min(e.x + e.width, width), std::min(e.y + e.height, height) };
            if (!r.IsEmpty()) {
                Put(r);
                put = true;
            }
        }
        return put;
    }

    // The server must be done with shared memory before it is written again; plain image
    // requests carry their pixels, so sending them is enough.
    void Finish()
    {
        if (useShm)
            XSync(display, False);
        else
            XFlush(display);
    }

    // A 32-deep visual blends with the alpha byte; the back buffer's alpha is not meant for that.
    void Opaque(Rect r)
    {
        if (depth != 32)
            return;
        const BitmapView s = Shadow();
        for (int y = r.top; y < r.bottom; ++y) {
            uint8_t* p = s.pixels + static_cast<ptrdiff_t>(y) * s.stride + r.left * 4;
            for (int x = 0; x < r.Width(); ++x)
                p[x * 4 + 3] = 255;
        }
    }
};

std::unique_ptr<X11Presenter> X11Presenter::Create(SDL_Window* window, int width, int height)
{
    if (!window || EnvironmentSaysOff("ZENDRA_X11_PRESENT"))
        return nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return nullptr;
    return CreateForXWindow(DisplayString(info.info.x11.display), info.info.x11.window, width, height);
}

std::unique_ptr<X11Presenter> X11Presenter::CreateForXWindow(
    const char* displayName, unsigned long xWindow, int width, int height)
{
    auto impl = std::make_unique<Impl>();
    impl->display = XOpenDisplay(displayName);
    if (!impl->display)
        return nullptr;
    WatchErrors(impl->display, &impl->failed);
    impl->window = xWindow;
    XWindowAttributes attrs {};
    if (!XGetWindowAttributes(impl->display, impl->window, &attrs) || !attrs.visual)
        return nullptr;
    impl->visual = attrs.visual;
    impl->depth = attrs.depth;
    // The back buffer's bytes as they are: B, G, R, A in a little-endian 32-bit pixel.
    if ((impl->depth != 24 && impl->depth != 32) || impl->visual->red_mask != 0xFF0000
        || impl->visual->green_mask != 0xFF00 || impl->visual->blue_mask != 0xFF
        || ImageByteOrder(impl->display) != LSBFirst)
        return nullptr;
    int count = 0;
    bool fourBytes = false;
    if (XPixmapFormatValues* formats = XListPixmapFormats(impl->display, &count)) {
        for (int i = 0; i < count; ++i)
            fourBytes |= formats[i].depth == impl->depth && formats[i].bits_per_pixel == 32;
        XFree(formats);
    }
    if (!fourBytes)
        return nullptr;
    impl->gc = XCreateGC(impl->display, impl->window, 0, nullptr);
    if (!impl->gc)
        return nullptr;
    // No exposures from our own copies; the window's exposes come to this connection as well.
    XSetGraphicsExposures(impl->display, impl->gc, False);
    XSelectInput(impl->display, impl->window, ExposureMask);

    impl->useShm = !EnvironmentSaysOff("ZENDRA_X11_SHM") && XShmQueryExtension(impl->display);
    if (!impl->Reshape(width, height)) {
        if (!impl->useShm)
            return nullptr;
        impl->useShm = false; // a remote server, or no segments left
        if (!impl->Reshape(width, height))
            return nullptr;
    }
    const Mode mode = impl->useShm ? Mode::SharedMemory : Mode::PutImage;
    return std::unique_ptr<X11Presenter>(new X11Presenter(std::move(impl), mode));
}

void X11Presenter::Present(const BitmapView& buffer, std::span<const PresentRect> parts)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_impl->image)
        return;
    const BitmapView shadow = m_impl->Shadow();
    bool any = m_impl->RedrawExposed();
    for (const PresentRect& part : parts) {
        const Rect written = CopyBgraRect(buffer, part.source, part.dest, shadow);
        if (written.IsEmpty())
            continue;
        m_impl->Opaque(written);
        m_impl->Put(written);
        any = true;
    }
    if (any)
        m_impl->Finish();
}

bool X11Presenter::HadError() const { return m_impl->failed.load(); }

void X11Presenter::Resize(int width, int height)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_impl->Reshape(width, height) && m_impl->useShm) {
        m_impl->useShm = false;
        m_impl->Reshape(width, height);
        m_mode = m_impl->image ? Mode::PutImage : Mode::Off;
    }
}

void X11Presenter::Repaint()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_impl->image)
        return;
    while (XPending(m_impl->display) > 0) { // exposes this covers
        XEvent event;
        XNextEvent(m_impl->display, &event);
    }
    m_impl->Put({ 0, 0, m_impl->width, m_impl->height });
    m_impl->Finish();
}

#else // no X11 in this SDL

struct X11Presenter::Impl { };

std::unique_ptr<X11Presenter> X11Presenter::Create(SDL_Window*, int, int)
{
    (void)&EnvironmentSaysOff;
    return nullptr;
}

std::unique_ptr<X11Presenter> X11Presenter::CreateForXWindow(const char*, unsigned long, int, int)
{
    return nullptr;
}

void X11Presenter::Present(const BitmapView&, std::span<const PresentRect>) { }
bool X11Presenter::HadError() const { return false; }
void X11Presenter::Resize(int, int) { }
void X11Presenter::Repaint() { }

#endif

X11Presenter::X11Presenter(std::unique_ptr<Impl> impl, Mode mode)
    : m_impl(std::move(impl))
    , m_mode(mode)
{
}

X11Presenter::~X11Presenter() = default;

} // namespace platform
