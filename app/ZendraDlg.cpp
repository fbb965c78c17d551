#include "app/ZendraDlg.h"

#include "album/HelpLoaderThread.h"
#include "album/PhotoDatabase.h"
#include "album/PhotoScanThread.h"
#include "algorithms/AlgorithmThread.h"
#include "algorithms/ScratchCache.h"
#include "app/AboutSprite.h"
#include "app/AppData.h"
#include "app/CrashStatus.h"
#include "ui/Registry.h"
#include "app/ServerNotify.h"
#include "app/ServerThread.h"
#include "app/Services.h"
#include "app/SettingsDlg.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/EditorLink.h"
#include "editor/EditorCommands.h"
#include "editor/tools/ToolSet.h"
#include "editor/Wizard.h"
#include "app/samples/ListSamplePage.h"
#include "imaging/ColourTables.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/ImageType.h"
#include "imaging/ProjectFile.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/Format.h"
#include "platform/Path.h"
#include "platform/Settings.h"
#include "platform/Shell.h"
#include "platform/Thread.h"
#include "raster/Raster.h"
#include "ui/DialogSprite.h"
#include "ui/InputString.h"
#include "ui/MessageBox.h"
#include "ui/TicketRegistry.h"
#include "ui/UiResources.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

constexpr int kFirstDialogZLevel = 160;

std::atomic<CZendraDlg*> g_mainWindow{nullptr};

void Log(const char16_t* line)
{
    WriteUiLog(line);
}

} // namespace

CZendraDlg* TheMainWindow()
{
    return g_mainWindow.load(std::memory_order_acquire);
}

platform::String16 EditCaptionForPath(const platform::String16& path, const char16_t* unknown)
{
    if (path.empty())
        return unknown ? unknown : u"";
    const size_t slash = path.find_last_of(u'/');
    platform::String16 file = slash == platform::String16::npos ? path : path.substr(slash + 1);
    platform::String16 extension;
    const size_t dot = file.find_last_of(u'.');
    if (dot != platform::String16::npos && dot > 0) {
        extension = file.substr(dot);
        file.resize(dot);
    }
    // The file name as kept (at most 255 characters), then cut to 63.
    if (file.size() > 255)
        file.resize(255);
    char16_t name[64];
    CopyTextBounded(name, 64, file.c_str());
    platform::String16 whole = platform::String16(name) + extension;
    char16_t caption[32];
    CopyTextBounded(caption, 32, whole.c_str());
    return platform::DisplayPath(caption); // a name that is no valid UTF-8 shows U+FFFD
}

CZendraDlg::CZendraDlg() = default;

CZendraDlg::~CZendraDlg()
{
    DestroyWindow();
    if (TheEditorHost() == this) {
        SetEditorHost(nullptr);
        SetEditorLink({});
        SetDialogMessageSource({});
    }
    CZendraDlg* self = this;
    g_mainWindow.compare_exchange_strong(self, nullptr);
}

int CZendraDlg::Ask(const char16_t* text, int kind, int buttons)
{
    // Test hook (with the tabs' pixel report): what the program asks, so that a test driving
    // the whole program knows which box is up.
    if (text && std::getenv("ZENDRA_REPORT_PIXELS")) {
        std::printf("zendra: asked %s\n", platform::Utf16ToUtf8(platform::StringView16(text)).c_str());
        std::fflush(stdout);
    }
    return messageBox ? messageBox(text, kind, buttons) : SpriteMessageBox(text, kind, buttons);
}

// The window is on screen but draws nothing until it is ready: a box asked before that would
// wait over a black window that nobody can read.
int CZendraDlg::SayAtStart(const char16_t* text, int kind)
{
    if (PlatformWindow()) {
        // Laid out for its real size first: until now it counts as 100 x 100.
        platform::WindowEvent size;
        size.kind = platform::EventKind::Size;
        PlatformWindow()->ClientSize(size.width, size.height);
        size.state = PlatformWindow()->State();
        OnSize(size);
    }
    SetWindowReady(1);
    return Ask(text, kind, kMbOk);
}

int CZendraDlg::OnCreate()
{
    g_mainWindow.store(this, std::memory_order_release);
    // The editor tabs and the dialogs reach the window through these.
    SetEditorHost(this);
    EditorLink link;
    link.currentDocument = [this] { return GetActiveDoc(); };
    link.currentHistory = [this] { return GetActiveHistory(); };
    link.pageArea = [this] { return m_tabFrame.LocalToWindowRect(m_tabFrame.PageArea()); };
    link.endActiveTool = [this] { EndActiveTool(); };
    SetEditorLink(std::move(link));
    // The dialogs' questions are the window's, so tests see and answer them like the others.
    SetDialogMessageSource([this](const char16_t* key, int kind, int buttons) { return Ask(UiText(key), kind, buttons); });
    return CRenderWindow::OnCreate();
}

int CZendraDlg::OnInitDialog()
{
    // The saved language first: every text below comes from the table.
    const platform::String16 programFolder = platform::ProgramFolder() + u"/";
    LanguageList languages;
    languages.ApplySaved(theAppResources.table, programFolder, platform::Settings(platform::SettingsScope::User),
                         platform::Settings(platform::SettingsScope::Machine));

    if (!CRenderWindow::OnInitDialog())
        return 0;
    if (!startFailure.empty()) {
        SayAtStart(startFailure.c_str(), kMbError);
        m_startupFailed = 1;
        return 0;
    }

    // Every photo's undo data goes to the temporary folder: without room there, edits would
    // fail one by one later.
    const platform::String16 probe = theAppData.MakeTempFileName(u"test");
    const platform::String16 folder = platform::PrivateTempFolder();
    uint64_t free = 0;
    if (freeSpace) {
        free = freeSpace(folder);
    } else {
        platform::DiskSpace space;
        free = platform::GetDiskSpace(folder.empty() ? probe : folder, space) ? space.freeToUser : 0;
    }
    if (free < kMinTempSpace) {
        SayAtStart(u"Not enough disk space to store temp files", kMbInformation);
        m_startupFailed = 1;
        return 0;
    }

    theAppData.EditionFlag.store(1, std::memory_order_release);

    if (!CreateChildren()) {
        Log(u"Error on CreateOtherChilds");
        SayAtStart(UiText(u"errinit"), kMbError);
        m_startupFailed = 1;
        return 0;
    }
    Log(u"Main Window inited, childs created.");
    if (m_samplePage)
        m_tabFrame.SelectPage(m_samplePage, 1);
    else if (m_albumPage)
        m_tabFrame.SelectPage(m_albumPage, 1);
    // What went wrong before there was a window (config.dat could not be written).
    for (const std::u16string& text : TakeUnshownAppDataMessages())
        SayAtStart(text.c_str(), kMbWarning);

    if (PlatformWindow()) {
        PlatformWindow()->SetTimer(IDT_STARTUP, 100);
        PlatformWindow()->SetTimer(IDT_IDLE, 1000);
        PlatformWindow()->SetTitle(UiText(u"title"));
    }
    m_lastInput = platform::GetTickCount32();
    SetWindowReady(1);

    g_bAnimation.store(ReadRegistryDword(u"Program", u"Animation", 1, 1) ? 1 : 0);
    if (PlatformWindow())
        theServerThread.SetMainWindow(PlatformWindow()->Poster());
    if (theServerThread.Enabled())
        theServerThread.Post(WM_SERVER_NOTIFY, SERVER_CHECK_VERSION, 0);
    return 1;
}

// The WM_DESTROY work, then the end of the process with code 0 (launch modes, host mode).
void CZendraDlg::EndProcess()
{
    DestroyWindow();
    if (exitProcess)
        exitProcess(0);
    else
        std::_Exit(0);
}

// The strip owns a page it took; one it refused is freed here.
bool CZendraDlg::AddOwnedPage(CSTabPage* page)
{
    if (m_tabFrame.AddPage(page) < 0) {
        page->ReleaseResources(1);
        delete page;
        return false;
    }
    page->SetAutoDelete(1);
    return true;
}

int CZendraDlg::CreateChildren()
{
    if (!m_tabFrame.Create(nullptr, this, 100, 0, 0, 100, 100, 2))
        return 0;
    AddTopLevel(&m_tabFrame);
    m_tabFrame.openImage = [this](const platform::String16& path) { return OpenImage(path, 0, nullptr, 0); };
    m_tabFrame.closeTab = [this](CSTabPage* page) { return CloseTab(page); };
    m_tabFrame.writeCrashStatus = [this] { WriteCrashStatus(); };

    if (PluginMode != 0) {
        m_tabFrame.HideAlbumButton();
    } else {
        AlbumConfig config;
        config.favourites = &theAppData.favourites;
        config.scanFolders = &theAppData.scanFolders;
        config.startFolder = theAppData.albumStartFolder;
        auto* album = new CSAlbumPage(this, config);
        album->messageBox = messageBox;
        if (!AddOwnedPage(album))
            return 0;
        m_albumPage = album;
    }
    if (sampleLists) {
        auto* sample = new CListSamplePage;
        if (!AddOwnedPage(sample))
            return 0;
        m_samplePage = sample;
    }

    if (!m_helpButton.Create(nullptr, this, 101, 3, 0, 0, 65, 19) ||
        !m_helpButton.Setup(UiText(u"btnHelp"), u"help.png", 0, 0, 0, 65, 19))
        return 0;
    AddTopLevel(&m_helpButton);
    m_childrenMade = true;
    return 1;
}

void CZendraDlg::OnLayout(int w, int h)
{
    CRenderWindow::OnLayout(w, h);
    if (!m_childrenMade)
        return; // a start that failed before them
    m_tabFrame.SetPos(3, 40, w - 6, h - 45);
    m_helpButton.SetPos(w - 140, 6, 65, 19);
}

void CZendraDlg::OnEvent(platform::Window& window, const platform::WindowEvent& event)
{
    switch (event.kind) {
    case platform::EventKind::KeyDown:
    case platform::EventKind::Char:
    case platform::EventKind::ButtonDown:
    case platform::EventKind::MouseMove:
    case platform::EventKind::MouseWheel:
    case platform::EventKind::DropFiles:
        m_lastInput = platform::GetTickCount32();
        // The idle check stopped after its release: it runs again from the next input on.
        if (m_idleDone && PlatformWindow())
            PlatformWindow()->SetTimer(IDT_IDLE, 1000);
        m_idleDone = false;
        break;
    default:
        break;
    }
    CRenderWindow::OnEvent(window, event);
}

void CZendraDlg::OnWindowTimer(uint32_t id)
{
    if (id == IDT_STARTUP) {
        ++m_startupTicks;
        if (m_startupTicks == 1 && !RunStartup()) {
            m_startupFailed = 1;
            EndDialog();
            return;
        }
        if (m_startupTicks >= kStartupTicks) {
            if (CPopupSprite* top = TopModal(); top && (top->Flags() & SF_ABOUTBOX))
                static_cast<CAboutSprite*>(top)->Close();
            if (PlatformWindow())
                PlatformWindow()->KillTimer(IDT_STARTUP);
        }
        return;
    }
    if (id == IDT_IDLE) {
        // Idle for a while (no input, no algorithm running): hand spare memory back.
        const uint32_t now = platform::GetTickCount32();
        if (!m_idleDone && now - m_lastInput >= kIdleReleaseMs && !theAlgorithmThread.IsBusy()) {
            m_idleDone = true;
            ReleaseScratch();
            CRaster::ReleaseSpareBlocks();
            ++m_idleReleases;
            Log(u"Idle: spare memory released");
            // Nothing to wait for until the next input: an idle program runs no timer.
            if (PlatformWindow())
                PlatformWindow()->KillTimer(IDT_IDLE);
        }
    }
}

int CZendraDlg::RunStartup()
{
    if (m_albumPage) {
        if (!m_albumPage->InitTree())
            return 0;
        StartAlbumThreads();
        if (theServerThread.Enabled())
            theServerThread.Post(WM_SERVER_NOTIFY, SERVER_FETCH_NOTICE, 0);
        Log(u"Album Init OK");
    }
    // The window exists: the server thread and the algorithm worker start here.
    if (services && !services->StartAfterWindow())
        return 0;
    BuildGammaTables();
    Log(u"Image Core Init OK");
    if (runFullStartup) {
        FreeImageList8(theMenuIcons);
        if (!LoadUiImageStrip(UiImageFolder::Skin, u"menuicon.png", 16, theMenuIcons))
            return 0;
        Log(u"Menu Init OK");
        if (!CreateTools())
            return 0;
    }
    OpenPluginImage();
    RecoverFromCrash();
    return OpenAtStart();
}

int CZendraDlg::OpenAtStart()
{
    if (!openAtStart || commandPath.empty())
        return 1;
    if (ImageTypeFromExtension(commandPath.c_str()) != kImageTypeOther) {
        OpenImage(commandPath, 0, nullptr, 0);
        return 1;
    }
    // Anything else is taken as a project file; a failure is said, and the start goes on.
    auto doc = std::make_unique<CZDDoc>();
    ImageInfo facts;
    ImageInfoProperties properties(facts);
    if (!OpenProjectFile(commandPath, *doc, &properties)) {
        Ask(UiText(u"Cannotopenfile"), kMbInformation, kMbOk);
        return 1;
    }
    if (OpenImage(commandPath, 1, doc.get(), 0)) {
        if (CSEditPage* page = GetActiveEditPage()) {
            ImageInfoProperties into(page->Info());
            OpenProjectFile(commandPath, *doc, &into);
        }
    }
    return 1;
}

int CZendraDlg::OpenImage(const platform::String16& path, int mode, CZDDoc* document, int followUp)
{
    if (mode == 0) {
        // The same file (compared exactly: on Linux two names that differ in case are two files).
        for (CSEditPage* page : EditPages())
            if (!path.empty() && path == page->filePath) {
                m_tabFrame.SelectPage(page, 0);
                return 1;
            }
    }
    const platform::String16 caption = EditCaptionForPath(path, UiText(u"Unknown"));
    auto page = std::make_unique<CSEditPage>(caption.c_str());

    if (PluginMode != 0) {
        page->hostMode = 1;
    } else if (!path.empty()) {
        // The database looks the path up in a copy; the count stops at 0x7FFFFFFF.
        platform::ScopedLock hold(thePhotoDatabase.lock);
        if (PhotoRecord* record = thePhotoDatabase.FindPhotoRecord(platform::String16(path))) {
            const uint32_t count = record->OpenCount();
            if (count < 0x7FFFFFFFu)
                record->SetOpenCount(std::min<uint32_t>(count + 2, 0x7FFFFFFFu));
        }
    }

    CZDDoc& doc = page->Document();
    bool askedLarge = false;
    if (mode == 0) {
        // The size from the file's header: a large photo is asked about before it is decoded.
        int width = 0, height = 0;
        if (ReadImageFileSize(path.c_str(), width, height) && IsLargePhoto(width, height, largePhotoPixels)) {
            if (Ask(UiText(u"memlimit32"), kMbQuestion, kMbYesNo) != 6)
                return 0;
            askedLarge = true;
        }
        BeginBusy(SRect{});
        const int opened = doc.OpenImage(path);
        EndBusy();
        if (!opened) {
            Ask(UiText(u"Cannotopenfile"), kMbInformation, kMbOk);
            return 0;
        }
        page->Info().ReadFile(path.c_str());
    } else {
        // A document that cannot be copied opens nothing: an empty tab would look like a photo.
        if (!document || !doc.CopyFrom(*document)) {
            Ask(UiText(u"Cannotopenfile"), kMbInformation, kMbOk);
            return 0;
        }
        if (!path.empty())
            page->Info().ReadFile(path.c_str());
    }
    CopyTextBounded(doc.path, 1024, path.c_str());

    if (doc.LayerCount() == 0) {
        Ask(UiText(u"Cannotopenfile"), kMbInformation, kMbOk);
        return 0;
    }
    if (!askedLarge && IsLargePhoto(doc.width, doc.height, largePhotoPixels) &&
        Ask(UiText(u"memlimit32"), kMbQuestion, kMbYesNo) != 6)
        return 0;

    CopyTextBounded(page->filePath, 1024, path.c_str());
    CSEditPage* raw = page.get();
    // The tab's creation binds its history; a tab that cannot be made is not added.
    if (m_tabFrame.AddPage(raw) < 0) {
        Ask(UiText(u"unexpect"), kMbInformation, kMbOk);
        return 0;
    }
    page.release();
    raw->SetAutoDelete(1);

    // A recorded step refreshes the page itself; without one the page still shows its picture.
    // The step comes before the tab is selected: a history's first step lists the tab in the
    // crash-status file (the tab's model writes it), so its picture is never on screen before a
    // kill would bring it back, and the file has it before any follow-up dialog runs.
    if (!raw->History().AddStep(kHistoryDocument, -1, UiText(u"hisopen"), false, 0, nullptr, 0))
        raw->ShowDocument();
    m_tabFrame.SelectPage(raw, 1);
    InvalidateAll();

    if (PluginMode != 0 || mode == 2)
        return 1;
    if (followUp == 0)
        FollowUpAfterOpening(*raw);
    return 1;
}

void CZendraDlg::FollowUpAfterOpening(CSEditPage& page)
{
    // A raw photo opens the film dialog, any other the auto wizard, each when its setting is on.
    if (ImageTypeFromExtension(page.filePath) == kImageTypeRaw && ReadRegistryDword(u"Editor", u"FilmForRAW", 1, 1)) {
        page.RunCommand(kCmdFilm);
        return;
    }
    if (ReadRegistryDword(u"Editor", u"AutoWizard", 1, 1))
        page.RunCommand(kCmdWizard);
}

std::vector<CSEditPage*> CZendraDlg::EditPages()
{
    std::vector<CSEditPage*> pages;
    for (int i = 0; i < m_tabFrame.PageCount(); ++i)
        if (CSTabPage* p = m_tabFrame.PageAt(i); IsEditPage(p))
            pages.push_back(static_cast<CSEditPage*>(p));
    return pages;
}

CSEditPage* CZendraDlg::GetActiveEditPage()
{
    CSTabPage* p = m_tabFrame.GetSelectedPage();
    return IsEditPage(p) ? static_cast<CSEditPage*>(p) : nullptr;
}

CZDDoc* CZendraDlg::GetActiveDoc()
{
    CSEditPage* p = GetActiveEditPage();
    return p ? &p->Document() : nullptr;
}

HistoryStore* CZendraDlg::GetActiveHistory()
{
    CSEditPage* p = GetActiveEditPage();
    return p ? &p->History() : nullptr;
}

int CZendraDlg::CloseTab(CSTabPage* page)
{
    if (!page)
        return 0;
    if (IsEditPage(page)) {
        if (!static_cast<CSEditPage*>(page)->QueryClose())
            return 0;
    } else {
        // The album is never closed.
        InvalidateAll();
        return 1;
    }
    if (m_closingAll) {
        // The window is closing: the strip shows the next page at once.
        const int animation = g_bAnimation.exchange(0);
        m_tabFrame.RemovePage(page);
        g_bAnimation.store(animation);
    } else {
        m_tabFrame.RemovePage(page);
    }
    for (CMessageSprite* s : std::vector<CMessageSprite*>(CaptureList()))
        ReleaseCapture(s);
    SetFocus(nullptr, false);
    ForgetInputSprite(page);
    RemoveAccelerators(page);
    page->ReleaseResources(1);
    delete page;
    InvalidateAll();
    if (EditPages().empty())
        DeleteCrashStatus();
    return 1;
}

void CZendraDlg::OnCloseRequest()
{
    if (m_ended)
        return;
    // Not while a dialog or another modal popup is up.
    // (The dialogs' depth counter starts at their first z-level.)
    if (g_nModalDepth.load() > kFirstDialogZLevel || TopModal())
        return;
    if (m_albumPage && m_albumPage->PreviewShown())
        m_albumPage->Preview().Close();
    const int answer = Ask(UiText(u"closeProgram"), kMbWarning, kMbYesNo);
    std::printf("zendra: message box result %d\n", answer);
    std::fflush(stdout);
    if (answer != 6)
        return;
    const auto accepted = std::chrono::steady_clock::now();
    if (PluginMode == 1) {
        // The host waits for its exchange file: closing hands nothing back.
        EndProcess();
        return;
    }
    // Last tab first. A tab that will ask is shown first; the others go without a page
    // switch, so closing clean tabs costs no cross-fades.
    std::vector<CSEditPage*> pages = EditPages();
    for (auto it = pages.rbegin(); it != pages.rend(); ++it) {
        if ((*it)->Unsaved())
            m_tabFrame.SelectPage(*it, 1);
        m_closingAll = true;
        const int closed = CloseTab(*it);
        m_closingAll = false;
        if (!closed)
            return;
    }
    DeleteCrashStatus();
    m_endedAt = accepted;
    if (PluginMode > 0) {
        EndProcess();
        return;
    }
    EndDialog();
}

void CZendraDlg::EndDialog()
{
    m_ended = true;
    if (m_endedAt == std::chrono::steady_clock::time_point{})
        m_endedAt = std::chrono::steady_clock::now();
    if (PlatformWindow())
        PlatformWindow()->PostQuit(0);
}

void CZendraDlg::DestroyWindow()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    // The threads first: none of them may still use the window, the pages or their documents
    // when those go.
    theServerThread.SetMainWindow(nullptr);
    StopAlbumThreads();
    if (services)
        services->Stop();
    Destroy();
    // The tools outlive the window; their panels are its sprites.
    ReleaseToolPanels();
    // The records the scan brought up to date are kept for the next run.
    if (m_albumThreadsStarted && theAppData.dataFolder[0] && thePhotoScanThread.state.load() == CPhotoScanThread::kDone) {
        thePhotoDatabase.CompactPhotoDatabase();
        thePhotoDatabase.SavePhotoDatabase();
    }
}

void CZendraDlg::OnWindowMessage(uint32_t message, uintptr_t wParam, intptr_t)
{
    if (message == WM_SPRITE_BUTTON) {
        if (wParam == 101)
            OnHelpInfo();
        return;
    }
    if (message == WM_SERVER_NOTIFY) {
        ServerNotifyContext context;
        context.versionOffsetTenths = VersionDisplayOffsetTenths;
        if (m_albumPage) {
            CSAlbumPage* album = m_albumPage;
            context.album = [this, album](const ServerNotice& notice) {
                m_notice = notice;
                album->ShowNotice(notice.line);
            };
        }
        if (messageBox)
            context.hooks.messageBox = messageBox;
        HandleServerNotify(wParam, context);
    }
}

int CZendraDlg::OnHelpInfo()
{
    const platform::String16 path = platform::JoinPath(platform::ProgramFolder(), UiText(u"helppage"));
    const platform::ShellOpenResult result = platform::ShellOpen(path);
    if (!result.Succeeded()) {
        // No opener at all, or the desktop's opener knows no program for the file (xdg-open
        // says so with 3): the user is told where the help file is. Other failures keep the
        // opener's code.
        const bool noProgram = result.status == platform::ShellOpenStatus::NotStarted ||
                               (result.status == platform::ShellOpenStatus::Failed && result.exitCode == 3);
        const platform::String16 text =
            noProgram ? platform::Format(UiText(u"helpNoViewer"), path).value_or(UiText(u"helpNoViewer") + (u" " + path))
                      : platform::Format(u"ShellExecute returns error: %d", result.LegacyCode())
                            .value_or(u"ShellExecute returns error");
        Ask(text.c_str(), kMbInformation, kMbOk);
    }
    return 1;
}

void CZendraDlg::ShowAbout()
{
    CAboutSprite about(VersionDisplayOffsetTenths);
    if (!about.Create(nullptr, this, 9999, 170, 0, 0, 560, 320))
        return;
    AddTopLevel(&about);
    about.Run();
    ForgetTopLevel(&about);
    ForgetInputSprite(&about);
    about.ReleaseResources(1);
}

void CZendraDlg::OpenProjectWithChooser()
{
    static const std::vector<std::string> patterns = {"*.zdoc"};
    platform::String16 path;
    // The desktop's chooser runs beside the window's loop, so the window keeps drawing.
    platform::FileChooserResult chosen;
    std::atomic<bool> done{false};
    std::shared_ptr<platform::WindowPoster> poster = PlatformWindow() ? PlatformWindow()->Poster() : nullptr;
    std::thread chooser([&] {
        chosen = platform::ChooseFileToOpen(UiText(u"menuLoadProj"), platform::PicturesFolder(), patterns);
        done.store(true);
        if (poster)
            poster->PostMessage(WM_SPRITE_BUTTON, 0, 0); // wakes the loop; id 0 does nothing
    });
    if (PlatformWindow())
        PlatformWindow()->RunModalLoop([&] { return done.load(); });
    chooser.join();
    if (chosen.status == platform::FileChooserStatus::Cancelled)
        return;
    if (chosen.status == platform::FileChooserStatus::Chosen) {
        path = chosen.path;
    } else if (askPath) {
        if (!askPath(path))
            return;
    } else {
        char16_t buffer[1024] = {};
        // Tests type the path once the question is up.
        std::printf("zendra: asking for a path\n");
        std::fflush(stdout);
        if (!InputString(buffer, 1024, UiText(u"menuLoadProj"), UiText(u"albumPathPrompt"), -1, 0))
            return;
        path = buffer;
    }
    while (!path.empty() && (path.back() == u' ' || path.back() == u'\n'))
        path.pop_back();
    if (path.empty())
        return;
    if (path.size() > 1023) {
        Ask(UiText(u"Cannotopenfile"), kMbInformation, kMbOk);
        return;
    }
    // An unreadable project does nothing (no message), as a failed read of a chosen file.
    auto doc = std::make_unique<CZDDoc>();
    ImageInfo facts;
    ImageInfoProperties properties(facts);
    if (!OpenProjectFile(path, *doc, &properties))
        return;
    if (OpenImage(path, 1, doc.get(), 0)) {
        if (CSEditPage* page = GetActiveEditPage()) {
            ImageInfoProperties into(page->Info());
            OpenProjectFile(path, *doc, &into);
        }
    }
}

void CZendraDlg::OpenProject()
{
    OpenProjectWithChooser();
}

void CZendraDlg::BuildProgramMenu(CSMenu& menu)
{
    menu.AddItemEx(nullptr, 21006, UiText(u"menuSettings"), nullptr, nullptr, 0, nullptr);
    menu.AddItemEx(nullptr, 21004, UiText(u"menuHelp"), nullptr, nullptr, 0, nullptr);
    menu.AddItemEx(nullptr, 21003, UiText(u"menuAbout"), nullptr, nullptr, 0, nullptr);
}

void CZendraDlg::RunProgramCommand(int32_t id)
{
    switch (id) {
    case 21003: ShowAbout(); break;
    case 21004: OnHelpInfo(); break;
    case 21006: ShowSettings(); break;
    default: break;
    }
}

void CZendraDlg::SaveSettings()
{
    theAppData.Save();
}

void CZendraDlg::Exit()
{
    if (m_ended)
        return;
    // No "closeProgram" question; modified tabs still ask (Cancel keeps the program).
    std::vector<CSEditPage*> pages = EditPages();
    for (auto it = pages.rbegin(); it != pages.rend(); ++it) {
        if ((*it)->Unsaved())
            m_tabFrame.SelectPage(*it, 1);
        m_closingAll = true;
        const int closed = CloseTab(*it);
        m_closingAll = false;
        if (!closed)
            return;
    }
    DeleteCrashStatus();
    EndDialog();
}

void CZendraDlg::ShowNoticeMessage()
{
    ServerNotifyHooks hooks;
    if (messageBox)
        hooks.messageBox = messageBox;
    ::ShowNoticeMessage(m_notice, hooks);
}

void CZendraDlg::StartAlbumThreads()
{
    if (m_albumThreadsStarted)
        return;
    m_albumThreadsStarted = true;
    AlbumThreadSetup setup;
    setup.thumbLoader = &theThumbLoader;
    setup.fullLoader = &theFullLoader;
    setup.tickets = &TheSpriteTicketRegistry();
    setup.skinFolder = platform::ProgramFolder();
    // Without a data folder (a window started alone) there is no database to keep. The scan
    // works on a copy of the folder list made here, on the UI thread.
    if (theAppData.dataFolder[0]) {
        setup.scan = &thePhotoScanThread;
        setup.scanTarget = nullptr; // the search page that hears of it comes later
        setup.dataFolder = theAppData.dataFolder;
        for (const ScanFolderEntry& e : theAppData.scanFolders)
            if (e.path[0])
                setup.scanFolders.emplace_back(e.path);
    }
    // A window without the program's services (tests) keeps its own.
    CServices* owner = services ? services : &m_ownServices;
    owner->StartAlbum(setup);
}

void CZendraDlg::StopAlbumThreads()
{
    if (m_albumPage)
        m_albumPage->StopThreads();
    m_ownServices.Stop();
}

int CZendraDlg::ShowSettings()
{
    const int result = ShowSettingsDialog();
    std::printf("zendra: settings result %d, animation %d\n", result, g_bAnimation.load());
    std::fflush(stdout);
    return result;
}

CMessageSprite* CZendraDlg::AlbumRefreshTarget()
{
    return m_albumPage;
}

void CZendraDlg::EndActiveTool()
{
    if (CSEditPage* page = GetActiveEditPage())
        page->ToolPage().SetCurrentTool(nullptr);
}

int CZendraDlg::SelectPage(CSTabPage* page)
{
    return m_tabFrame.SelectPage(page, 1);
}

bool CZendraDlg::ChooseSavePath(const std::u16string& defaultExtension, const std::u16string& start,
                                std::u16string& path)
{
    static const std::vector<std::string> patterns = {"*.jpg", "*.jpeg", "*.png", "*.tif", "*.tiff", "*.zdoc"};
    // The desktop's chooser runs beside the window's loop, so the window keeps drawing.
    platform::FileChooserResult chosen;
    std::atomic<bool> done{false};
    std::shared_ptr<platform::WindowPoster> poster = PlatformWindow() ? PlatformWindow()->Poster() : nullptr;
    std::thread chooser([&] {
        chosen = platform::ChooseFileToSave(UiText(u"menuSave"), start, patterns);
        done.store(true);
        if (poster)
            poster->PostMessage(WM_SPRITE_BUTTON, 0, 0); // wakes the loop; id 0 does nothing
    });
    if (PlatformWindow())
        PlatformWindow()->RunModalLoop([&] { return done.load(); });
    chooser.join();
    if (chosen.status == platform::FileChooserStatus::Cancelled)
        return false;
    if (chosen.status == platform::FileChooserStatus::Chosen) {
        path = chosen.path;
    } else if (askPath) {
        path = start;
        if (!askPath(path))
            return false;
    } else {
        char16_t buffer[1024] = {};
        CopyTextBounded(buffer, 1024, start.c_str());
        // Tests type the path once the question is up.
        std::printf("zendra: asking for a path to save\n");
        std::fflush(stdout);
        if (!InputString(buffer, 1024, UiText(u"menuSave"), UiText(u"savePathPrompt"), -1, 0))
            return false;
        path = buffer;
    }
    while (!path.empty() && (path.back() == u' ' || path.back() == u'\n'))
        path.pop_back();
    if (path.empty() || path.size() > 1023)
        return false;
    // A name without an extension gets the default one.
    const size_t slash = path.find_last_of(u'/');
    const size_t dot = path.find_last_of(u'.');
    if (!defaultExtension.empty() && (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)))
        path += u"." + defaultExtension;
    return true;
}
