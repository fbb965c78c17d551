// The folder page of the album: a tree of volumes and folders, listed lazily, with a photo count
// beside every folder that holds photos; back, forward and up through a history of folders; a new
// folder button; the favourites button and its menu; a breadcrumb bar of the selected folder.
// Selecting a folder lists it in the album's photo grid (through IFolderPageHost), moves the folder
// watch there and remembers it as the album's start folder. Files dropped on a row go into that
// folder. The node and root builders also serve the scan scope dialog.
//
// Paths are program paths with "/" separators. A node's piece ends in "/": a volume root holds
// its whole mount point ("/", "/home/ann/", "/media/ann/CARD/"), a folder its own full name.
// Paths are compared exactly (letter case counts), and whole components only: "/a/b" never
// matches "/a/bc/".
//
// Threads: everything runs on the UI thread. The drive check is timed by OnDraw on the render
// thread, which only posts kMsgCheckDrives to the page; the check itself runs on the UI thread.
#pragma once

#include "album/AlbumConfig.h"
#include "platform/File.h"
#include "platform/Folders.h"
#include "platform/Text.h"
#include "ui/Button.h"
#include "ui/Menu.h"
#include "ui/TabFrame.h"
#include "ui/TagBar.h"
#include "ui/Tree.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

class CFolderWatchThread;
class CSFolderPage;

// Node kinds: the volume kinds first (removable, fixed, remote, CD-ROM, RAM disk), then a folder
// and the invisible root.
constexpr int32_t kFolderNodeRoot = 0;
constexpr int32_t kFolderNodeFolder = 1;
constexpr int32_t kVolumeRemovable = 2, kVolumeFixed = 3, kVolumeRemote = 4, kVolumeCdRom = 5, kVolumeRamDisk = 6;

// Frames of "foldertree.png" (16 pixels wide).
constexpr int kFolderIconFixed = 0, kFolderIconCdRom = 1, kFolderIconRemovable = 3, kFolderIconFolder = 4,
              kFolderIconPhotos = 5, kFolderIconExpanded = 6, kFolderIconCollapsed = 7;

class CFolderNode : public CTreeNode {
public:
    int32_t nodeKind = kFolderNodeRoot;
    int32_t childrenLoaded = 0;
    int32_t imageCount = 0;
    platform::String16 pathPiece; // ends in "/"
    int32_t checkMark = 0;

    CFolderNode* ParentFolder() const { return static_cast<CFolderNode*>(parent); }
    CFolderNode* Child(size_t i) const { return static_cast<CFolderNode*>(children[i]); }
};

// ---- volumes ----

// One root of the folder tree: "/", the home folder, each mount of ListVolumes.
struct FolderVolume {
    platform::String16 path; // ends in "/"
    int32_t kind = kVolumeFixed;
    platform::String16 text; // shown in the tree
};

// Where the volumes come from; tests replace it. Null restores platform::ListVolumes.
using VolumeReader = std::function<std::vector<platform::Volume>()>;
void SetVolumeReader(VolumeReader reader);
// The home folder used for the home root; tests replace it. Empty restores platform::HomeFolder.
void SetHomeFolderForVolumes(const platform::String16& home);
// "/", then the home folder, then every mount of the reader that is a folder, each once, in that
// order. Removable mounts are kind 2, network file systems 4, CD-ROM file systems 5, memory file
// systems 6, the rest 3. With fixedOnly only kind 3 is kept.
std::vector<FolderVolume> ReadFolderVolumes(bool fixedOnly);
// The kind of a mount from its file system and removable flag.
int32_t VolumeKindOf(const platform::Volume& volume);

// ---- paths ----

// True when `folder` (with or without its final "/") is `path` itself or one of its ancestors,
// compared exactly over whole components.
bool FolderContainsPath(platform::StringView16 folder, platform::StringView16 path);
// "/a/b/" -> "/a/"; "/a/b" -> "/a/"; "/" -> "/" (up stops at the root); ".." entries are cut
// first ("/a/b/.." -> "/a/").
platform::String16 ParentFolderPath(platform::StringView16 path);
// A name the user typed for a new folder: not empty, no "/", no control characters, not "."
// nor "..". The same rule serves renames.
bool IsValidFolderName(platform::StringView16 name);

// ---- tree building (shared with the scan scope dialog) ----

// The full path of a node: the pieces from its volume root down. Empty for the invisible root.
platform::String16 GetFolderPath(const CFolderNode* node);
// Lists the node's sub-folders again (names starting with "." left out) and counts the photos
// in it; with depth 2 or more each new child is listed with depth - 1. New children take the
// node's check mark. `icons` may be null.
void ExpandFolderNode(CFolderNode* node, int depth, const ImageList8* icons);
// Appends the sub-folders that the node does not show yet; the children it has stay.
void AddNewChildren(CFolderNode* node, const ImageList8* icons);
// Fills the invisible root with one node per volume (fixed only when asked), each listed one
// level deep.
void BuildDriveRoots(CFolderNode& root, bool fixedOnly, const ImageList8* icons);
// The node of `path` under the invisible root: the root of the volume that holds the path most
// closely, then one listed child after another, matching whole components. Ancestors are listed
// as needed; none when the path is not in the tree. Does not check that the folder exists.
CFolderNode* FindFolderNode(CFolderNode& root, platform::StringView16 path, const ImageList8* icons);
// Marks every ancestor of the node expanded and lists their children that have none yet.
void ExpandAncestors(CFolderNode* node, const ImageList8* icons);

// ---- the tree and the breadcrumb ----

class CSFolderTree : public CSTree {
public:
    // The photo count glyphs: 5 pixels a character.
    void DrawRowExtra(int row, int rowTop) override;
    int QueryDropFiles(int x, int y) override;
    int OnDropFiles(int x, int y, const std::vector<platform::String16>* files) override;
    int DropHoverRow() const { return m_dropHover.load(); }
    // The row at a height of the tree (any x), or -1.
    int RowAtY(int y) const;
    void SetExpanderIcons(const ImageBuffer8* expanded, const ImageBuffer8* collapsed);
    // Empties the rows, so that the render thread reads no node while nodes change; Rebuild
    // brings them back. Never hold the tree's lock around Rebuild (it reaches the parent).
    void DropRows();
    // The text drawn beside a row: "" without photos, "%d" below 100, else "+".
    static std::u16string CountText(int imageCount);

    CSFolderPage* page = nullptr;

private:
    bool OverScrollBar(int x) const;
    std::atomic<int32_t> m_dropHover{-1};
};

class CSFolderTag : public CSTreeTag {
public:
    // The node's piece (at most 127 characters) without its final "/"; a volume root shows its
    // name ("/" for the root).
    std::u16string GetNodeText(const CTreeNode* node) override;
};

// ---- what the page needs from the album page ----

class IFolderPageHost {
public:
    virtual ~IFolderPageHost() = default;
    // Lists the grid again from the album's current page (the album page's RefreshList).
    virtual void RefreshList() = 0;
    // True while the search page is the current left-hand page: a folder selection then does
    // not refill the grid.
    virtual bool IsSearchMode() { return false; }
    // One listing of a folder into the grid: clear empties the list first, else the items are
    // merged (refill) and those not seen are dropped at the end; the list is sorted at the end.
    // Type code -2 is a folder entry (".." included), 0 and up an image type.
    virtual void BeginFolderListing(bool clear) = 0;
    virtual void AddFolderEntry(int32_t typeCode, const platform::String16& path, platform::FileTime lastWrite,
                                bool clear) = 0;
    virtual void EndFolderListing(bool clear) = 0;
    // The album's folder watch, or null.
    virtual CFolderWatchThread* FolderWatch() { return nullptr; }
};

// ---- the page ----

class CSFolderPage : public CSTabPage {
public:
    static constexpr int32_t kBackId = 13, kForwardId = 14, kUpId = 15, kFavouritesId = 16, kTagId = 17,
                             kNewFolderId = 18, kTreeId = 19, kFavMenuId = 100;
    // Favourites menu commands: add, manage, then one per favourite from kFavFirstCommand.
    static constexpr int32_t kFavAddCommand = 101, kFavManageCommand = 102, kFavFirstCommand = 103;
    // Private sprite messages: the render thread's drive check request.
    static constexpr int32_t kMsgCheckDrives = 11301;
    static constexpr uint32_t kDriveCheckPeriodMs = 5000;
    static constexpr int kHistoryPathMax = 2047;
    static constexpr int kNewFolderNameMax = 31;
    static constexpr int kDisabledOpacity = 100;

    CSFolderPage();
    ~CSFolderPage() override;

    void SetHost(IFolderPageHost* host) { m_host = host; }
    void SetConfig(const AlbumConfig& config) { m_config = config; }
    const AlbumConfig& Config() const { return m_config; }

    // Loads the icons, builds the volume roots and goes to the start folder; 0 when
    // "foldertree.png" is missing.
    int InitTree();
    // 1 when the folder exists and was selected.
    int GoToPath(platform::StringView16 path);
    void ListFolderImages(int clear);
    void RefreshCurrentFolder();
    void RefreshAfterChange();
    // 1 when both paths lie on volumes that are not removable (a drop then moves).
    int IsFixedDrivePair(platform::StringView16 a, platform::StringView16 b) const;
    void SelectFolder(CFolderNode* node);
    // Drops volumes that are gone, adds new removable ones; reselects the folder when anything
    // changed. 1 when the tree changed.
    int RefreshDrives();
    void NewFolder();
    void GoBack();
    void GoForward();
    void GoUp();

    // Favourites.
    void ShowFavouritesMenu();
    void OnFavouriteCommand(int32_t id);
    // 0 when no folder is selected or the user cancelled; -1 when the list is full (said).
    int AddFavourite();
    void ManageFavourites();

    // Moves or copies dropped files into a folder (images only); the number placed.
    int DropFilesInto(const std::vector<platform::String16>& files, const platform::String16& folder);

    void SetPos(int x, int y, int width, int height) override;
    int OnCreate() override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    int OnSpriteMessage(SpriteMessage* message) override;

    // ---- state for the album page and tests ----
    CFolderNode& RootNode() { return m_root; }
    CFolderNode* Current() const { return m_current; }
    platform::String16 CurrentPath() const { return GetFolderPath(m_current); }
    CSFolderTree& Tree() { return m_tree; }
    CSFolderTag& Tag() { return m_tag; }
    CSMenu& FavouritesMenu() { return m_favMenu; }
    CSButton& Button(int32_t id);
    const std::vector<platform::String16>& History() const { return m_history; }
    int HistoryPos() const { return m_historyPos; }
    const ImageList8& Icons() const { return m_icons; }
    const ImageList8& Digits() const { return m_digits; }

    // Seams (tests replace them): the one-line text question (1 on OK, text in and out) and
    // the message box (SpriteMessageBox's arguments and results).
    std::function<int(std::u16string& text, const char16_t* captionKey, const char16_t* promptKey, int maxLength)>
        m_askText;
    std::function<int(const char16_t* text, int kind, int buttons)> m_messageBox;
    // Runs the favourites manager; the default builds CFavManageDlg from template 130.
    std::function<void()> m_runFavouritesManager;

private:
    void UpdateButtons();
    void Busy(bool on);
    int AskText(std::u16string& text, const char16_t* captionKey, const char16_t* promptKey, int maxLength);
    int Message(const char16_t* text, int kind, int buttons);
    void ShowRoot();
    void DrawSeparators();

    CFolderNode m_root;
    CSFolderTree m_tree;
    CSButton m_back, m_forward, m_up, m_favourites, m_newFolder;
    CSFolderTag m_tag;
    CSMenu m_favMenu;
    std::vector<platform::String16> m_history;
    int32_t m_historyPos = -1;
    CFolderNode* m_current = nullptr;
    IFolderPageHost* m_host = nullptr;
    AlbumConfig m_config;
    ImageList8 m_icons;
    ImageList8 m_digits;
    std::atomic<uint32_t> m_lastDriveCheck{0};
    std::atomic<int32_t> m_driveCheckStarted{0};
    std::atomic<int32_t> m_driveCheckPending{0};
    int32_t m_busyDepth = 0;
};
