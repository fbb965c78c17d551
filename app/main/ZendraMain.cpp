// Zendra's start: the application object runs the main window. "--platform-demo" shows the
// platform window's own test pattern instead (colour bars and a line of text, ending on close
// or Escape). "--backend=headless|sdl" chooses the window system; "--help" and "--version"
// print and end before anything is read or written; every other argument is the launch command
// line.
#include "app/CommandLine.h"
#include "app/ZendraApp.h"
#include "platform/Font.h"
#include "platform/Thread.h"
#include "platform/Window.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

using namespace platform;

namespace {

// Colour bars across the top, a black band with text below. The bar colours are pure so that
// the screen test can find them.
constexpr uint32_t kBars[] = { 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00 };

class DemoWindow final : public WindowListener {
public:
    explicit DemoWindow(std::shared_ptr<Font> font)
        : m_font(std::move(font))
    {
    }

    void OnEvent(Window& window, const WindowEvent& e) override
    {
        switch (e.kind) {
        case EventKind::Close:
            window.Destroy();
            break;
        case EventKind::KeyDown:
            if (e.virtualKey == vk::Escape)
                window.Destroy();
            break;
        case EventKind::Size:
            Draw(window);
            break;
        default:
            break;
        }
    }

    void Draw(Window& window)
    {
        const int w = window.ClientWidth(), h = window.ClientHeight();
        if (w <= 0 || h <= 0)
            return;
        m_back.assign(static_cast<size_t>(w) * h * 4, 0);
        const int barsBottom = h * 2 / 3;
        for (int y = 0; y < barsBottom; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint32_t c = kBars[x * 4 / w];
                uint8_t* p = &m_back[(static_cast<size_t>(y) * w + x) * 4];
                p[0] = c & 0xFF;
                p[1] = (c >> 8) & 0xFF;
                p[2] = (c >> 16) & 0xFF;
                p[3] = 0xFF;
            }
        }
        for (size_t i = static_cast<size_t>(barsBottom) * w * 4 + 3; i < m_back.size(); i += 4)
            m_back[i] = 0xFF;
        BitmapView view { m_back.data(), w, h, w * 4 };
        if (m_font)
            m_font->DrawText(view, 16, barsBottom + 12, u"Zendra \u2014 platform window", 0xFFFFFF);
        // The bars from this thread; the text band from another one, as the render thread
        // of the full program will present.
        window.Present(view, { 0, 0, w, barsBottom }, { 0, 0 });
        Thread presenter([&](Thread&) {
            window.Present(view, { 0, barsBottom, w, h }, { 0, barsBottom });
            return 0;
        });
        if (!presenter.Start() || !presenter.Join())
            window.Present(view, { 0, barsBottom, w, h }, { 0, barsBottom });
        if (!m_announced) {
            m_announced = true;
            std::printf("zendra: presented %dx%d\n", w, h);
            std::fflush(stdout);
        }
    }

private:
    std::shared_ptr<Font> m_font;
    std::vector<uint8_t> m_back;
    bool m_announced = false;
};

} // namespace

namespace {

int RunPlatformDemo(BackendKind backend)
{
    DemoWindow demo(Font::Create({ u"Tahoma", 32, 400, false }));
    WindowOptions options;
    options.title = u"Zendra";
    options.width = 640;
    options.height = 480;
    auto window = Window::Create(backend, options, &demo);
    if (!window) {
        std::fprintf(stderr, "zendra: cannot open a window (no display? try --backend=headless)\n");
        return 1;
    }
    window->SetMinimumSize(320, 240);
    window->Show();
    demo.Draw(*window);
    if (backend == BackendKind::Headless)
        return 0; // nothing can close it: one frame is the whole show
    window->RunModalLoop(nullptr);
    return window->QuitPosted() ? window->QuitCode() : 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string_view info = InfoOption(argc, argv);
    if (info == "--help") {
        std::fputs(CommandLineHelp(), stdout);
        return 0;
    }
    if (info == "--version") {
        std::printf("zendra %s\n", ZENDRA_VERSION);
        return 0;
    }
    // A bare path starts the album and opens nothing; say how a photo is opened.
    const std::u16string line = BuildCommandLine(argc, argv);
    if (!line.empty() && line[0] != u'o' && line[0] != u'i' && line[0] != u'"' && !IsUninstallRun(line))
        std::fprintf(stderr, "zendra: nothing is opened; to open a photo: zendra o PATH (see zendra --help)\n");

    const BackendKind backend = ChooseBackend(argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--platform-demo")
            return RunPlatformDemo(backend);
    return theApp.InitInstance(argc, argv, backend);
}
