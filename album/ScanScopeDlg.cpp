// The scan scope dialog: a check-box tree of the fixed volumes; OK stores the topmost checked
// folders as the folders the photo scan covers.
#include "album/ScanScopeDlg.h"

#include "platform/DialogTemplate.h"
#include "platform/Format.h"
#include "platform/Path.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <memory>

using platform::String16;
using platform::StringView16;

namespace {

constexpr int kBusySize = 90;
constexpr size_t kPathMax = 1023;

bool NodeIsIn(const CTreeNode* root, const CTreeNode* wanted)
{
    if (root == wanted)
        return true;
    for (const CTreeNode* child : root->children)
        if (NodeIsIn(child, wanted))
            return true;
    return false;
}

void CollectChecked(const CFolderNode& node, std::vector<String16>& out)
{
    for (size_t i = 0; i < node.children.size(); ++i) {
        const CFolderNode* child = node.Child(i);
        if (child->checkMark) {
            const String16 path = GetFolderPath(child);
            if (!path.empty() && path.size() <= kPathMax)
                out.push_back(path);
            continue; // what lies inside a checked folder is covered by it
        }
        CollectChecked(*child, out);
    }
}

} // namespace

void SetCheckTree(CFolderNode* node, int32_t value)
{
    if (!node)
        return;
    node->checkMark = value;
    for (size_t i = 0; i < node->children.size(); ++i)
        SetCheckTree(node->Child(i), value);
}

int IsCheckedOrAncestor(const CFolderNode* node)
{
    for (const CFolderNode* n = node; n; n = n->ParentFolder())
        if (n->checkMark)
            return 1;
    return 0;
}

std::vector<String16> CollectCheckedFolders(const CFolderNode& root)
{
    std::vector<String16> out;
    CollectChecked(root, out);
    return out;
}

// ---------------------------------------------------------------------------------------------
// CSCheckFolderTree

int CSCheckFolderTree::OnCreate()
{
    if (!CSTree::OnCreate())
        return 0;
    m_selectionBar = 0; // every click on a row toggles it, also on the selected one
    m_clickRipple = 0;
    if ((m_boxes.size() == 0))
        LoadUiImageStrip(UiImageFolder::Basic, u"checkbox.png", 20, m_boxes);
    return 1;
}

int CSCheckFolderTree::DrawRow(int row)
{
    // Called with the tree's lock held; the box takes the folder icon's place.
    if (row >= 0 && row < int(m_rows.size()) && m_boxes.size() >= 2) {
        auto* node = static_cast<CFolderNode*>(m_rows[size_t(row)].node);
        node->icon = m_boxes[IsCheckedOrAncestor(node) ? 1 : 0];
    }
    return CSTree::DrawRow(row);
}

void CSCheckFolderTree::DrawRowExtra(int row, int rowTop)
{
    if (row >= 0 && row < int(m_rows.size()) && IsCheckedOrAncestor(static_cast<CFolderNode*>(m_rows[size_t(row)].node)))
        BrightenBand(rowTop, 64, m_rowHeight);
}

void CSCheckFolderTree::DropRows()
{
    platform::ScopedLock lock(m_lock);
    m_rows.clear();
    m_hovered = -1;
    m_hoveredExpander = -1;
}

void CSCheckFolderTree::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        FreeImageList8(m_boxes);
    }
    CSTree::ReleaseResources(flag);
}

// ---------------------------------------------------------------------------------------------
// CSearchScopeDlg

CSearchScopeDlg::~CSearchScopeDlg()
{
    RemoveChild(&m_tree);
    m_tree.SetRoot(nullptr);
    m_root.RemoveChildren();
}

int CSearchScopeDlg::Message(const char16_t* text, int kind, int buttons)
{
    if (m_messageBox)
        return m_messageBox(text, kind, buttons);
    return SpriteMessageBox(text, kind, buttons);
}

int CSearchScopeDlg::OnInitDialog()
{
    if ((m_icons.size() == 0) && !LoadUiImageStrip(UiImageFolder::Skin, u"foldertree.png", 16, m_icons))
        return 0;
    CSprite* label = GetControl(kStaticId);
    if (!label)
        return 0;
    const SRect r = label->Rect();
    if (!m_treeAdded) {
        if (!m_tree.Create(this, m_window, kTreeId, 2, r.left, r.bottom + 10, r.right, Height() - 35))
            return 0;
        AddChild(&m_tree);
        m_treeAdded = true;
    }
    m_tree.SetRoot(nullptr);
    BuildDriveRoots(m_root, true, &m_icons);
    for (const ScanFolderEntry& e : m_scanFolders)
        CheckScanPath(platform::BufferView(e.path));
    m_tree.SetRoot(&m_root);
    return 1;
}

int CSearchScopeDlg::CheckScanPath(StringView16 path)
{
    CFolderNode* node = nullptr;
    // The rows go first: the render thread reads no node while nodes are listed.
    m_tree.DropRows();
    node = FindFolderNode(m_root, path, &m_icons);
    if (node) {
        ExpandAncestors(node, &m_icons);
        SetCheckTree(node, 1);
    }
    m_tree.Rebuild();
    if (node)
        return 1;
    // The path goes in as an argument, never as a format.
    const std::optional<String16> text = platform::Format(StringView16(UiText(u"pathnotfind")), String16(path));
    Message(text ? text->c_str() : (String16(UiText(u"pathnotfind")) + u" " + String16(path)).c_str(), kMbError,
            kMbOk);
    return 0;
}

void CSearchScopeDlg::ToggleNode(CFolderNode* node)
{
    if (!node)
        return;
    {
        platform::ScopedLock lock(m_tree.Lock());
        if (!node->checkMark)
            SetCheckTree(node, 1);
        else if (!(node->ParentFolder() && IsCheckedOrAncestor(node->ParentFolder())))
            SetCheckTree(node, 0);
    }
    m_tree.SetAllDirty(1);
}

int CSearchScopeDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (!message)
        return 0;
    if (message->code == MSG_TREE_SELECT && message->sender == &m_tree) {
        auto* node = reinterpret_cast<CFolderNode*>(message->param2);
        if (node && NodeIsIn(&m_root, node))
            ToggleNode(node);
        return 1;
    }
    if (message->code == MSG_TREE_EXPAND && message->sender == &m_tree) {
        auto* node = reinterpret_cast<CFolderNode*>(message->param2);
        if (!node || !NodeIsIn(&m_root, node))
            return 1;
        if (m_window) {
            const SRect me = Rect();
            const int cx = (me.left + me.right) / 2, cy = (me.top + me.bottom) / 2;
            m_window->BeginBusy({cx - kBusySize / 2, cy - kBusySize / 2, cx + kBusySize / 2, cy + kBusySize / 2});
        }
        m_tree.DropRows();
        if (node->expanded) {
            for (size_t i = 0; i < node->children.size(); ++i)
                if (!node->Child(i)->childrenLoaded)
                    ExpandFolderNode(node->Child(i), 1, &m_icons);
        }
        m_tree.Rebuild();
        if (!node->expanded)
            m_tree.SetSelection(-1, false, false);
        if (m_window)
            m_window->EndBusy();
        return 1;
    }
    return CDialogSprite::OnSpriteMessage(message);
}

void CSearchScopeDlg::OnOK()
{
    std::vector<String16> checked;
    {
        platform::ScopedLock lock(m_tree.Lock());
        checked = CollectCheckedFolders(m_root);
    }
    if (checked.empty()) {
        Message(UiText(u"nopathset"), kMbError, kMbOk);
        return;
    }
    std::vector<ScanFolderEntry> list;
    for (const String16& p : checked) {
        ScanFolderEntry e;
        platform::CopyText(e.path, p);
        list.push_back(e);
    }
    m_scanFolders = std::move(list);
    Message(UiText(u"restartneed"), kMbInformation, kMbOk);
    if (UpdateData(1))
        SetResult(1);
}

void CSearchScopeDlg::ReleaseResources(int flag)
{
    RemoveChild(&m_tree);
    m_tree.ReleaseResources(flag);
    m_treeAdded = false;
    m_tree.SetRoot(nullptr);
    m_root.RemoveChildren();
    CDialogSprite::ReleaseResources(flag);
}

int RunSearchScopeDialog(std::vector<ScanFolderEntry>& scanFolders, const String16& dialogFolder)
{
    const String16 folder =
        dialogFolder.empty() ? platform::JoinPath(platform::ProgramFolder(), u"dialogs") : dialogFolder;
    std::unique_ptr<platform::DialogTemplate> t = platform::DialogTemplate::Load(folder, CSearchScopeDlg::kTemplateId);
    CSearchScopeDlg dialog(scanFolders);
    dialog.m_dimRequest = 1;
    if (!t || !dialog.CreateFromTemplate(*t, 0, 0, 0, 0)) {
        WriteUiLog(u"The scan scope dialog cannot be made");
        return 0;
    }
    return dialog.DoModal() == 1 ? 1 : 0;
}
