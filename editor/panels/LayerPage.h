// The layer panel of an editor tab: the layers top first, each row with a thumbnail, the eye,
// the blend-mode caption and the opacity bar; buttons for a new layer (blank, from a file, from
// the clipboard), delete, merge down, rename, save and moving the current layer. Every change
// records an undo step. The canvas refreshes the rows after each composition.
//
// Threads: everything on the UI thread except DrawRow (render thread, under the list's lock),
// which takes the document's lock and then the layer's to check the row and make a thumbnail.
#pragma once

#include "editor/panels/ColumnPanelPage.h"
#include "editor/EditorDocument.h"
#include "ui/Menu.h"
#include "ui/Panel.h"
#include "ui/TabFrame.h"
#include "ui/Tree.h"

#include <string>

class CLayerNode : public CTreeNode {
public:
    ~CLayerNode() override { FreeImageBuffer(thumbnail); }

    CZDLayer* layer = nullptr; // not owned; compared only under the document lock
    ImageBuffer8 thumbnail;     // made on first drawing
    SRect eye{}, bar{}, caption{};
};

class CSLayerList : public CFlatSimpleList {
public:
    enum HotZone { kNone, kEye, kCaption, kBar };
    static constexpr int kRowHeight = 50;
    static constexpr int kBarLeft = 50, kBarRight = 145;

    CSLayerList();
    ~CSLayerList() override;

    void SetModel(CEditorDocument* model) { m_model = model; }

    // The rows from the document, top layer first; the current layer's row selected.
    int Rebuild();
    void ToggleVisible(int row);
    void SetOpacityAt(int row, int x);
    void SetBlendMode(int row, int mode);
    void ShowBlendMenu(int row);
    // The layer a row shows (row r: layer count - 1 - r), or -1.
    int LayerIndexOfRow(int row) const;
    int HoveredRow() const { return m_hovered; }
    HotZone Zone() const { return m_zone; }
    // The row the open blend menu acts on; -1 when none is open.
    int BlendMenuRow() const { return m_menuRow; }
    CSMenu& BlendMenu() { return m_blendMenu; }

    int OnCreate() override;
    void ReleaseResources(int flag) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonDblClk(int, int, uint32_t) override {}
    int OnSpriteMessage(SpriteMessage* message) override;
    int DrawRow(int row) override;

private:
    int RecordAttributes(const char16_t* key);

    ImageBuffer8 m_eye, m_arrow;
    CSMenu m_blendMenu;
    CEditorDocument* m_model = nullptr;
    HotZone m_zone = kNone;
  public:
    // Selections the rebuild made itself, still on their way to the page (see the history page).
    int ownSelections = 0;
  private:
    int m_menuRow = -1;
    int m_tipRow = -1;
    bool m_menuMade = false;
};

class CSLayerPage : public CSColumnPanelPage {
public:
    static constexpr int32_t kListId = 1, kColumnId = 2, kMenuId = 100;
    static constexpr int32_t kNewButton = 1, kDeleteButton = 2, kMergeButton = 3, kRenameButton = 4,
                             kSaveButton = 5, kUpButton = 11, kDownButton = 12;
    static constexpr int32_t kCmdBlankLayer = 23011, kCmdLoadLayer = 23012, kCmdPaste = 22005;
    static constexpr int kFrameWidth = 28;

    CSLayerPage();
    ~CSLayerPage() override;

    void SetModel(CEditorDocument* model);
    // Runs the tab's paste (22005 from the new-layer menu).
    std::function<void()> paste;
    // The file questions; empty members use the program's own (tests answer here).
    std::function<int(char16_t* buffer, int capacity, const char16_t* caption, const char16_t* prompt)> inputString;
    std::function<bool(std::u16string& path)> chooseLayerFile;
    std::function<int(const ImageBuffer16& image, const std::u16string& suggested)> saveLayerFile;

    int OnCreate() override;
    int OnSpriteMessage(SpriteMessage* message) override;
    void ReleaseResources(int flag) override;

    int Refresh();
    void UpdateButtons();
    void ShowNewLayerMenu();
    int NewBlankLayer();
    int LoadLayerFromFile();
    int LoadLayerFromPath(const std::u16string& path);
    int DeleteLayer();
    int MergeDown();
    int RenameLayer();
    int MoveLayer(bool up);
    int SaveLayer();
    // What the save suggests: the layer's name in the document's folder.
    std::u16string SuggestedLayerPath() const;

    CSLayerList& List() { return m_list; }
    CSMenu& NewLayerMenu() { return m_newMenu; }

private:
    int Ask(char16_t* buffer, int capacity, const char16_t* caption, const char16_t* prompt);

    CSLayerList m_list;
    CSMenu m_newMenu;
    ImageList8 m_icons;
    CEditorDocument* m_model = nullptr;
    bool m_menuMade = false;
};

// ---- pieces the panel's rows are made of (tests and the benchmark use them) ----

// The size of a 40 x 40 preview of a W x H document, each side at least 1.
SPoint LayerThumbnailSize(int documentWidth, int documentHeight);
// The thumbnail of a layer over the whole document area: 2 x 2 averages over a checkerboard of
// 5-pixel cells, 8-bit. The caller holds the layer's lock. 0 when it cannot be allocated.
int MakeLayerThumbnail(int documentWidth, int documentHeight, const CZDLayer& layer, ImageBuffer8& out);
// The opacity a click at list x gives on the bar from kBarLeft to kBarRight (0..255).
int OpacityFromBarX(int x);
// The width of the bar's fill for an opacity.
inline int OpacityBarFill(int opacity) { return opacity * 93 / 255; }
// The default name of a new layer: "LayerCount" with the number, or the plain number when the
// text does not take exactly one integer.
std::u16string NewLayerName(const char16_t* format, int count);
