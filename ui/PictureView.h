// The picture viewer: one caller-owned picture (8 or 16 bits) at a zoom, with a strip of zoom
// buttons, a caption, a zoom badge, an overview of the whole picture with the visible part
// marked, panning by drag, overview and arrow keys, and zoom by wheel, buttons and Ctrl +/-.
//
// Coordinates: the view's own (view), and picture pixels (picture). The source rectangle is the
// part of the picture shown; its top-left is the origin. Only that part is resampled per frame.
#pragma once

#include "ui/Button.h"
#include "ui/Menu.h"
#include "ui/Sprite.h"

#include <vector>

struct ToolBarButton {
    int32_t frameIndex = 0;
    char16_t caption[16] = {};
    char16_t tooltip[128] = {};
    int32_t gap = 0;
    int32_t check = 0;
    CSButton* button = nullptr;
};

// A row (or column) of icon buttons cut from "picviewtool.png"; a button's click reaches the
// bar's parent as MSG_COMMAND {(bar id << 16) + frame index + 1}.
class CSToolBar : public CMessageSprite {
public:
    static constexpr int kFrameWidth = 28;
    static constexpr int kMaxButtons = 32;

    CSToolBar();
    ~CSToolBar() override;

    void AddButton(int frameIndex, const char16_t* tooltip, int gap);
    int Build();
    int GetLength() const;
    const std::vector<ToolBarButton>& Buttons() const { return m_buttons; }

    void SetPos(int x, int y, int width, int height) override;
    void ReleaseResources(int flag) override;
    int OnSpriteMessage(SpriteMessage* message) override;

private:
    ImageList8 m_strip;
    std::vector<ToolBarButton> m_buttons;
    int32_t m_total = 0;
};

// Fills a zoom menu anew: "best fit" (id 1), a separator, then 800% to 10% (ids 2 to 10).
void FillZoomStepMenu(CSMenu& menu);

class CSPicView : public CMessageSprite {
public:
    // Tool bar commands as they reach the view.
    static constexpr int32_t kCmdZoomIn = 0x10001, kCmdZoomOut = 0x10002, kCmdRealSize = 0x10004,
                             kCmdBestFit = 0x10005;
    // MSG_VIEW_CHANGED param1 values.
    static constexpr intptr_t kViewMoved = 0, kViewClicked = 1, kViewDragEnded = 10;
    static constexpr int kNavigatorMinArea = 300;

    static const double kZoomSteps[16];
    // The zoom menu's commands 2..10 and their zooms (1 is best fit).
    static double MenuZoom(int command);

    CSPicView();
    ~CSPicView() override;

    void SetImage8(const ImageBuffer8* picture, const char16_t* caption);
    void SetImage16(const ImageBuffer16* picture, const char16_t* caption);
    void FitToView();
    void ScrollTo(int x, int y);
    void StepZoom(bool in, int x, int y);
    void SetZoom(double zoom);
    void SyncWith(const CSPicView* other);
    SPoint ViewToImage(int x, int y) const;
    void NotifyViewChanged();
    void NavigatorJump(int x, int y);
    virtual void RenderView();

    void SetPos(int x, int y, int width, int height) override;
    SRect GetFocusRect() override;
    int OnCreate() override;
    int OnDraw(uint32_t time) override;
    void OnMouseWheel(int x, int y, int delta) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }
    int ShowFocusMark() override { return 0; }
    void OnCaptureReleased() override { m_dragging = 0; }
    int OnSetCursor(int x, int y) override;
    int OnSpriteMessage(SpriteMessage* message) override;

    // ---- state for owners and tests ----
    double Zoom() const { return m_zoom; }
    SRect Source() const { return m_source; }
    SRect Area() const { return m_area; }
    SRect Shown() const { return m_shown; }
    SRect Navigator() const { return m_navigator; }
    SRect Badge() const { return m_badgeRect; }
    CSMenu& ZoomMenu() { return m_zoomMenu; }
    const ImageBuffer8& BadgeImage() const { return m_badge; }
    int Dragging() const { return m_dragging; }
    CSToolBar& ToolBar() { return m_toolBar; }
    int32_t PictureWidth() const { return m_pictureWidth; }

    int32_t m_zoomLock = 0;
    int32_t m_clickReporting = 0;
    platform::StandardCursor m_customCursor = platform::StandardCursor::Arrow;
    int32_t m_hasCustomCursor = 0;

protected:
    void SetPicture(const ImageBuffer8* picture8, const ImageBuffer16* picture16, int slot,
                    const char16_t* caption);
    void BuildZoomBadge();
    // The zoom menu at the badge's lower right corner: best fit, then the fixed zooms.
    void OpenZoomMenu();
    void DrawCaption();
    void DrawNavigator();
    bool HasPicture() const { return m_picture8 || m_picture16; }
    void PictureSize(int& w, int& h) const;
    void PostToParent(intptr_t p1, intptr_t p2);
    SPoint ShownCentreInPicture() const;
    bool OnShown(int x, int y) const { return x >= m_shown.left && x < m_shown.right && y >= m_shown.top && y < m_shown.bottom; }

    const ImageBuffer8* m_picture8 = nullptr;
    char16_t m_caption[64] = {};
    const ImageBuffer16* m_picture16 = nullptr;
    SRect m_area{};
    SRect m_shown{};
    SRect m_source{};
    SRect m_navigator{};
    SRect m_badgeRect{};
    int32_t m_pictureWidth = 0, m_pictureHeight = 0;
    double m_zoom = 1.0;
    std::atomic<int32_t> m_needsRender{0};
    ImageBuffer8 m_badge;
    CSMenu m_zoomMenu;
    ImageBuffer8 m_captionImage;
    SPoint m_pressPoint{};
    CSToolBar m_toolBar;
    int32_t m_dragging = 0;
    SPoint m_dragAnchor{};
    std::atomic<int32_t> m_needsBadge{0};
};
