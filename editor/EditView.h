// The canvas of an editor tab: the document shown at a zoom, scrolled and panned, with a strip
// of buttons along its top (zoom, save, wizard, photo information, add image, print, a live
// histogram and the zoom badge), a small floating panel next to the selection, scroll bars, the
// current tool's overlay and cursor, and the routing of pointer and key input to the tool.
//
// Threads. The UI thread composes: every change of zoom, origin or document recomposes the
// visible region (ViewRender.h) into an 8-bit view buffer. The render thread only copies that
// buffer into the canvas's image (OnDraw) and draws the selection outline. The view buffer, the
// outline and the mapping values (canvas area, picture rectangle, visible region, zoom) change
// only under the canvas sprite's lock, on the UI thread; the render thread and tools' DrawOverlay
// read them under the same lock. The UI thread, their only writer, reads them without it.
// Layer pixels are read only under the document lock and then each layer's lock.
#pragma once

#include "editor/ViewRender.h"
#include "imaging/Document.h"
#include "imaging/HistoryStore.h"
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "ui/Menu.h"
#include "ui/Overlay.h"
#include "ui/Panel.h"
#include "ui/ScrollBar.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class CAlgorithm;
class CTool;

// The canvas's request to itself to recompose the picture and refresh the side panels.
inline constexpr int32_t MSG_VIEW_RENDER = 10003;

// What the canvas asks of the tab it sits in. The tab fills these; an empty one does nothing.
struct CanvasHooks {
    // The tab's tool page: no current tool (Esc, and the strip's buttons that end the tool).
    std::function<void()> endTool;
    std::function<void()> runWizard;
    // Host mode: the wide "pluginapply" button.
    std::function<void()> applyToHost;
    // Command 22004.
    std::function<void()> copyToClipboard;
    // Fills the selection menu and its modify sub-menu; 0 when nothing was built.
    std::function<int(CSMenu& menu, CSMenu& modify)> buildSelectionMenu;
    // After each composition: the side panels (layers, masks) refresh.
    std::function<void()> viewRendered;
    // The document was written by the save: the saved step becomes the current step.
    std::function<void()> saved;
};

// The questions and dialogs of the canvas commands. Empty members fall back to the program's
// own (the sprite dialogs, the platform chooser); tests answer them.
struct CanvasDialogs {
    // A number question (at most 4 characters); nonzero when confirmed.
    std::function<int(char16_t* buffer, int capacity, const char16_t* caption, const char16_t* prompt)> inputString;
    // Nonzero when a colour was chosen (alpha 65535).
    std::function<int(uint16_t colour[4])> pickColor;
    std::function<int(const char16_t* text, int kind, int buttons)> messageBox;
    // The image file for "add image as layer"; false when none was chosen.
    std::function<bool(std::u16string& path)> chooseImageFile;
    // Writes the document; 1 only when it was written.
    std::function<int(CZDDoc& doc)> saveDocument;
    // The print dialog with the flattened picture (8-bit, dithered) and its 16-bit original.
    std::function<int(const ImageBuffer8& picture, const ImageBuffer16& flat)> printPicture;
    // The photo-information dialog for the file's metadata.
    std::function<int(ImageInfo& info, const std::u16string& path)> photoInfo;
    // Runs an algorithm on a picture behind a progress box: source = a copy, destination = the
    // picture; on failure or cancel the copy is put back. 1 on success.
    std::function<int(CAlgorithm& algorithm, const void* params, const char16_t* caption, ImageBuffer16& picture)>
        runAlgorithm;
};

class CSEditView : public CMessageSprite {
public:
    // Children.
    static constexpr int32_t kTopPanelId = 1, kSelectionPanelId = 2;
    static constexpr int32_t kVerticalBarId = 101, kHorizontalBarId = 102, kOverlayId = 103, kCursorId = 104;
    static constexpr int32_t kZoomMenuId = 200, kSelectionMenuId = 201, kModifyMenuId = 202;
    // Top strip buttons.
    static constexpr int32_t kZoomInButton = 1, kZoomOutButton = 2, kBestFitButton = 3, kRealSizeButton = 4;
    static constexpr int32_t kSaveButton = 11, kInfoButton = 12, kWizardButton = 13, kAddImageButton = 15;
    static constexpr int32_t kHistogramButton = 21, kPrintButton = 22, kZoomBadgeButton = 31, kApplyButton = 99;
    // Selection panel buttons.
    static constexpr int32_t kDropSelectionButton = 101, kFeatherButton = 102, kSmartEraseButton = 103,
                             kSelectionMoreButton = 104;
    // Canvas layout.
    static constexpr int kTopStrip = 40, kRightMargin = 20, kBottomMargin = 20, kFrameWidth = 38;
    // The zoom factors of stepping and of the zoom menu.
    static const double kZoomSteps[18];
    static constexpr int kZoomStepCount = 18;
    // The blank cursor shown while a tool draws its own.
    static constexpr int kBlankCursor = 138;

    CSEditView();
    ~CSEditView() override;

    // The document and history the canvas shows and records into; not owned. Call on the UI
    // thread before showing the canvas; the canvas recomposes on its next frame.
    void SetDocument(CZDDoc* document, HistoryStore* history);
    CZDDoc* Document() const { return m_document; }
    HistoryStore* History() const { return m_history; }

    CanvasHooks hooks;
    CanvasDialogs dialogs;
    // Host mode (set before Create): one "pluginapply" button instead of save, wizard, info,
    // add image and print.
    int32_t hostMode = 0;

    // ---- sprite slots ----
    void SetPos(int x, int y, int width, int height) override;
    int OnCreate() override;
    int IsOpaqueIn(const SRect& own) override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnMouseWheel(int x, int y, int delta) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;
    void OnRButtonDown(int x, int y, uint32_t flags) override;
    void OnRButtonUp(int x, int y, uint32_t flags) override;
    void OnLButtonDblClk(int x, int y, uint32_t flags) override;
    void OnChar(uint32_t character, uint32_t repeat, uint32_t flags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    void OnKeyUp(uint32_t key, uint32_t flags) override;
    int CanFocus() override { return 1; }
    int ShowFocusMark() override { return 0; }
    void OnCaptureReleased() override;
    int OnSetCursor(int x, int y) override;
    int OnSpriteMessage(SpriteMessage* message) override;

    // ---- mapping and zoom ----
    // 1 when the bottom layer has pixels; its size becomes the image size (0 x 0 otherwise).
    int UpdateImageSize();
    // Canvas point -> image point. With clamp, a point outside the picture rectangle gives
    // (0, 0) and the result stays inside the visible region's right and bottom.
    SPoint ScreenToImage(int clamp, int x, int y) const;
    // The one place where the visible region changes; recomposes.
    void SetOrigin(int left, int top);
    void FitToWindow();
    void StepZoom(int up, int imageX, int imageY);
    void SetZoom(double factor);
    // Edge scrolling for tools that drag: at most one step per 100 ms of the tick clock.
    void AutoScroll(int x, int y);
    int IsOverScrollBars(int x, int y) const;
    void UpdateScrollBars();
    void PlaceSelectionPanel();
    void ShowZoomMenu();
    void OnPanelClick(int32_t id);

    // ---- tools ----
    // Installs the current tool (none = nullptr); only the tab's tool switch calls it.
    void SetTool(CTool* tool);
    CTool* CurrentTool() const { return m_tool; }
    // Asks for the overlay to be drawn again (a tool's drawing changed).
    void InvalidateOverlay();

    // ---- rendering ----
    // Recomposes the visible region into the view buffer (UI thread).
    void RenderView();
    // One layer into a composite of the picture rectangle's size at the current mapping; the
    // caller holds the document's and the layer's lock.
    void CompositeLayerIntoView(ImageBuffer16& composite, const CZDLayer& layer);
    void BuildSelectionOutline();
    // Render thread, under the canvas lock: the outline into the canvas's image.
    void DrawSelectionOutline();
    void UpdateHistogram();

    // ---- canvas commands ----
    void DropSelection();
    // 1 on success or when there is nothing to do.
    int SmartErase(const Plane8* selection);
    void DeleteOrFill();
    void AddImageAsLayer();
    void SaveDocument();
    void PrintPicture();
    void ShowPhotoInfo();
    // Frees the composed buffers (the tab pages its document out); the next frame rebuilds them.
    void FreeViewBuffers();

    // ---- state (UI thread; the render thread reads it under Lock()) ----
    struct Mapping {
        SRect area{};        // where the picture may appear, canvas coordinates
        SRect picture{};     // where the visible region is drawn
        VisibleRegion visible{};
        double zoom = 1.0;
    };
    // A consistent copy taken under the canvas lock (any thread).
    Mapping GetMapping() const;
    double Zoom() const { return m_zoom; }
    SRect CanvasArea() const { return m_area; }
    SRect PictureRect() const { return m_pictureRect; }
    VisibleRegion Visible() const { return m_visible; }
    int32_t ImageWidth() const { return m_imageWidth.load(); }
    int32_t ImageHeight() const { return m_imageHeight.load(); }
    int Panning() const { return m_panning; }
    SPoint PanAnchor() const { return m_panAnchor; }
    SPoint LastPoint() const { return {m_lastX, m_lastY}; }
    int Pressed() const { return m_pressed; }
    // The last composition: the 16-bit composite and the 8-bit view buffer (read under Lock()).
    const ImageBuffer16& Composite() const { return m_composite; }
    const ImageBuffer8& ViewBuffer() const { return m_viewBuffer; }
    const Plane8& OutlinePlane() const { return m_outline; }
    int OutlineLevel() const { return m_outlineLevel.load(); }
    const ImageBuffer8& HistogramPicture() const { return m_histogram; }
    CPanelSprite& TopPanel() { return m_topPanel; }
    CPanelSprite& SelectionPanel() { return m_selectionPanel; }
    CSMenu& ZoomMenu() { return m_zoomMenu; }
    CSMenu& SelectionMenu() { return m_selectionMenu; }
    CSScrollBar& HorizontalBar() { return m_horizontalBar; }
    CSScrollBar& VerticalBar() { return m_verticalBar; }
    CSOverlay& Overlay() { return m_overlay; }
    CCursorSprite& CursorSprite() { return m_cursor; }
    // The zoom badge's text ("%d%%").
    std::u16string BadgeText() const;
    // Compositions since creation (tests and benchmarks).
    uint64_t RenderCount() const { return m_renderCount.load(); }

private:
    int CreatePanels();
    bool SpaceDown() const;
    // The tool takes a pointer event at (x, y).
    bool ToolTakes(int x, int y) const;
    bool InPicture(int x, int y) const;
    bool WholeImageVisible() const;
    void PanTo(int x, int y);
    void RequestRender();
    void SetBadge();
    void ReleaseMembers(int flag);
    int Ask(const char16_t* text, int kind, int buttons);
    // Records a step; a step that cannot be written takes the change back and says so.
    int RecordStep(uint8_t kind, int layerIndex, const char16_t* nameKey);

    ImageList8 m_icons;
    ImageList8 m_selectionIcons;
    // Selection outline at the picture rectangle's size, and the selection's highest value.
    Plane8 m_outline;
    std::atomic<int32_t> m_outlineLevel{0};
    CZDDoc* m_document = nullptr;
    HistoryStore* m_history = nullptr;
    int32_t m_toolInstalled = 0;
    int32_t m_panning = 0;
    SPoint m_panAnchor{};
    CSprite* m_toolPanel = nullptr;
    std::atomic<int32_t> m_imageWidth{0}, m_imageHeight{0};
    double m_zoom = 1.0;
    CPanelSprite m_topPanel;
    CPanelSprite m_selectionPanel;
    CSMenu m_zoomMenu, m_selectionMenu, m_modifyMenu;
    ImageBuffer8 m_viewBuffer;
    CSOverlay m_overlay;
    CCursorSprite m_cursor;
    SRect m_area{};
    SRect m_pictureRect{};
    VisibleRegion m_visible{};
    int32_t m_knownWidth = 0, m_knownHeight = 0;
    CSScrollBar m_horizontalBar, m_verticalBar;
    CTool* m_tool = nullptr;
    int32_t m_lastX = 0, m_lastY = 0;
    int32_t m_pressed = 0;
    std::atomic<int64_t> m_lastSecond{-1};

    // Beyond the canvas's own fields: the working composite and the spare 8-bit buffer the
    // next composition converts into, kept between compositions.
    ImageBuffer16 m_composite;
    ImageBuffer8 m_spareBuffer;
    ImageBuffer8 m_histogram;
    std::atomic<int32_t> m_hasSelection{0};
    std::atomic<int32_t> m_renderRequested{0};
    std::atomic<uint64_t> m_renderCount{0};
    uint64_t m_lastAutoScroll = 0;
    bool m_created = false;
};
