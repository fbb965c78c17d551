// The run of the program: settings, the server thread, the main window, and the way back.
//
// The process's global objects are built before main in this order, which their users rely
// on only in that none of their constructors reads another: theApp (here), the menu icons (ui),
// theAppData (AppData.cpp), the photo database and its scan thread (album), theServerThread
// (ServerThread.cpp), the RAW decoder's lock (imaging), the string table and UI resources
// (ui), the ticket registry (ui), the two thumbnail loaders (album) and theAlgorithmThread
// (algorithms). None of them starts a thread or reads a file before main.
#include "app/ZendraApp.h"

#include "app/AppData.h"
#include "app/CommandLine.h"
#include "app/ServerThread.h"
#include "app/ZendraDlg.h"
#include "platform/Clipboard.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "platform/SystemMessageBox.h"
#include "platform/Thread.h"
#include "ui/Frame.h"
#include "ui/DrawnUiImages.h"
#include "ui/MessageBox.h"
#include "ui/ToolkitControls.h"
#include "ui/UiResources.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>

CZendraApp theApp;

namespace {

constexpr char16_t kAppDataFailedText[] = u"Init application data failed";

platform::BackendKind g_backend = platform::BackendKind::Headless;

// The main window with the figures the benchmarks and the tests read: the first presented frame
// ("presented WxH in N ms"), and with a photo named at start the first frame after it was
// opened ("photo shown in N ms"), both counted from the start of main.
class TimedMainWindow final : public CZendraDlg {
public:
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    bool announced = false;
    bool photoAnnounced = false;
    uint64_t framesWhenOpened = 0;

    long long Elapsed() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    }

    void OnWindowTimer(uint32_t id) override
    {
        if (id != kAnnounceTimer) {
            CZendraDlg::OnWindowTimer(id);
            // The photo named at start is opened on the first start-up tick.
            if (id == IDT_STARTUP && StartupTicks() == 1)
                framesWhenOpened = PresentedFrames();
            return;
        }
        if (!announced && PresentedFrames() > 0) {
            announced = true;
            std::printf("zendra: presented %dx%d in %lld ms\n", ClientWidth(), ClientHeight(), Elapsed());
            std::fflush(stdout);
        }
        if (!photoAnnounced && StartupTicks() >= 1 && PresentedFrames() > framesWhenOpened) {
            photoAnnounced = true;
            if (GetActiveEditPage()) {
                std::printf("zendra: photo shown in %lld ms\n", Elapsed());
                std::fflush(stdout);
            }
        }
        if (announced && photoAnnounced)
            PlatformWindow()->KillTimer(kAnnounceTimer);
    }
    static constexpr uint32_t kAnnounceTimer = 1;
};

// The thread must be gone before main returns: it reads the settings stores, which static
// destruction frees. Each of its exchanges has its own time limits, so the wait is bounded
// without a limit of our own (a cut wait would leave it running into static destruction).
void StopServerThread()
{
    theServerThread.Stop();
}

} // namespace

int CZendraApp::InitInstance(int argc, const char* const* argv, platform::BackendKind backend)
{
    const auto start = std::chrono::steady_clock::now();
    g_backend = backend;
    // Without its data the program cannot run, but it says so in a window of its own: the
    // window system's box needs helpers (zenity) or X fonts that many desktops lack.
    const bool appData = InitAppData() != 0;
    SetAppDataMessageSink([](const std::u16string& text) {
        if (TheMainWindow())
            SpriteMessageBox(text.c_str(), kMbWarning, kMbOk);
        else
            platform::ShowSystemMessageBox(g_backend, u"Zendra", text);
    });
    const std::u16string commandLine = BuildCommandLine(argc, argv);
    CommandLineRequest launch;
    ParseArguments(argc, argv, launch);
    if (appData) {
        if (!theServerThread.Start(theAppData.EditionFlag))
            return 1;
        if (IsUninstallRun(commandLine)) {
            theServerThread.QueueEvent(u"UnInstall", 0);
            platform::SleepMs(3000);
            StopServerThread();
            return 0;
        }
        theServerThread.QueueEvent(u"Run", 0);
    }

    // The string table, the skins and the log from the program folder.
    SetResourceMessageSink([](StringView16 text) { platform::ShowSystemMessageBox(g_backend, u"Zendra", text); });
    if (!theAppResources.Init(platform::ProgramFolder(), {})) {
        // The box has the string table's short text; the terminal also learns where we looked.
        std::fprintf(stderr, "zendra: cannot start from the program folder %s\n",
                     platform::ToNativePath(platform::ProgramFolder()).c_str());
        if (!appData)
            platform::ShowSystemMessageBox(backend, u"Zendra", kAppDataFailedText);
        platform::ShowSystemMessageBox(backend, u"Zendra", theAppResources.InitFailureText());
        StopServerThread();
        return 1;
    }
    UseAppResourcesForUi();
    RegisterToolkitControls();
    InstallSpriteMessageBox();
    SetUiImageSource(&FilesThenDrawnUiImage);
    if (backend == platform::BackendKind::Sdl)
        if (std::unique_ptr<platform::Clipboard> x11 = platform::Clipboard::CreateX11(""))
            platform::SetSystemClipboard(std::move(x11));
    InstallDocumentUi();

    int code = 0;
    std::chrono::steady_clock::time_point closeAccepted{};
    {
        TimedMainWindow dlg;
        dlg.start = start;
        if (!appData)
            dlg.startFailure = kAppDataFailedText;
        // Nobody can answer a box on the headless backend: it says its text on stderr instead
        // of waiting for ever.
        if (backend == platform::BackendKind::Headless)
            dlg.messageBox = [](const char16_t* text, int, int) {
                platform::ShowSystemMessageBox(platform::BackendKind::Headless, u"Zendra", text ? text : u"");
                return -1;
            };
        dlg.PluginMode = launch.PluginMode;
        dlg.commandPath = launch.path;
        dlg.openAtStart = launch.FileToOpen() != nullptr;
        for (int i = 1; i < argc; ++i)
            dlg.sampleLists = dlg.sampleLists || std::string_view(argv[i]) == "--sample=lists";
        RenderWindowOptions options;
        options.backend = backend;
        options.window.title = u"Zendra";
        options.window.width = backend == platform::BackendKind::Sdl ? CFrame::kMinWidth : 640;
        options.window.height = backend == platform::BackendKind::Sdl ? CFrame::kMinHeight : 480;
        options.window.borderless = backend == platform::BackendKind::Sdl;
        options.maximize = backend == platform::BackendKind::Sdl;
        if (dlg.Open(options)) {
            dlg.PlatformWindow()->SetMinimumSize(CFrame::kMinWidth, CFrame::kMinHeight);
            platform::Rect screen;
            for (const platform::Rect& m : dlg.PlatformWindow()->Monitors())
                screen = screen.IsEmpty() ? m
                                          : platform::Rect{std::min(screen.left, m.left), std::min(screen.top, m.top),
                                                           std::max(screen.right, m.right),
                                                           std::max(screen.bottom, m.bottom)};
            theAppResources.ui.screenRect = screen;
            dlg.PlatformWindow()->SetTimer(TimedMainWindow::kAnnounceTimer, 10);
            if (backend == platform::BackendKind::Headless) {
                // Nothing can close it: run until the first frame after the start-up is out.
                dlg.PlatformWindow()->RunModalLoop(
                    [&] { return (dlg.announced && dlg.StartupTicks() >= 1) || dlg.StartupFailed(); });
            } else {
                dlg.PlatformWindow()->RunModalLoop(nullptr);
            }
            if (dlg.StartupFailed())
                code = 1;
            closeAccepted = dlg.EndedAt();
            dlg.DestroyWindow();
        } else {
            code = 1;
        }
    }
    RemoveDocumentUi();
    platform::SetSystemClipboard(nullptr);
    SetAppDataMessageSink(nullptr);
    if (!appData) {
        StopServerThread();
        return 1;
    }
    theAppData.Save();
    DeleteRunTempFiles();
    StopServerThread();
    // The shutdown figure: from the accepted close to here (the benchmark reads it).
    if (closeAccepted != std::chrono::steady_clock::time_point{}) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - closeAccepted).count();
        std::printf("zendra: closed in %lld ms\n", (long long)ms);
        std::fflush(stdout);
    }
    return code;
}
