// Zendra's start: the render window with its frame, drawn by the render thread, and a small
// start screen of sprites in place of the tab frame until the application frame replaces it.
// "--platform-demo" shows the platform window's own test pattern instead (colour bars and a
// line of text, ending on close or Escape).
#include "app/samples/ListSamplePage.h"
#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "platform/Clipboard.h"
#include "platform/Clock.h"
#include "platform/DialogTemplate.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "platform/SystemMessageBox.h"
#include "platform/Font.h"
#include "platform/Thread.h"
#include "platform/Window.h"
#include "ui/Button.h"
#include "ui/DialogSprite.h"
#include "ui/DrawnUiImages.h"
#include "ui/Frame.h"
#include "ui/Menu.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/ToolkitControls.h"
#include "ui/UiResources.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
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

// ---- the start screen -------------------------------------------------------------------------

// The window's inner background: a calm dark gradient, so no large area is pure black.
class StartBackground : public CSprite {
public:
    int OnDraw(uint32_t) override
    {
        if (!AllDirty() || !m_image.data)
            return 0;
        const int h = m_image.height;
        for (int y = 0; y < h; ++y) {
            const int v = 0x20 - (0x20 - 0x17) * y / (h > 1 ? h - 1 : 1);
            uint8_t* row = m_image.data + size_t(y) * m_image.width * 4;
            for (int x = 0; x < m_image.width; ++x) {
                row[x * 4] = row[x * 4 + 1] = row[x * 4 + 2] = uint8_t(v);
                row[x * 4 + 3] = 255;
            }
        }
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }
};

// A card in the middle with the program's name and three buttons.
class StartPanel : public CMessageSprite {
public:
    static constexpr int kWidth = 420, kHeight = 340;
    static constexpr char16_t kCardText[] = u"Zendra \u2014 Photo organiser and editor";
    enum { kBusy = 1, kTip = 2, kDialog = 3, kQuit = 4, kAsk = 5, kInform = 6 };

    StartPanel() { SetFlags(SF_INPUT); }
    ~StartPanel() override
    {
        FreeImageBuffer(m_title);
        FreeImageBuffer(m_subtitle);
        CSprite::ReleaseResources(1);
    }

    int OnCreate() override
    {
        RenderTextLocked(u"Zendra", m_title, nullptr, 34, 400, nullptr);
        RenderTextLocked(u"Photo organiser and editor", m_subtitle, nullptr, 15, 400, nullptr);
        struct Row { CSButton& b; int id; const char16_t* caption; int y; };
        const Row rows[] = {{m_busyButton, kBusy, u"Show the busy ring", 150},
                           {m_tipButton, kTip, u"Show a tooltip", 194},
                           {m_dialogButton, kDialog, u"Open a dialog", 238},
                           {m_quitButton, kQuit, u"Quit", 282}};
        // Ctrl+C copies the card's text: the clipboard other programs paste from.
        if (m_window)
            m_window->AddAccelerator(this, 'C', 0, 1);
        for (const Row& sp : rows) {
            const int x = (kWidth - 220) / 2;
            if (!sp.b.Create(this, nullptr, sp.id, 0, x, sp.y, x + 220, sp.y + 34) ||
                !sp.b.Setup(sp.caption, nullptr, 0, x, sp.y, x + 220, sp.y + 34))
                return 0;
            AddChild(&sp.b);
        }
        return m_menu.Create(nullptr, m_window, 0, 200, 0, 0, 100, 100);
    }

    // A right click on the card opens a small menu; its first entry asks through the message box.
    void OnRButtonDown(int x, int y, uint32_t flags) override
    {
        if (ChildFromPoint(x, y) || !m_window) {
            CMessageSprite::OnRButtonDown(x, y, flags);
            return;
        }
        m_menu.ReleaseResources(0);
        m_menu.AddItemEx(u"A", kAsk, u"Ask a question", nullptr, nullptr, 0, nullptr);
        m_menu.AddItem(nullptr, 0, nullptr, nullptr);
        m_menu.AddItemEx(u"I", kInform, u"Show a message", nullptr, nullptr, 0, nullptr);
        const SPoint p = LocalToWindowPoint({x, y});
        m_menu.Track(this, p.x, p.y, true, true);
    }

    int OnDraw(uint32_t) override
    {
        if (!AllDirty() || !m_image.data)
            return 0;
        std::memset(m_image.data, 0, m_image.byteSize);
        const int w = m_image.width, h = m_image.height;
        FillRect8(m_image, {0, 0, w, h}, 0x262626, 255);
        DrawRectOutline8(m_image, 0x3A3A3A, 255, 0, 0, w, h);
        FillRect8(m_image, {w / 2 - 24, 34, w / 2 + 24, 37}, 0x4682C8, 255);
        if (m_title.data)
            FillThroughMask8(m_image, m_title, (w - m_title.width) / 2, 48, 0xEBEBEB);
        if (m_subtitle.data)
            FillThroughMask8(m_image, m_subtitle, (w - m_subtitle.width) / 2, 100, 0xA0A0A0);
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }

    // Focusable only so that its accelerator fires; it never shows the focus marker.
    int CanFocus() override { return 1; }
    int ShowFocusMark() override { return 0; }
    void OnKeyDown(uint32_t key, uint32_t, uint32_t) override
    {
        if (key == 'C' && SystemClipboard().SetText(kCardText)) {
            std::printf("zendra: copied the card text\n");
            std::fflush(stdout);
        }
    }

    int OnSpriteMessage(SpriteMessage* m) override
    {
        if (m && m->code == MSG_MENU_COMMAND) {
            std::printf("zendra: menu command %d\n", int(m->param1));
            std::fflush(stdout);
            const int result = m->param1 == kAsk ? SpriteMessageBox(u"Keep the changes?", kMbQuestion, kMbYesNo)
                                                  : SpriteMessageBox(u"The album is up to date.", kMbInformation, kMbOk);
            std::printf("zendra: message box result %d\n", result);
            std::fflush(stdout);
        }
        if (m && m->code == MSG_COMMAND && m_window) {
            switch (m->param1) {
            case kBusy:
                if (m_busy)
                    m_window->EndBusy();
                else
                    m_window->BeginBusy(BusyRect());
                m_busy = !m_busy;
                m_busyButton.SetText(m_busy ? u"Hide the busy ring" : u"Show the busy ring");
                break;
            case kTip: {
                // Under the button: a tooltip far from the pointer is taken away by the window.
                const SPoint p = m_tipButton.LocalToWindowPoint({0, m_tipButton.Height() + 4});
                m_window->ShowTooltip(p.x, p.y, u"Tooltips stay while the pointer is near\nand go when it moves away", false);
                break;
            }
            case kDialog:
                RunDialog();
                break;
            case kQuit:
                m_window->OnCloseRequest();
                break;
            }
        }
        return CMessageSprite::OnSpriteMessage(m);
    }

private:
    // The settings dialog from its compiled template: four check boxes bound to the start
    // screen's state, OK and Cancel.
    void RunDialog()
    {
        std::unique_ptr<DialogTemplate> t
            = DialogTemplate::Load(JoinPath(ProgramFolder(), u"dialogs"), kSettingsDialog);
        CDialogSprite dialog;
        dialog.m_dimRequest = 1;
        if (!t || !dialog.CreateFromTemplate(*t, 0, 0, 0, 0)) {
            std::printf("zendra: dialog %d cannot be made\n", int(kSettingsDialog));
            std::fflush(stdout);
            return;
        }
        for (size_t i = 0; i < std::size(m_settings); ++i)
            dialog.BindControl(kSettingIds[i], &m_settings[i], kBindInt, 0, 0);
        dialog.UpdateData(0);
        const int result = dialog.DoModal();
        std::printf("zendra: dialog result %d, settings %d %d %d %d\n", result, int(m_settings[0]),
                    int(m_settings[1]), int(m_settings[2]), int(m_settings[3]));
        std::fflush(stdout);
    }

    static constexpr uint16_t kSettingsDialog = 208;
    static constexpr int32_t kSettingIds[] = {1219, 1221, 1229, 1220};
    int32_t m_settings[4] = {0, 1, 0, 1};

    // Beside the card, so the ring (which takes the clicks under it) leaves the buttons free.
    SRect BusyRect() const
    {
        const SRect r = Rect();
        return {r.right + 32, r.top + 100, r.right + 128, r.top + 196};
    }

    ImageBuffer8 m_title, m_subtitle;
    CSButton m_busyButton, m_tipButton, m_dialogButton, m_quitButton;
    CSMenu m_menu;
    bool m_busy = false;
};

class StartWindow : public CRenderWindow {
public:
    ~StartWindow() override { Destroy(); }

    int OnCreate() override
    {
        const int result = CRenderWindow::OnCreate();
        if (result != 0)
            return result;
        // --sample=lists: the lists sample page fills the window instead of the card.
        if (m_sampleLists)
            return m_background.Create(nullptr, this, 0, 1, 0, 0, 100, 100) &&
                           m_lists.Create(nullptr, this, 0, 0, 0, 100, 100, 2)
                       ? (AddTopLevel(&m_background), AddTopLevel(&m_lists), 0)
                       : -1;
        if (!m_background.Create(nullptr, this, 0, 1, 0, 0, 100, 100) ||
            !m_panel.Create(nullptr, this, 0, 2, 0, 0, StartPanel::kWidth, StartPanel::kHeight))
            return -1;
        AddTopLevel(&m_background);
        AddTopLevel(&m_panel);
        return 0;
    }

    void OnLayout(int w, int h) override
    {
        CRenderWindow::OnLayout(w, h);
        m_background.SetPos(CFrame::kBorder, 41, w - 2 * CFrame::kBorder, h - 41 - CFrame::kBorder);
        if (m_sampleLists)
            m_lists.SetPos(CFrame::kBorder, 41, w - 2 * CFrame::kBorder, h - 41 - CFrame::kBorder);
        m_panel.SetPos((w - StartPanel::kWidth) / 2, (h - StartPanel::kHeight) / 2, StartPanel::kWidth,
                       StartPanel::kHeight);
    }

    void OnWindowTimer(uint32_t id) override
    {
        if (id == kAnnounceTimer && !m_announced && PresentedFrames() > 0) {
            m_announced = true;
            PlatformWindow()->KillTimer(kAnnounceTimer);
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - m_start).count();
            std::printf("zendra: presented %dx%d in %lld ms\n", ClientWidth(), ClientHeight(), (long long)ms);
            std::fflush(stdout);
        }
    }

    static constexpr uint32_t kAnnounceTimer = 1;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    bool m_announced = false;
    bool m_sampleLists = false;

private:
    StartBackground m_background;
    StartPanel m_panel;
    CListSamplePage m_lists;
};

BackendKind g_backend = BackendKind::Headless;

int RunStartScreen(BackendKind backend, std::chrono::steady_clock::time_point start, bool sampleLists)
{
    g_backend = backend;
    // The string table, the skins and the log from the program folder: without them the
    // program does not start.
    SetResourceMessageSink([](StringView16 text) {
        ShowSystemMessageBox(g_backend, u"Zendra", text);
    });
    if (!theAppResources.Init(ProgramFolder(), {})) {
        ShowSystemMessageBox(backend, u"Zendra", theAppResources.InitFailureText());
        return 1;
    }
    UseAppResourcesForUi();
    // Template edit and trackbar controls become edit fields and sliders; data-exchange errors
    // show in the sprite message box.
    RegisterToolkitControls();
    InstallSpriteMessageBox();
    // Skin files from the program folder; an image the widgets ask for beyond the loaded set
    // is drawn when the folder lacks it.
    SetUiImageSource(&FilesThenDrawnUiImage);
    // On a real screen copy and paste go through the X11 clipboard (also under XWayland); with
    // no X display, or headless, the clipboard stays inside the program.
    if (backend == BackendKind::Sdl)
        if (std::unique_ptr<Clipboard> x11 = Clipboard::CreateX11(""))
            SetSystemClipboard(std::move(x11));
    StartWindow window;
    window.m_start = start;
    window.m_sampleLists = sampleLists;
    RenderWindowOptions options;
    options.backend = backend;
    options.window.title = u"Zendra";
    // The headless run keeps the small size its screen test expects; a real screen starts at
    // the frame's minimum size and is maximised.
    options.window.width = backend == BackendKind::Sdl ? CFrame::kMinWidth : 640;
    options.window.height = backend == BackendKind::Sdl ? CFrame::kMinHeight : 480;
    options.window.borderless = backend == BackendKind::Sdl;
    options.maximize = backend == BackendKind::Sdl;
    if (!window.Open(options))
        return 1;
    window.PlatformWindow()->SetMinimumSize(CFrame::kMinWidth, CFrame::kMinHeight);
    // The screen area: the union of the monitors, known once the window is open.
    Rect screen;
    for (const Rect& m : window.PlatformWindow()->Monitors())
        screen = screen.IsEmpty() ? m
                                  : Rect{std::min(screen.left, m.left), std::min(screen.top, m.top),
                                         std::max(screen.right, m.right), std::max(screen.bottom, m.bottom)};
    theAppResources.ui.screenRect = screen;
    window.PlatformWindow()->SetTimer(StartWindow::kAnnounceTimer, 10);
    window.SetWindowReady(1);
    if (backend == BackendKind::Headless) {
        // Nothing can close it: run until the first frame is out.
        window.PlatformWindow()->RunModalLoop([&] { return window.m_announced; });
        window.Destroy();
        return 0;
    }
    window.PlatformWindow()->RunModalLoop(nullptr);
    const int code = window.PlatformWindow()->QuitPosted() ? window.PlatformWindow()->QuitCode() : 0;
    window.Destroy();
    // The X11 clipboard's thread and connection end here, not among the exit handlers.
    SetSystemClipboard(nullptr);
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    const auto start = std::chrono::steady_clock::now();
    const BackendKind backend = ChooseBackend(argc, argv);
    bool sampleLists = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--platform-demo")
            return RunPlatformDemo(backend);
        sampleLists = sampleLists || std::string_view(argv[i]) == "--sample=lists";
    }
    return RunStartScreen(backend, start, sampleLists);
}
