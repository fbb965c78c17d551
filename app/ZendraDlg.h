// The program's one window: the render window with the main tab strip (album first, one tab per
// opened photo), the help button, the start-up sequence on the first ticks of its start-up timer,
// opening photos in editor tabs, closing tabs and itself with the questions the user must answer,
// the server thread's answers, and the idle release of spare memory.
#pragma once

#include "album/AlbumHost.h"
#include "album/AlbumPage.h"
#include "app/ServerThread.h"
#include "app/Services.h"
#include "app/MainTabFrame.h"
#include "editor/EditPage.h"
#include "editor/EditorHost.h"
#include "platform/Text.h"
#include "ui/Button.h"
#include "ui/Menu.h"
#include "ui/RenderWindow.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CServices;
class CZDDoc;
class CrashStatusFile;
struct RecoveredHistory;

inline constexpr uint32_t IDT_STARTUP = 123;
// The frame's own one-second timer (the render window's timer 99 watches the capture).
inline constexpr uint32_t IDT_IDLE = 98;
inline constexpr int kStartupTicks = 10;
inline constexpr uint64_t kMinTempSpace = 0x40000000ull;
inline constexpr int64_t kLargePhotoPixels = 30000000;
inline constexpr uint32_t kIdleReleaseMs = 5000;

// The caption of an editor tab for a path: the file name cut to 63 characters (a longer one
// ends in ".."), the extension after it, the whole cut to 31; an empty path gives `unknown`.
platform::String16 EditCaptionForPath(const platform::String16& path, const char16_t* unknown);

// True when a photo of this size is large enough to ask before it is kept (the product taken in
// 64 bits: two 32-bit sizes overflow 32 bits long before they reach the memory's end).
inline bool IsLargePhoto(int32_t width, int32_t height, int64_t limit = kLargePhotoPixels)
{
    return int64_t(width) * int64_t(height) > limit;
}

class CZendraDlg : public CRenderWindow, public IEditorHost, public AlbumHost {
public:
    CZendraDlg();
    ~CZendraDlg() override;

    // ---- the launch, set before the window opens (from the command line) ----
    int32_t PluginMode = 0;
    platform::String16 commandPath; // the path of the command line (photo or exchange file)
    bool openAtStart = false; // "o": commandPath is the photo to open at start
    // --sample=lists: the lists sample page joins the strip after the album and is shown.
    bool sampleLists = false;
    // The crash-status file; empty: "ZDStatus.flg" in the private temporary folder.
    platform::String16 crashStatusPath;
    // A failure found before the window existed (no data folder): the window says it and the
    // start ends there.
    platform::String16 startFailure;

    // ---- seams the tests fill in ----
    // Free bytes for this user on the volume of the temporary folder.
    std::function<uint64_t(const platform::String16& folder)> freeSpace;
    // The message boxes and questions (SpriteMessageBox when empty).
    std::function<int(const char16_t* text, int kind, int buttons)> messageBox;
    // The end of the process in a launch mode (std::_Exit when empty).
    std::function<void(int code)> exitProcess;
    // Asks for a path to open when no desktop chooser is there (InputString when empty).
    std::function<bool(platform::String16& path)> askPath;
    // 0 leaves the start-up steps that need the whole program (the menu icons) to the
    // program; tests of the window alone turn them off.
    bool runFullStartup = true;
    // The background threads: started on the first start-up tick (the window exists then) and
    // stopped before the window is destroyed. Null: none (tests of the window alone).
    CServices* services = nullptr;
    // Photos above this many pixels ask first ("memlimit32").
    int64_t largePhotoPixels = kLargePhotoPixels;

    // ---- operations ----
    int CloseTab(CSTabPage* page) override;
    CZDDoc* GetActiveDoc();
    HistoryStore* GetActiveHistory();
    CSEditPage* GetActiveEditPage();
    std::vector<CSEditPage*> EditPages();
    void ShowAbout() override;
    int OnHelpInfo() override;
    // The project chooser ("*.zdoc"), then OpenImage with the project's document.
    void OpenProjectWithChooser();
    // Starts the album's loaders and scan (the first start-up tick) and stops them (the end).
    void StartAlbumThreads();
    void StopAlbumThreads();
    // Crash recovery and host mode (ZendraDlgHost.cpp).
    void WriteCrashStatus();
    void DeleteCrashStatus();
    int RecoverFromCrash();
    // A document rebuilt by recovery in a new tab that goes on with its history (unsaved).
    int OpenRecoveredTab(const platform::String16& path, CZDDoc& doc, RecoveredHistory& history);
    int OpenPluginImage();
    int ReturnPluginImage(const ImageBuffer16& picture) override;
    int RunStartup();
    // The close request (title-bar button, window manager, the program's exit command).
    void OnCloseRequest() override;
    // The end of the run without questions (the dialog's cancel command).
    void EndDialog();
    // The end of the window: the background threads stopped, the frame's own work, then the
    // render window's.
    void DestroyWindow();

    // Asks for a path to save to: the desktop's chooser, else the built-in question.
    bool ChooseSavePath(const std::u16string& defaultExtension, const std::u16string& start, std::u16string& path);

    // ---- IEditorHost (the editor tabs' way to the window) ----
    int LaunchMode() override { return PluginMode; }
    int ShowSettings() override;
    CMessageSprite* AlbumRefreshTarget() override;
    void EndActiveTool() override;
    CSEditPage* ActiveEditPage() override { return GetActiveEditPage(); }
    int SelectPage(CSTabPage* page) override;
    int Ask(const char16_t* text, int kind, int buttons) override;

    // ---- AlbumHost ----
    int OpenImage(const platform::String16& path, int mode, CZDDoc* document, int followUp) override;
    void OpenProject() override;
    void BuildProgramMenu(CSMenu& menu) override;
    void RunProgramCommand(int32_t id) override;
    void SaveSettings() override;
    void Exit() override;
    void ShowNoticeMessage() override;

    // ---- CRenderWindow ----
    int OnCreate() override;
    int OnInitDialog() override;
    void OnLayout(int logicalWidth, int logicalHeight) override;
    void OnWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void OnWindowTimer(uint32_t id) override;
    void OnEvent(platform::Window& window, const platform::WindowEvent& event) override;

    // ---- state for tests and the program ----
    CSMainTabFrame& TabFrame() { return m_tabFrame; }
    CSAlbumPage* AlbumPage() const { return m_albumPage; }
    CSButton& HelpButton() { return m_helpButton; }
    int StartupTicks() const { return m_startupTicks; }
    int IdleReleases() const { return m_idleReleases; }
    const platform::String16& CrashStatusPath() const { return m_crashStatusPath; }
    // Set when the close was accepted and the run is over.
    bool Ended() const { return m_ended; }
    // When the close was accepted (the clock's zero while it was not).
    std::chrono::steady_clock::time_point EndedAt() const { return m_endedAt; }
    int StartupFailed() const { return m_startupFailed; }

private:
    CrashStatusFile* CrashFile();
    void CrashStatusFailed(int error);
    int CreateChildren();
    bool AddOwnedPage(CSTabPage* page);
    void EndProcess();
    int SayAtStart(const char16_t* text, int kind);
    int OpenAtStart();
    void FollowUpAfterOpening(CSEditPage& page);

    CSMainTabFrame m_tabFrame;
    CSButton m_helpButton;
    CSAlbumPage* m_albumPage = nullptr;
    CSTabPage* m_samplePage = nullptr;
    platform::String16 m_crashStatusPath;
    std::unique_ptr<CrashStatusFile> m_crashFile;
    bool m_crashWriteWarned = false;
    // While recovery rebuilds tabs the crashed runs' files list them; a write in between would
    // make a second file, and a kill then would bring tabs back twice.
    bool m_recovering = false;
    bool m_childrenMade = false;
    int m_startupTicks = 0;
    int m_startupFailed = 0;
    bool m_ended = false;
    std::chrono::steady_clock::time_point m_endedAt{};
    bool m_destroyed = false;
    bool m_closingAll = false;
    bool m_albumThreadsStarted = false;
    CServices m_ownServices;
    ServerNotice m_notice;
    uint32_t m_lastInput = 0;
    bool m_idleDone = false;
    int m_idleReleases = 0;
};

// The process's main window while it runs (null before and after).
CZendraDlg* TheMainWindow();
