// The album: the first tab of the main window. On the left a vertical tab frame with the folder
// page; to the right the tool panel (70-pixel buttons) and under it the photo grid; over the
// whole page the preview, hidden until a photo is opened in it. The page embeds the folder watch
// thread, routes the album's commands, keeps the grid's view size and sort order in the
// settings ("Album" "ViewMode", "Sort") and shows the update service's notice as a button.
//
// The search page, the multi-photo commands and the batch and print launchers come later: their
// menu rows and tool buttons (3, 4, 5) are there and disabled.
#pragma once

#include "album/AlbumConfig.h"
#include "album/AlbumHost.h"
#include "album/AlbumPhotoList.h"
#include "album/AlbumPreview.h"
#include "album/FolderPage.h"
#include "album/FolderWatchThread.h"
#include "ui/Menu.h"
#include "ui/Panel.h"
#include "ui/TabFrame.h"

#include <string>

// Tab pages that carry these flags are the album: never closed, never an editor.
inline constexpr uint32_t SF_ALBUMPAGE = 0xC000;

enum ToolPanelItemId : int32_t {
    kToolMenu = 0, kToolView = 1, kToolEdit = 2, kToolBatch = 3, kToolBatchPrint = 4, kToolMulti = 5,
    kToolSize = 25, kToolSort = 26, kToolNotice = 27,
};

enum AlbumCommandId : int32_t {
    kCmdFolderMode = 1001, kCmdSearchMode = 1002, kCmdViewList = 1003, kCmdViewThumb = 1004,
    kCmdViewThumbBig = 1005, kCmdPhotoSubMenu = 1006, kCmdProgramSubMenu = 1007, kCmdSortName = 1008,
    kCmdSortDate = 1009, kCmdSortModify = 1010, kCmdPasteEdit = 1101, kCmdLoadProject = 1102,
    kCmdSearchScope = 1201, kCmdExit = 21002,
};

// The stored view mode as the grid takes it: 1 to 4 as they are, anything else thumbnails.
int AlbumViewModeFromSetting(uint32_t stored);

class CSAlbumPage : public CSTabPage, public IFolderPageHost, public AlbumListOwner {
public:
    static constexpr int32_t kTabFrameId = 100, kListId = 102, kToolPanelId = 103, kAlbumMenuId = 105,
                             kPhotoSubMenuId = 106, kProgramSubMenuId = 107, kMultiMenuId = 108,
                             kPreviewId = 109;

    explicit CSAlbumPage(AlbumHost* host = nullptr, const AlbumConfig& config = {});
    ~CSAlbumPage() override;

    // ---- what the frame calls ----
    // Builds the folder tree and goes to the start folder; 0 stops the start-up.
    int InitTree();
    // The update service's notice: its title becomes the tip of item 27, which shows from then on.
    void ShowNotice(const std::u16string& title);
    const std::u16string& NoticeTitle() const { return m_noticeTitle; }
    // Stops and joins the watch thread (before the page goes).
    void StopThreads();

    // ---- the page ----
    void RefreshList() override;
    bool IsSearchMode() override;
    void UpdateToolIcons();
    void UpdateToolStates();
    void ShowAlbumMenu();
    void ShowMultiMenu();
    void SaveViewSettings();
    void OnListActivate(int index, CPhotoItem* item);
    void RunCommand(int32_t id);

    // ---- IFolderPageHost ----
    void BeginFolderListing(bool clear) override;
    void AddFolderEntry(int32_t typeCode, const platform::String16& path, platform::FileTime lastWrite,
                        bool clear) override;
    void EndFolderListing(bool clear) override;
    CFolderWatchThread* FolderWatch() override { return &m_watchThread; }

    // ---- AlbumListOwner ----
    bool PreviewShown() const override;
    platform::String16 GetFolderPath() const override;
    void NewFolder() override;
    int OpenImage(const platform::String16& path) override;
    int DropFilesInto(const std::vector<platform::String16>& files, const platform::String16& folder) override;
    void PostActivate(int index, CPhotoItem* item) override;

    // ---- sprite ----
    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int QueryDropFiles(int x, int y) override;
    // Every drop on the album is the album's: the strip never opens what it refused.
    int OnDropFiles(int x, int y, const std::vector<platform::String16>* files) override;

    // ---- state for the frame and tests ----
    CSAlbumPhotoList& PhotoList() { return m_list; }
    CSFolderPage& FolderPage() { return m_folderPage; }
    CSAlbumPreview& Preview() { return m_preview; }
    CPanelSprite& ToolPanel() { return m_toolPanel; }
    CSVerticalTabFrame& TabFrame() { return m_tabFrame; }
    CSMenu& AlbumMenu() { return m_albumMenu; }
    CSMenu& PhotoSubMenu() { return m_photoSubMenu; }
    CSMenu& ProgramSubMenu() { return m_programSubMenu; }
    CSMenu& MultiMenu() { return m_multiMenu; }
    int LeftPaneWidth() const { return m_leftPaneWidth; }

    // Message boxes (SpriteMessageBox's arguments and results); tests replace it.
    std::function<int(const char16_t* text, int kind, int buttons)> messageBox;

private:
    void BuildToolPanel();
    void LayoutToolPanel();
    void SetViewMode(int mode);
    void SetSortOrder(int order);
    void OpenPreviewFromCell(CPhotoItem* item);
    void ForgetMenus();

    AlbumHost* m_host;
    AlbumConfig m_config;
    CSVerticalTabFrame m_tabFrame;
    CSFolderPage m_folderPage;
    CSAlbumPhotoList m_list;
    CPanelSprite m_toolPanel;
    ImageList8 m_toolIcons;
    CSAlbumPreview m_preview;
    CSMenu m_albumMenu, m_photoSubMenu, m_programSubMenu, m_multiMenu;
    CFolderWatchThread m_watchThread;
    SpriteAlbumSink m_watchSink;
    int32_t m_leftPaneWidth = 300;
    std::u16string m_noticeTitle;
    bool m_childrenAdded = false;
};
