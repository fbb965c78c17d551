// The scan scope dialog: the fixed volumes as a folder tree with check marks; the checked
// folders (only the topmost of each branch) replace the list of folders the photo scan covers.
// A folder inside a checked folder is checked with it and cannot be left out on its own.
#pragma once

#include "album/AlbumConfig.h"
#include "album/FolderPage.h"
#include "ui/DialogSprite.h"

#include <functional>

class CSCheckFolderTree : public CSTree {
public:
    int OnCreate() override;
    int DrawRow(int row) override;
    void DrawRowExtra(int row, int rowTop) override;
    void ReleaseResources(int flag) override;
    // Empties the rows, so that the render thread reads no node while nodes change; Rebuild
    // brings them back.
    void DropRows();

private:
    ImageList8 m_boxes;
};

void SetCheckTree(CFolderNode* node, int32_t value);
int IsCheckedOrAncestor(const CFolderNode* node);
// The full paths of the topmost checked nodes, depth first in tree order.
std::vector<platform::String16> CollectCheckedFolders(const CFolderNode& root);

class CSearchScopeDlg : public CDialogSprite {
public:
    static constexpr int32_t kTemplateId = 133;
    static constexpr int32_t kTreeId = 1001, kStaticId = 1002;

    explicit CSearchScopeDlg(std::vector<ScanFolderEntry>& scanFolders) : m_scanFolders(scanFolders) {}
    ~CSearchScopeDlg() override;

    int OnInitDialog() override;
    int OnSpriteMessage(SpriteMessage* message) override;
    void OnOK() override;
    void ReleaseResources(int flag) override;
    // 1 when the folder was found and checked; else "pathnotfind" is said.
    int CheckScanPath(platform::StringView16 path);
    // Toggles the node's mark (a node under a checked folder stays checked).
    void ToggleNode(CFolderNode* node);

    CFolderNode& RootNode() { return m_root; }
    CSCheckFolderTree& CheckTree() { return m_tree; }
    // The message box (SpriteMessageBox's arguments); tests replace it.
    std::function<int(const char16_t* text, int kind, int buttons)> m_messageBox;

private:
    int Message(const char16_t* text, int kind, int buttons);
    std::vector<ScanFolderEntry>& m_scanFolders;
    CSCheckFolderTree m_tree;
    CFolderNode m_root;
    ImageList8 m_icons;
    bool m_treeAdded = false;
};

// Runs the dialog (template 133 from the program's dialog folder, or `dialogFolder`); 1 when the
// user confirmed and the list was replaced. The caller writes config.dat then.
int RunSearchScopeDialog(std::vector<ScanFolderEntry>& scanFolders, const platform::String16& dialogFolder = {});
