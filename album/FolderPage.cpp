// The folder page: volumes, lazily listed folders, history, the drive check, drops on rows.
#include "album/FolderPage.h"

#include "album/FolderWatchThread.h"
#include "imaging/Draw8.h"
#include "imaging/ImageCodec/ImageType.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Format.h"
#include "platform/Path.h"
#include "ui/ClipboardUi.h"
#include "ui/InputString.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>
#include <mutex>

using platform::String16;
using platform::StringView16;

namespace {

constexpr int kTreeTop = 23;
constexpr int kButtonSize = 20;
constexpr int kBusySize = 90;
constexpr int kFolderTextMax = 128; // a longer name is shown cut to 125 characters and ".."
constexpr int kTagTextMax = 127;
constexpr size_t kPathMax = 1023;   // album paths; longer ones are refused, never cut

std::mutex g_volumeMutex;
VolumeReader g_volumeReader;
String16 g_homeForVolumes;

// After the toolkit's idle render thread: ask for the frame that keeps the drive check alive.
template <class W>
void AskFrameIn(W* window, uint32_t ms)
{
    if constexpr (requires { window->RequestFrameIn(ms); })
        window->RequestFrameIn(ms);
}

bool EndsWithSlash(StringView16 s) { return !s.empty() && s.back() == u'/'; }

String16 WithSlash(StringView16 s)
{
    String16 out(s);
    if (!EndsWithSlash(out))
        out += u'/';
    return out;
}

bool StartsWith(StringView16 s, StringView16 prefix)
{
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

String16 DisplayName(StringView16 name)
{
    if (name.size() < size_t(kFolderTextMax))
        return String16(name);
    return String16(name.substr(0, kFolderTextMax - 3)) + u"..";
}

const ImageBuffer8* IconFrame(const ImageList8* icons, int frame)
{
    return icons && frame >= 0 && size_t(frame) < icons->size() ? (*icons)[size_t(frame)] : nullptr;
}

const ImageBuffer8* VolumeIcon(const ImageList8* icons, int32_t kind)
{
    switch (kind) {
    case kVolumeFixed:
    case kVolumeRamDisk: return IconFrame(icons, kFolderIconFixed);
    case kVolumeCdRom: return IconFrame(icons, kFolderIconCdRom);
    case kVolumeRemovable: return IconFrame(icons, kFolderIconRemovable);
    default: return nullptr; // remote volumes have no icon
    }
}

bool IsFolderNodeIn(const CTreeNode* root, const CTreeNode* wanted)
{
    if (root == wanted)
        return true;
    for (const CTreeNode* child : root->children)
        if (IsFolderNodeIn(child, wanted))
            return true;
    return false;
}

bool IsAncestorOf(const CFolderNode* ancestor, const CFolderNode* node)
{
    for (const CFolderNode* p = node; p; p = p->ParentFolder())
        if (p == ancestor)
            return true;
    return false;
}

// A volume root's text: "/" for the root, else the last name of its mount point.
String16 VolumeText(StringView16 path)
{
    if (path == u"/")
        return u"/";
    String16 p(path);
    while (p.size() > 1 && p.back() == u'/')
        p.pop_back();
    const size_t slash = p.rfind(u'/');
    return DisplayName(slash == String16::npos ? StringView16(p) : StringView16(p).substr(slash + 1));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Volumes

void SetVolumeReader(VolumeReader reader)
{
    std::lock_guard<std::mutex> lock(g_volumeMutex);
    g_volumeReader = std::move(reader);
}

void SetHomeFolderForVolumes(const String16& home)
{
    std::lock_guard<std::mutex> lock(g_volumeMutex);
    g_homeForVolumes = home;
}

int32_t VolumeKindOf(const platform::Volume& volume)
{
    if (volume.removable)
        return kVolumeRemovable;
    const String16& fs = volume.fileSystem;
    static const char16_t* const kRemote[] = {u"nfs", u"nfs4", u"cifs", u"smb3", u"smbfs", u"sshfs", u"fuse.sshfs",
                                              u"9p", u"afs", u"ceph", u"glusterfs", u"davfs", u"fuse.davfs2",
                                              u"fuse.rclone", u"fuse.gvfsd-fuse"};
    for (const char16_t* r : kRemote)
        if (fs == r)
            return kVolumeRemote;
    if (fs == u"iso9660" || fs == u"udf")
        return kVolumeCdRom;
    if (fs == u"tmpfs" || fs == u"ramfs")
        return kVolumeRamDisk;
    return kVolumeFixed;
}

std::vector<FolderVolume> ReadFolderVolumes(bool fixedOnly)
{
    VolumeReader reader;
    String16 home;
    {
        std::lock_guard<std::mutex> lock(g_volumeMutex);
        reader = g_volumeReader;
        home = g_homeForVolumes;
    }
    const std::vector<platform::Volume> mounts = reader ? reader() : platform::ListVolumes();
    if (home.empty())
        home = platform::HomeFolder();

    std::vector<FolderVolume> out;
    auto add = [&](const String16& path, int32_t kind) {
        const String16 p = WithSlash(path);
        if (p.size() > kPathMax || p.front() != u'/' || !platform::IsDirectory(p))
            return;
        for (const FolderVolume& v : out)
            if (v.path == p)
                return;
        if (fixedOnly && kind != kVolumeFixed)
            return;
        out.push_back({p, kind, VolumeText(p)});
    };
    int32_t rootKind = kVolumeFixed;
    for (const platform::Volume& v : mounts)
        if (v.mountPoint == u"/")
            rootKind = VolumeKindOf(v);
    add(u"/", rootKind);
    if (!home.empty()) {
        platform::Volume homeVolume;
        add(home, platform::VolumeOfPath(home, mounts, homeVolume) && homeVolume.removable ? kVolumeRemovable
                                                                                            : kVolumeFixed);
    }
    for (const platform::Volume& v : mounts)
        if (!v.mountPoint.empty())
            add(v.mountPoint, VolumeKindOf(v));
    return out;
}

// ---------------------------------------------------------------------------------------------
// Paths

bool FolderContainsPath(StringView16 folder, StringView16 path)
{
    if (folder.empty() || path.empty())
        return false;
    return StartsWith(WithSlash(path), WithSlash(folder));
}

String16 ParentFolderPath(StringView16 path)
{
    String16 p(path);
    while (p.size() > 1 && p.back() == u'/')
        p.pop_back();
    if (p.size() >= 3 && StringView16(p).substr(p.size() - 3) == u"/..") {
        p.resize(p.size() - 3);
        if (p.empty())
            return u"/";
    }
    const size_t slash = p.rfind(u'/');
    if (slash == String16::npos)
        return u"/";
    return p.substr(0, slash + 1);
}

bool IsValidFolderName(StringView16 name)
{
    if (name.empty() || name == u"." || name == u"..")
        return false;
    for (char16_t c : name)
        if (c == u'/' || c < 0x20 || c == 0x7F)
            return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Nodes

String16 GetFolderPath(const CFolderNode* node)
{
    std::vector<const CFolderNode*> chain;
    for (const CFolderNode* n = node; n && n->nodeKind != kFolderNodeRoot; n = n->ParentFolder())
        chain.push_back(n);
    String16 path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        path += (*it)->pathPiece;
    return path;
}

void ExpandFolderNode(CFolderNode* node, int depth, const ImageList8* icons)
{
    if (!node)
        return;
    node->RemoveChildren();
    node->imageCount = 0;
    const String16 path = GetFolderPath(node);
    platform::FolderLister lister;
    if (!path.empty() && lister.Open(path, u"*")) {
        platform::FileInfo info;
        while (lister.Next(info)) {
            if (info.isDirectory) {
                if (info.name.empty() || info.name.front() == u'.')
                    continue;
                // A path the album cannot hold is left out rather than cut to another folder.
                if (path.size() + info.name.size() + 1 > kPathMax)
                    continue;
                auto* child = new CFolderNode;
                child->nodeKind = kFolderNodeFolder;
                child->pathPiece = info.name + u"/";
                child->SetText(DisplayName(info.name).c_str());
                child->icon = IconFrame(icons, kFolderIconFolder);
                child->checkMark = node->checkMark;
                node->AddChild(child);
                if (depth >= 2)
                    ExpandFolderNode(child, depth - 1, icons);
            } else if (ImageTypeFromExtension(info.name.c_str()) != kImageTypeOther) {
                ++node->imageCount;
            }
        }
    }
    if (node->nodeKind == kFolderNodeFolder)
        node->icon = IconFrame(icons, node->imageCount > 0 ? kFolderIconPhotos : kFolderIconFolder);
    node->childrenLoaded = 1;
}

void AddNewChildren(CFolderNode* node, const ImageList8* icons)
{
    const String16 path = GetFolderPath(node);
    platform::FolderLister lister;
    if (path.empty() || !lister.Open(path, u"*"))
        return;
    platform::FileInfo info;
    while (lister.Next(info)) {
        if (!info.isDirectory || info.name.empty() || info.name.front() == u'.' ||
            path.size() + info.name.size() + 1 > kPathMax)
            continue;
        const String16 piece = info.name + u"/";
        if (std::any_of(node->children.begin(), node->children.end(),
                        [&](const CTreeNode* c) { return static_cast<const CFolderNode*>(c)->pathPiece == piece; }))
            continue;
        auto* child = new CFolderNode;
        child->nodeKind = kFolderNodeFolder;
        child->pathPiece = piece;
        child->SetText(DisplayName(info.name).c_str());
        child->icon = IconFrame(icons, kFolderIconFolder);
        child->checkMark = node->checkMark;
        node->AddChild(child);
    }
}

void BuildDriveRoots(CFolderNode& root, bool fixedOnly, const ImageList8* icons)
{
    root.RemoveChildren();
    root.nodeKind = kFolderNodeRoot;
    for (const FolderVolume& v : ReadFolderVolumes(fixedOnly)) {
        auto* node = new CFolderNode;
        node->nodeKind = v.kind;
        node->pathPiece = v.path;
        node->SetText(v.text.c_str());
        node->icon = VolumeIcon(icons, v.kind);
        node->checkMark = root.checkMark;
        root.AddChild(node);
        ExpandFolderNode(node, 1, icons);
    }
    root.childrenLoaded = 1;
}

CFolderNode* FindFolderNode(CFolderNode& root, StringView16 path, const ImageList8* icons)
{
    if (path.empty() || path.front() != u'/')
        return nullptr;
    const String16 wanted = WithSlash(path);
    // Volumes nest ("/" holds the home folder): the closest one holds the path.
    CFolderNode* node = nullptr;
    for (size_t i = 0; i < root.children.size(); ++i) {
        CFolderNode* r = root.Child(i);
        if (FolderContainsPath(r->pathPiece, wanted) && (!node || r->pathPiece.size() > node->pathPiece.size()))
            node = r;
    }
    if (!node)
        return nullptr;
    String16 nodePath = node->pathPiece;
    while (nodePath != wanted) {
        if (!node->childrenLoaded)
            ExpandFolderNode(node, 1, icons);
        auto findChild = [&]() -> CFolderNode* {
            for (size_t i = 0; i < node->children.size(); ++i)
                if (FolderContainsPath(nodePath + node->Child(i)->pathPiece, wanted))
                    return node->Child(i);
            return nullptr;
        };
        CFolderNode* next = findChild();
        if (!next) {
            // A folder made since the node was listed: added, the nodes already there kept.
            AddNewChildren(node, icons);
            next = findChild();
        }
        if (!next)
            return nullptr;
        node = next;
        nodePath += node->pathPiece;
    }
    if (!node->childrenLoaded)
        ExpandFolderNode(node, 1, icons);
    return node;
}

void ExpandAncestors(CFolderNode* node, const ImageList8* icons)
{
    for (CFolderNode* a = node ? node->ParentFolder() : nullptr; a && a->nodeKind != kFolderNodeRoot;
         a = a->ParentFolder()) {
        a->expanded = 1;
        for (size_t i = 0; i < a->children.size(); ++i)
            if (!a->Child(i)->childrenLoaded)
                ExpandFolderNode(a->Child(i), 1, icons);
    }
}

// ---------------------------------------------------------------------------------------------
// CSFolderTree

std::u16string CSFolderTree::CountText(int imageCount)
{
    if (imageCount < 1)
        return {};
    if (imageCount >= 100)
        return u"+";
    return platform::IntToText(imageCount);
}

void CSFolderTree::DrawRowExtra(int row, int rowTop)
{
    // Called by DrawRow with the tree's lock held.
    if (row < 0 || row >= int(m_rows.size()))
        return;
    const TreeRow& r = m_rows[size_t(row)];
    if (row == m_dropHover.load())
        BrightenBand(rowTop, 48, m_rowHeight);
    const auto* node = static_cast<const CFolderNode*>(r.node);
    if (!node || node->nodeKind != kFolderNodeFolder)
        return;
    const std::u16string text = CountText(node->imageCount);
    const ImageList8* digits = page ? &page->Digits() : nullptr;
    if (text.empty() || !digits || digits->size() < 11)
        return;
    int x = r.textX + node->textImage.width + (text.size() == 2 ? 3 : 6);
    const int y = rowTop + 7;
    for (char16_t c : text) {
        const int frame = c == u'+' ? 10 : int(c - u'0');
        FillThroughMask8(m_image, *(*digits)[size_t(frame)], x, y, 0xFF9AB4D2);
        x += 5;
    }
}

int CSFolderTree::RowAtY(int y) const
{
    if (m_rowHeight <= 0 || y < 0 || y >= Height())
        return -1;
    const int row = (y + m_scroll.load()) / m_rowHeight;
    return row < RowCount() ? row : -1;
}

void CSFolderTree::SetExpanderIcons(const ImageBuffer8* expanded, const ImageBuffer8* collapsed)
{
    platform::ScopedLock lock(m_lock);
    m_expandedIcon = expanded;
    m_collapsedIcon = collapsed;
    SetAllDirty(1);
}

void CSFolderTree::DropRows()
{
    platform::ScopedLock lock(m_lock);
    m_rows.clear();
    m_hovered = -1;
    m_hoveredExpander = -1;
    m_dropHover.store(-1);
}

bool CSFolderTree::OverScrollBar(int x) const
{
    return m_scrollState.shown && x >= Width() - 17;
}

int CSFolderTree::QueryDropFiles(int x, int y)
{
    if (OverScrollBar(x))
        return 0;
    const int row = RowAtY(y);
    if (row == m_dropHover.load())
        return 0;
    m_dropHover.store(row);
    SetAllDirty(1);
    return row >= 0 ? 1 : 0;
}

int CSFolderTree::OnDropFiles(int x, int y, const std::vector<String16>* files)
{
    const int hover = m_dropHover.exchange(-1);
    if (hover >= 0)
        SetAllDirty(1);
    if (!files || OverScrollBar(x) || !page)
        return 1; // the album takes every drop that lands on it
    const int row = RowAtY(y);
    if (row < 0)
        return 1;
    const String16 target = GetFolderPath(static_cast<const CFolderNode*>(Row(row).node));
    if (target.empty())
        return 1;
    page->DropFilesInto(*files, target);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// CSFolderTag

std::u16string CSFolderTag::GetNodeText(const CTreeNode* node)
{
    const auto* n = static_cast<const CFolderNode*>(node);
    if (!n)
        return {};
    // A volume root holds its whole mount point: its name reads better in the bar.
    if (n->nodeKind >= kVolumeRemovable && n->Text())
        return String16(n->Text()).substr(0, size_t(kTagTextMax));
    String16 text = n->pathPiece.substr(0, size_t(kTagTextMax));
    if (text.size() > 1 && text.back() == u'/')
        text.pop_back();
    return text;
}

// ---------------------------------------------------------------------------------------------
// CSFolderPage

CSFolderPage::CSFolderPage() : CSTabPage(UiText(u"FolderTab"))
{
    m_tree.page = this;
}

CSFolderPage::~CSFolderPage()
{
    // Members: out of the child list before the base goes, never deleted by it.
    for (CSprite* child : {static_cast<CSprite*>(&m_tree), static_cast<CSprite*>(&m_back),
                           static_cast<CSprite*>(&m_forward), static_cast<CSprite*>(&m_up),
                           static_cast<CSprite*>(&m_favourites), static_cast<CSprite*>(&m_newFolder),
                           static_cast<CSprite*>(&m_tag)})
        RemoveChild(child);
    m_tag.SetCurrentNode(nullptr);
    m_root.RemoveChildren();
}

CSButton& CSFolderPage::Button(int32_t id)
{
    switch (id) {
    case kBackId: return m_back;
    case kForwardId: return m_forward;
    case kUpId: return m_up;
    case kFavouritesId: return m_favourites;
    default: return m_newFolder;
    }
}

int CSFolderPage::OnCreate()
{
    if (!m_tree.Create(this, m_window, kTreeId, 1, 0, kTreeTop, 100, 100))
        return 0;
    AddChild(&m_tree);
    struct Spec {
        CSButton& button;
        int32_t id;
        const char16_t* icon;
        const char16_t* tip;
    };
    const Spec specs[] = {{m_back, kBackId, u"prev.png", nullptr},
                          {m_forward, kForwardId, u"next.png", nullptr},
                          {m_up, kUpId, u"up.png", nullptr},
                          {m_favourites, kFavouritesId, u"fav.png", u"favtip"},
                          {m_newFolder, kNewFolderId, u"newfolder.png", u"newfolder"}};
    for (const Spec& s : specs) {
        if (!s.button.Create(this, m_window, s.id, 2, 0, 0, kButtonSize, kButtonSize) ||
            !s.button.Setup(nullptr, s.icon, 0, 0, 0, kButtonSize, kButtonSize))
            return 0;
        if (s.tip)
            s.button.SetTooltip(UiText(s.tip));
        AddChild(&s.button);
    }
    if (!m_tag.Create(this, m_window, kTagId, 2, 2, 0, 100, 20))
        return 0;
    m_tag.SetVisible(0);
    AddChild(&m_tag);
    if (!m_favMenu.Create(nullptr, m_window, kFavMenuId, 200, 0, 0, 100, 100))
        return 0;
    if ((m_digits.size() == 0))
        LoadUiImageStrip(UiImageFolder::Basic, u"smalldigi.png", 5, m_digits);
    UpdateButtons();
    return 1;
}

void CSFolderPage::SetPos(int x, int y, int width, int height)
{
    CSTabPage::SetPos(x, y, width, height);
    const int w = width, h = height;
    m_tree.SetPos(0, kTreeTop, w, std::max(0, h - 45));
    m_favourites.SetPos(w - 20, 0, kButtonSize, kButtonSize);
    m_newFolder.SetPos(w - 40, 0, kButtonSize, kButtonSize);
    m_back.SetPos(0, 0, kButtonSize, kButtonSize);
    m_forward.SetPos(20, 0, kButtonSize, kButtonSize);
    m_up.SetPos(45, 0, kButtonSize, kButtonSize);
    m_tag.SetPos(2, h - 20, std::max(0, w - 4), 20);
    SetAllDirty(1);
}

void CSFolderPage::DrawSeparators()
{
    // Called with the page's lock held (OnDraw).
    ImageBuffer8& img = m_image;
    if (!img.data)
        return;
    std::memset(img.data, 0, size_t(img.width) * img.height * 4);
    const int w = img.width;
    for (int row : {21, img.height - 21}) {
        if (row < 0 || row >= img.height)
            continue;
        for (int x = 0; x < w; ++x) {
            // 32 at both ends, 96 in the middle.
            const int half = std::max(1, (w - 1) / 2);
            const int d = std::abs(x - (w - 1) / 2);
            const uint8_t g = uint8_t(96 - 64 * std::min(d, half) / half);
            uint8_t* p = img.data + (size_t(row) * w + x) * 4;
            p[0] = p[1] = p[2] = g;
            p[3] = 255;
        }
    }
}

int CSFolderPage::OnDraw(uint32_t time)
{
    int drew = 0;
    if (AllDirty()) {
        DrawSeparators();
        drew = 1;
    }
    // The drive check: timed here, run on the UI thread.
    const uint32_t now = time ? time : platform::GetTickCount32();
    if (!m_driveCheckStarted.exchange(1)) {
        m_lastDriveCheck.store(now);
    } else if (now - m_lastDriveCheck.load() >= kDriveCheckPeriodMs && !m_driveCheckPending.exchange(1)) {
        m_lastDriveCheck.store(now);
        if (!::PostSpriteMessage(this, kMsgCheckDrives, 0, 0, this))
            m_driveCheckPending.store(0);
    }
    AskFrameIn(m_window, kDriveCheckPeriodMs);
    return drew;
}

void CSFolderPage::ReleaseResources(int flag)
{
    m_tag.SetCurrentNode(nullptr);
    m_current = nullptr;
    m_tree.SetRoot(nullptr); // no rows: the render thread reads no node while they go
    m_root.RemoveChildren();
    m_history.clear();
    m_historyPos = -1;
    for (CSprite* child : {static_cast<CSprite*>(&m_tree), static_cast<CSprite*>(&m_back),
                           static_cast<CSprite*>(&m_forward), static_cast<CSprite*>(&m_up),
                           static_cast<CSprite*>(&m_favourites), static_cast<CSprite*>(&m_newFolder),
                           static_cast<CSprite*>(&m_tag)}) {
        RemoveChild(child);
        child->ReleaseResources(flag);
    }
    m_favMenu.ReleaseResources(flag);
    CSTabPage::ReleaseResources(flag);
}

void CSFolderPage::Busy(bool on)
{
    if (!m_window)
        return;
    if (on) {
        if (m_busyDepth++ == 0) {
            const SRect page = LocalToWindowRect({0, 0, Width(), Height()});
            const int cx = (page.left + page.right) / 2, cy = (page.top + page.bottom) / 2;
            m_window->BeginBusy({cx - kBusySize / 2, cy - kBusySize / 2, cx + kBusySize / 2, cy + kBusySize / 2});
        }
    } else if (m_busyDepth > 0 && --m_busyDepth == 0) {
        m_window->EndBusy();
    }
}

int CSFolderPage::AskText(std::u16string& text, const char16_t* captionKey, const char16_t* promptKey, int maxLength)
{
    if (m_askText)
        return m_askText(text, captionKey, promptKey, maxLength);
    std::vector<char16_t> buffer(size_t(maxLength) + 1, 0);
    std::copy_n(text.begin(), std::min(text.size(), size_t(maxLength)), buffer.begin());
    const SPoint corner = LocalToWindowPoint({10, 30});
    if (!InputString(buffer.data(), maxLength + 1, UiText(captionKey), UiText(promptKey), corner.x, corner.y))
        return 0;
    text = buffer.data();
    return 1;
}

int CSFolderPage::Message(const char16_t* text, int kind, int buttons)
{
    if (m_messageBox)
        return m_messageBox(text, kind, buttons);
    return SpriteMessageBox(text, kind, buttons);
}

void CSFolderPage::ShowRoot()
{
    m_tree.SetRoot(&m_root);
}

int CSFolderPage::InitTree()
{
    if ((m_icons.size() == 0) && !LoadUiImageStrip(UiImageFolder::Skin, u"foldertree.png", 16, m_icons))
        return 0;
    if (m_icons.size() > size_t(kFolderIconCollapsed)) {
        m_tree.SetExpanderIcons(m_icons[kFolderIconExpanded], m_icons[kFolderIconCollapsed]);
    }
    if ((m_digits.size() == 0))
        LoadUiImageStrip(UiImageFolder::Basic, u"smalldigi.png", 5, m_digits);
    WriteUiLog(u"Init Root Folder");
    m_tag.SetCurrentNode(nullptr);
    m_tag.Rebuild();
    m_current = nullptr;
    m_tree.SetRoot(nullptr);
    BuildDriveRoots(m_root, false, &m_icons);
    m_history.clear();
    m_historyPos = -1;
    ShowRoot();
    WriteUiLog(u"Goto Path");
    if (m_config.startFolder && m_config.startFolder[0])
        GoToPath(StringView16(m_config.startFolder, platform::TextLength(m_config.startFolder, kStartFolderChars)));
    UpdateButtons();
    WriteUiLog(u"Folder Init over");
    return 1;
}

int CSFolderPage::GoToPath(StringView16 path)
{
    if (path.empty() || path.size() > kPathMax || path.front() != u'/' || !platform::IsDirectory(path))
        return 0;
    {
        platform::FolderLister probe;
        if (!probe.Open(path, u"*"))
            return 0;
    }
    WriteUiLog(u"Path check OK");
    CFolderNode* node = nullptr;
    // The rows go first, so the render thread reads no node while nodes are listed; Rebuild
    // brings them back.
    m_tree.DropRows();
    node = FindFolderNode(m_root, path, &m_icons);
    if (node)
        ExpandAncestors(node, &m_icons);
    m_tree.Rebuild();
    if (!node)
        return 0;
    m_tree.SelectNode(node, true);
    SelectFolder(node);
    WriteUiLog(u"Path Go to OK");
    return 1;
}

void CSFolderPage::SelectFolder(CFolderNode* node)
{
    if (node == m_current)
        return;
    m_current = node;
    if (!node) {
        m_tag.SetCurrentNode(nullptr);
        m_tag.Rebuild();
        m_tag.SetVisible(0);
        UpdateButtons();
        return;
    }
    const String16 p = GetFolderPath(node);
    if (m_host)
        if (CFolderWatchThread* watch = m_host->FolderWatch())
            watch->SetWatchPath(p);
    Busy(true);

    // History: a step to a neighbour entry moves the position; anything else cuts and appends.
    const int n = int(m_history.size());
    int& k = m_historyPos;
    if (k > 0 && k - 1 < n && m_history[size_t(k - 1)] == p)
        k = k - 1;
    else if (k < n - 1 && k + 1 >= 0 && m_history[size_t(k + 1)] == p)
        k = k + 1;
    else if (n > 0 && m_history[size_t(n - 1)] == p)
        k = n - 1;
    else if (k >= 0 && k < n && m_history[size_t(k)] == p)
        ;
    else {
        if (k != -1)
            m_history.resize(size_t(k + 1));
        m_history.push_back(p);
        k = int(m_history.size()) - 1;
    }

    m_tag.SetCurrentNode(node);
    m_tag.Rebuild();
    m_tag.SetVisible(1);
    UpdateButtons();
    if (!m_host || !m_host->IsSearchMode())
        ListFolderImages(1);
    // A path the field cannot hold keeps the previous start folder (a cut one names another).
    if (m_config.startFolder && p.size() < kStartFolderChars) {
        std::fill(m_config.startFolder, m_config.startFolder + kStartFolderChars, u'\0');
        std::copy(p.begin(), p.end(), m_config.startFolder);
    }
    Busy(false);
}

void CSFolderPage::UpdateButtons()
{
    const int n = int(m_history.size()), k = m_historyPos;
    auto set = [](CSButton& b, bool on) {
        b.SetEnabled(on ? 1 : 0);
        b.SetOpacity(on ? 255 : kDisabledOpacity);
        b.SetAllDirty(1);
    };
    set(m_back, k > 0);
    set(m_forward, k != -1 && k < n - 1);
    set(m_up, m_current && m_current->ParentFolder() && m_current->ParentFolder()->nodeKind != kFolderNodeRoot);
    set(m_newFolder, m_current != nullptr);
}

void CSFolderPage::ListFolderImages(int clear)
{
    if (!m_host || !m_current)
        return;
    const bool c = clear != 0;
    const String16 folder = GetFolderPath(m_current);
    m_host->BeginFolderListing(c);
    if (m_current->nodeKind == kFolderNodeFolder) {
        platform::FileInfo parentInfo;
        platform::GetFileInfo(ParentFolderPath(folder), parentInfo);
        m_host->AddFolderEntry(-2, folder + u"..", parentInfo.lastWrite, c);
    }
    platform::FolderLister lister;
    if (lister.Open(folder, u"*")) {
        platform::FileInfo info;
        while (lister.Next(info)) {
            if (info.name.empty() || info.name.front() == u'.')
                continue;
            const String16 path = folder + info.name;
            if (path.size() > kPathMax)
                continue; // never cut to another file's name
            if (info.isDirectory) {
                m_host->AddFolderEntry(-2, path, info.lastWrite, c);
            } else {
                const int type = ImageTypeFromExtension(info.name.c_str());
                if (type != kImageTypeOther)
                    m_host->AddFolderEntry(type, path, info.lastWrite, c);
            }
        }
    }
    m_host->EndFolderListing(c);
}

void CSFolderPage::RefreshCurrentFolder()
{
    if (!m_current)
        return;
    // The shown folder may be gone: the nearest folder that still exists takes its place.
    CFolderNode* node = m_current;
    while (node && node->nodeKind == kFolderNodeFolder && !platform::IsDirectory(GetFolderPath(node)))
        node = node->ParentFolder();
    if (!node || node->nodeKind == kFolderNodeRoot)
        return;
    if (node != m_current) {
        m_tag.SetCurrentNode(nullptr);
        m_tag.Rebuild();
        m_current = nullptr;
    }
    m_tree.DropRows();
    ExpandFolderNode(node, node->expanded ? 2 : 1, &m_icons);
    m_tree.Rebuild();
    m_tree.SelectNode(node, false);
    if (node != m_current)
        SelectFolder(node);
}

void CSFolderPage::RefreshAfterChange()
{
    if (m_host)
        m_host->RefreshList();
    RefreshCurrentFolder();
}

int CSFolderPage::IsFixedDrivePair(StringView16 a, StringView16 b) const
{
    if (a.empty() || b.empty() || a.front() != u'/' || b.front() != u'/')
        return 0;
    VolumeReader reader;
    {
        std::lock_guard<std::mutex> lock(g_volumeMutex);
        reader = g_volumeReader;
    }
    const std::vector<platform::Volume> volumes = reader ? reader() : platform::ListVolumes();
    platform::Volume va, vb;
    if (!platform::VolumeOfPath(a, volumes, va) || !platform::VolumeOfPath(b, volumes, vb))
        return 0;
    return VolumeKindOf(va) == kVolumeFixed && VolumeKindOf(vb) == kVolumeFixed ? 1 : 0;
}

int CSFolderPage::DropFilesInto(const std::vector<String16>& files, const String16& folder)
{
    std::vector<String16> images;
    for (const String16& f : files) {
        // Over-long paths are refused, never cut; folders and other files are ignored.
        if (f.empty() || f.size() > kPathMax || f.front() != u'/' || !platform::IsRegularFile(f))
            continue;
        if (ImageTypeFromExtension(String16(platform::FileNamePart(f)).c_str()) == kImageTypeOther)
            continue;
        images.push_back(f);
    }
    if (images.empty() || folder.size() > kPathMax || !platform::IsDirectory(folder))
        return 0;
    const bool move = IsFixedDrivePair(images.front(), folder) != 0;
    const int placed = PlaceFiles(images, WithSlash(folder), move);
    RefreshAfterChange();
    return placed;
}

int CSFolderPage::RefreshDrives()
{
    const std::vector<FolderVolume> volumes = ReadFolderVolumes(false);
    bool changed = false;
    std::vector<CFolderNode*> gone;
    for (size_t i = 0; i < m_root.children.size(); ++i) {
        CFolderNode* r = m_root.Child(i);
        const bool present = std::any_of(volumes.begin(), volumes.end(),
                                         [&](const FolderVolume& v) { return v.path == r->pathPiece; });
        if (!present)
            gone.push_back(r);
    }
    std::vector<const FolderVolume*> added;
    for (const FolderVolume& v : volumes) {
        if (v.kind != kVolumeRemovable)
            continue; // other kinds are not added after the start
        const bool known = std::any_of(m_root.children.begin(), m_root.children.end(), [&](const CTreeNode* n) {
            return static_cast<const CFolderNode*>(n)->pathPiece == v.path;
        });
        if (!known)
            added.push_back(&v);
    }
    changed = !gone.empty() || !added.empty();
    if (!changed)
        return 0;

    const String16 remembered = GetFolderPath(m_current);
    m_tag.SetCurrentNode(nullptr);
    m_tag.Rebuild();
    {
        m_current = nullptr;
        m_tree.SetRoot(nullptr);
        for (CFolderNode* r : gone) {
            auto it = std::find(m_root.children.begin(), m_root.children.end(), r);
            if (it != m_root.children.end()) {
                m_root.children.erase(it);
                r->Clear();
                delete r;
            }
        }
        for (const FolderVolume* v : added) {
            auto* node = new CFolderNode;
            node->nodeKind = v->kind;
            node->pathPiece = v->path;
            node->SetText(v->text.c_str());
            m_root.AddChild(node);
            ExpandFolderNode(node, 1, &m_icons);
        }
    }
    m_history.clear();
    m_historyPos = -1;
    ShowRoot();
    m_tag.SetVisible(0);
    if (!remembered.empty())
        GoToPath(remembered);
    UpdateButtons();
    return 1;
}

void CSFolderPage::NewFolder()
{
    if (!m_current)
        return;
    std::u16string name;
    if (!AskText(name, u"New folder", u"New Folder Tip", kNewFolderNameMax))
        return;
    if (!IsValidFolderName(name)) {
        Message(UiText(u"badfoldername"), kMbError, kMbOk);
        return;
    }
    const String16 path = GetFolderPath(m_current) + name;
    if (path.size() > kPathMax || platform::PathExists(path) || !platform::CreateFolder(path))
        return; // not reported, as the shell's own folder creation
    RefreshAfterChange();
}

void CSFolderPage::GoBack()
{
    const int k = m_historyPos;
    if (k >= 1 && k < int(m_history.size()))
        GoToPath(String16(m_history[size_t(k - 1)]));
}

void CSFolderPage::GoForward()
{
    const int k = m_historyPos;
    if (k + 1 >= 0 && k + 1 < int(m_history.size()))
        GoToPath(String16(m_history[size_t(k + 1)]));
}

void CSFolderPage::GoUp()
{
    if (!m_current)
        return;
    CFolderNode* parent = m_current->ParentFolder();
    if (!parent || parent->nodeKind == kFolderNodeRoot)
        return;
    m_tree.SelectNode(parent, true);
    SelectFolder(parent);
}

int CSFolderPage::OnSpriteMessage(SpriteMessage* message)
{
    if (!message)
        return 0;
    switch (message->code) {
    case MSG_COMMAND:
        switch (int32_t(message->param1)) {
        case kBackId: GoBack(); return 1;
        case kForwardId: GoForward(); return 1;
        case kUpId: GoUp(); return 1;
        case kFavouritesId: ShowFavouritesMenu(); return 1;
        case kTagId: return 1;
        case kNewFolderId: NewFolder(); return 1;
        default: break;
        }
        break;
    case MSG_TREE_EXPAND: {
        // The node pointer of a queued message may be gone: only a node still in the tree counts.
        auto* node = reinterpret_cast<CFolderNode*>(message->param2);
        if (!node || !IsFolderNodeIn(&m_root, node))
            return 1;
        Busy(true);
        m_tree.DropRows();
        if (node->expanded) {
            for (size_t i = 0; i < node->children.size(); ++i)
                if (!node->Child(i)->childrenLoaded)
                    ExpandFolderNode(node->Child(i), 1, &m_icons);
        }
        m_tree.Rebuild();
        if (!node->expanded && m_current && m_current != node && IsAncestorOf(node, m_current)) {
            m_tree.SelectNode(node, true);
            SelectFolder(node);
        } else if (m_current) {
            m_tree.SelectNode(m_current, false);
        }
        Busy(false);
        return 1;
    }
    case MSG_TREE_SELECT: {
        // The tree's own selection now, not the queued pointer.
        auto* node = static_cast<CFolderNode*>(m_tree.GetSelectedNode());
        if (node)
            SelectFolder(node);
        return 1;
    }
    case MSG_TREE_BACK: GoBack(); return 1;
    case MSG_MENU_COMMAND: OnFavouriteCommand(int32_t(message->param1)); return 1;
    case MSG_TAG_SELECT: {
        auto* node = reinterpret_cast<CFolderNode*>(message->param2);
        if (node && IsFolderNodeIn(&m_root, node))
            GoToPath(GetFolderPath(node));
        return 1;
    }
    case kMsgCheckDrives:
        m_driveCheckPending.store(0);
        RefreshDrives();
        return 1;
    default: break;
    }
    return CSTabPage::OnSpriteMessage(message);
}
