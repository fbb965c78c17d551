// The canvas: layout, zoom and origin, scroll bars and panning, input routing to the current
// tool, the button strip and the selection panel, composition (UI thread) and drawing
// (render thread). The canvas commands are in CanvasCommands.cpp.
#include "editor/EditView.h"

#include "algorithms/AlgorithmThread.h"
#include "editor/CanvasCommands.h"
#include "editor/Tool.h"
#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "imaging/RowRanges.h"
#include "imaging/TextRender.h"
#include "platform/Clock.h"
#include "ui/MessageBox.h"
#include "ui/PictureView.h"
#include "ui/RenderWindow.h"
#include "ui/UiResources.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// The canvas's own background around the picture (the editor page's colour).
constexpr uint32_t kBackground = 0xFF1E1E1E;

// The marching outline's phase, shared by every canvas.
std::atomic<uint32_t> g_outlinePhase{0};

// Virtual keys a current tool receives as keys.
bool ToolKey(uint32_t key)
{
    return key <= 15 || (key >= 18 && key <= 26) || (key >= 28 && key <= 31) || (key >= 35 && key <= 40) ||
           key == 45 || key == 46;
}

bool Inside(const SRect& r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

void FillRows(ImageBuffer8& image, int left, int top, int right, int bottom, uint32_t colour)
{
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, image.width);
    bottom = std::min(bottom, image.height);
    if (left >= right)
        return;
    for (int y = top; y < bottom; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(image.data) + size_t(y) * size_t(image.width);
        std::fill(row + left, row + right, colour);
    }
}

// The blank system cursor shown while a tool draws its own in the cursor sprite.
const platform::CustomCursor* BlankCursor()
{
    static platform::CustomCursor cursor;
    static const bool loaded = LoadProgramCursor(CSEditView::kBlankCursor, 0, 0, cursor) != 0;
    return loaded ? &cursor : nullptr;
}

// A picture of w x h in the record's own allocation when that holds enough bytes (zoom steps
// change the view's size back and forth, and fresh pages cost a fault each on first touch);
// otherwise a new allocation. `capacity` is the allocation's byte count, kept beside the record.
template <class Image>
int ReuseImage(Image& image, uint32_t& capacity, int w, int h, uint32_t bytesPerPixel, int (*alloc)(Image&, int, int))
{
    const uint64_t bytes = uint64_t(w) * uint64_t(h) * bytesPerPixel;
    if (image.data && w > 0 && h > 0 && bytes <= capacity) {
        image.width = w;
        image.height = h;
        image.byteSize = uint32_t(bytes);
        image.pixelCount = uint32_t(uint64_t(w) * uint64_t(h));
        return 1;
    }
    FreeImageBuffer(image);
    capacity = 0;
    if (!alloc(image, w, h))
        return 0;
    capacity = image.byteSize;
    return 1;
}

} // namespace

const double CSEditView::kZoomSteps[18] = {0.1, 0.25, 0.333333333, 0.5, 0.66666666666, 1, 1.5, 2, 2.5,
                                            3,   4,    5,           6,   7,             8, 9, 10,  20};

CSEditView::CSEditView()
{
    SetFlags(0x1 | SF_INPUT);
    SetEnabled(1);
}

CSEditView::~CSEditView()
{
    ReleaseMembers(1);
    FreeImageBuffer(m_viewBuffer);
    FreeImageBuffer(m_spareBuffer);
    FreeImageBuffer(m_composite);
    FreeImageBuffer(m_histogram);
    FreePlane8(m_outline);
}

void CSEditView::ReleaseMembers(int flag)
{
    // Member sprites leave the child list before the base class releases what is left.
    for (CSprite* child : {static_cast<CSprite*>(&m_topPanel), static_cast<CSprite*>(&m_selectionPanel),
                           static_cast<CSprite*>(&m_horizontalBar), static_cast<CSprite*>(&m_verticalBar),
                           static_cast<CSprite*>(&m_overlay), static_cast<CSprite*>(&m_cursor)})
        RemoveChild(child);
    if (m_toolPanel) {
        RemoveChild(m_toolPanel);
        m_toolPanel = nullptr;
    }
    m_overlay.SetContent(nullptr, nullptr);
    for (CSMenu* menu : {&m_zoomMenu, &m_selectionMenu, &m_modifyMenu}) {
        menu->Close(0);
        menu->ReleaseResources(flag);
    }
    m_topPanel.ReleaseResources(flag);
    m_selectionPanel.ReleaseResources(flag);
    m_horizontalBar.ReleaseResources(flag);
    m_verticalBar.ReleaseResources(flag);
    m_overlay.ReleaseResources(flag);
    m_cursor.ReleaseResources(flag);
}

void CSEditView::ReleaseResources(int flag)
{
    ReleaseMembers(flag);
    CMessageSprite::ReleaseResources(flag);
}

void CSEditView::SetDocument(CZDDoc* document, HistoryStore* history)
{
    {
        platform::ScopedLock lock(m_lock);
        m_document = document;
        m_history = history;
        FreeImageBuffer(m_viewBuffer);
    }
    m_knownWidth = m_knownHeight = 0;
    m_hasSelection.store(0);
    m_histogramStale = true;
    SetAllDirty(1);
}

CSEditView::Mapping CSEditView::GetMapping() const
{
    platform::ScopedLock lock(m_lock);
    return {m_area, m_pictureRect, m_visible, m_zoom};
}

std::u16string CSEditView::BadgeText() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%d%%", int(m_zoom * 100 + 0.5));
    return std::u16string(text, text + std::strlen(text));
}

// ---------------------------------------------------------------------------------------------
// Creation and layout

int CSEditView::OnCreate()
{
    BuildGammaTables();
    ClearImageList8(m_icons);
    ClearImageList8(m_selectionIcons);
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"editview.png", kFrameWidth, m_icons) || m_icons.size() < 11 ||
        !ResizeImageList8(m_icons, kFrameWidth / 2, 0, 4) || !ResizeImageList8(m_icons, kFrameWidth / 2, 9, 10))
        return 0;
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"selection.png", 16, m_selectionIcons) ||
        m_selectionIcons.size() < 4)
        return 0;
    if (!m_topPanel.Create(this, m_window, kTopPanelId, 2, 0, 0, 100, 30))
        return 0;
    if (!m_selectionPanel.Create(this, m_window, kSelectionPanelId, 4, 0, 0, 40, 40))
        return 0;
    m_selectionPanel.SetVisible(0);
    if (!CreatePanels())
        return 0;
    AddChild(&m_topPanel);
    AddChild(&m_selectionPanel);
    if (!m_zoomMenu.Create(nullptr, m_window, kZoomMenuId, 201, 0, 0, 100, 100) ||
        !m_selectionMenu.Create(nullptr, m_window, kSelectionMenuId, 201, 0, 0, 100, 100) ||
        !m_modifyMenu.Create(nullptr, m_window, kModifyMenuId, 202, 0, 0, 100, 100))
        return 0;
    for (CSMenu* menu : {&m_zoomMenu, &m_selectionMenu, &m_modifyMenu})
        menu->SetVisible(0);
    if (!m_verticalBar.Create(this, m_window, kVerticalBarId, 5, 0, 0, 17, 100) ||
        !m_horizontalBar.Create(this, m_window, kHorizontalBarId, 5, 0, 0, 100, 17))
        return 0;
    m_verticalBar.SetVisible(0);
    m_horizontalBar.SetVisible(0);
    AddChild(&m_verticalBar);
    AddChild(&m_horizontalBar);
    if (!m_overlay.Create(this, m_window, kOverlayId, 3, 0, 0, 100, 100) ||
        !m_cursor.Create(this, m_window, kCursorId, 6, 0, 0, 32, 32))
        return 0;
    m_overlay.SetVisible(0);
    m_cursor.SetVisible(0);
    AddChild(&m_overlay);
    AddChild(&m_cursor);
    // The children take their places for the rectangle the canvas was made with; a parent that
    // never moves it still gets the full strip.
    const SRect r = Rect();
    SetPos(r.left, r.top, r.Width(), r.Height());
    return 1;
}

int CSEditView::CreatePanels()
{
    struct Button {
        int32_t id;
        const char16_t* tip;
        int frame;
        SRect rect;
    };
    const Button zoom[] = {{kZoomInButton, u"zoomin_panel", 0, {1, 1, 20, 20}},
                           {kZoomOutButton, u"zoomout_panel", 1, {20, 1, 39, 20}},
                           {kRealSizeButton, u"realsize", 2, {1, 20, 20, 39}},
                           {kBestFitButton, u"bestfit", 3, {20, 20, 39, 39}}};
    const Button commands[] = {{kSaveButton, u"save", 4, {50, 1, 89, 39}},
                               {kWizardButton, u"wizard", 5, {90, 1, 129, 39}},
                               {kInfoButton, u"info", 6, {130, 1, 169, 39}},
                               {kAddImageButton, u"addimg", 8, {170, 1, 209, 39}},
                               {kPrintButton, u"printsingle", 10, {210, 1, 249, 39}}};
    auto add = [this](const Button& b) {
        return m_topPanel.AddItem(b.id, 0, nullptr, UiText(b.tip), m_icons[size_t(b.frame)], b.rect.left, b.rect.top,
                                  b.rect.right, b.rect.bottom);
    };
    for (const Button& b : zoom)
        if (!add(b))
            return 0;
    if (hostMode) {
        const char16_t* apply = UiText(u"pluginapply");
        if (!m_topPanel.AddItem(kApplyButton, 0, apply, apply, m_icons[4], 50, 1, 250, 39))
            return 0;
    } else {
        for (const Button& b : commands)
            if (!add(b))
                return 0;
    }
    if (!m_topPanel.AddItem(kHistogramButton, PanelItem::kNoBox, nullptr, nullptr, nullptr, 410, 1, 540, 39) ||
        !m_topPanel.AddItem(kZoomBadgeButton, 0, nullptr, nullptr, nullptr, 540, 1, 600, 39))
        return 0;
    const Button selection[] = {{kDropSelectionButton, u"seldel", 0, {0, 0, 20, 20}},
                                {kFeatherButton, u"selfeather", 1, {20, 0, 40, 20}},
                                {kSmartEraseButton, u"seltoolinpaint", 2, {40, 0, 60, 20}},
                                {kSelectionMoreButton, u"selmore", 3, {60, 0, 80, 20}}};
    for (const Button& b : selection)
        if (!m_selectionPanel.AddItem(b.id, 0, nullptr, UiText(b.tip), m_selectionIcons[size_t(b.frame)], b.rect.left,
                                      b.rect.top, b.rect.right, b.rect.bottom))
            return 0;
    SetBadge();
    return 1;
}

void CSEditView::SetPos(int x, int y, int width, int height)
{
    CSprite::SetPos(x, y, width, height);
    SetAllDirty(1);
    m_topPanel.SetPos(0, 0, width, kTopStrip);
    {
        platform::ScopedLock lock(m_topPanel.Lock());
        if (PanelItem* badge = m_topPanel.FindItem(kZoomBadgeButton)) {
            badge->rect = {width - 79, 1, width - 1, 39};
            if (PanelItem* histogram = m_topPanel.FindItem(kHistogramButton))
                histogram->rect = {width - 210, 1, width - 80, 39};
        }
    }
    m_topPanel.SetAllDirty(1);
    {
        platform::ScopedLock lock(m_lock);
        m_area = {0, kTopStrip, width - kRightMargin, height - kBottomMargin};
    }
    SetOrigin(m_visible.left, m_visible.top);
    const SRect area = m_area;
    m_overlay.SetPos(area.left, area.top, std::max(1, area.Width()), std::max(1, area.Height()));
    m_horizontalBar.SetPos(0, height - 17, std::max(1, width - 17), 17);
    m_verticalBar.SetPos(width - 17, kTopStrip, 17, std::max(1, height - 57));
}

int CSEditView::IsOpaqueIn(const SRect&)
{
    // OnDraw fills every pixel of the own image opaquely once it has drawn.
    return m_image.data && m_viewBuffer.data ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Mapping and zoom

int CSEditView::UpdateImageSize()
{
    int32_t w = 0, h = 0;
    if (CZDDoc* doc = m_document) {
        std::lock_guard guard(doc->lock);
        if (doc->LayerCount() > 0) {
            const CZDLayer* bottom = doc->GetLayer(0);
            std::lock_guard layerGuard(bottom->lock);
            if (bottom->pixels.data) {
                w = bottom->pixels.width;
                h = bottom->pixels.height;
            }
        }
    }
    m_imageWidth.store(w);
    m_imageHeight.store(h);
    return w > 0 && h > 0 ? 1 : 0;
}

SPoint CSEditView::ScreenToImage(int clamp, int x, int y) const
{
    const SRect p = m_pictureRect;
    if (clamp && !Inside(p, x, y))
        return {0, 0};
    int ix = int((x - p.left) / m_zoom + 0.5) + m_visible.left;
    int iy = int((y - p.top) / m_zoom + 0.5) + m_visible.top;
    if (clamp) {
        ix = std::clamp(ix, 0, std::max(0, m_visible.right - 1));
        iy = std::clamp(iy, 0, std::max(0, m_visible.bottom - 1));
    }
    return {ix, iy};
}

void CSEditView::SetOrigin(int left, int top)
{
    if (!UpdateImageSize())
        return;
    const int iw = m_imageWidth.load(), ih = m_imageHeight.load();
    const double z = m_zoom;
    VisibleRegion v;
    v.left = std::max(left, 0);
    v.top = std::max(top, 0);
    v.right = v.left + int(m_area.Width() / z);
    v.bottom = v.top + int(m_area.Height() / z);
    if (v.right > iw) {
        v.left = left < v.right - iw ? 0 : left - (v.right - iw);
        v.right = iw;
    }
    if (v.bottom > ih) {
        v.top = top < v.bottom - ih ? 0 : top - (v.bottom - ih);
        v.bottom = ih;
    }
    {
        platform::ScopedLock lock(m_lock);
        m_visible = v;
    }
    SetBadge();
    Compose();
    UpdateScrollBars();
    PlaceSelectionPanel();
}

void CSEditView::SetBadge()
{
    const std::u16string text = BadgeText();
    {
        // A pan keeps the zoom: the label already says it.
        platform::ScopedLock lock(m_topPanel.Lock());
        const PanelItem* badge = m_topPanel.FindItem(kZoomBadgeButton);
        if (badge && badge->labelImage.data && text == badge->label)
            return;
    }
    ImageBuffer8 label;
    if (!RenderTextLocked(text.c_str(), label, nullptr, 0, 0, nullptr))
        return;
    {
        platform::ScopedLock lock(m_topPanel.Lock());
        if (PanelItem* badge = m_topPanel.FindItem(kZoomBadgeButton)) {
            CopyTextBounded(badge->label, PanelItem::kLabelCapacity, text.c_str());
            FreeImageBuffer(badge->labelImage);
            badge->labelImage = label;
            label = ImageBuffer8{};
        }
    }
    FreeImageBuffer(label);
    m_topPanel.SetAllDirty(1);
}

void CSEditView::FitToWindow()
{
    if (!UpdateImageSize())
        return;
    const int64_t iw = m_imageWidth.load(), ih = m_imageHeight.load();
    // An area of 10 pixels or less still gives a positive zoom: the picture shrinks to a point
    // instead of the zoom reaching zero.
    const int64_t w = std::max<int64_t>(1, m_area.Width() - 10), h = std::max<int64_t>(1, m_area.Height() - 10);
    double z = ih * w <= iw * h ? double(w) / double(iw) : double(h) / double(ih);
    z = std::min(z, 1.0);
    {
        platform::ScopedLock lock(m_lock);
        m_zoom = z;
    }
    SetOrigin(0, 0);
}

void CSEditView::StepZoom(int up, int imageX, int imageY)
{
    const double z = m_zoom;
    double next = z;
    if (up) {
        if (z < kZoomSteps[0]) {
            next = kZoomSteps[0];
        } else {
            for (int i = 1; i <= 15; ++i)
                if (kZoomSteps[i] > z) {
                    next = kZoomSteps[i];
                    break;
                }
        }
    } else {
        if (z > kZoomSteps[15]) {
            next = kZoomSteps[15];
        } else {
            for (int i = 14; i >= 0; --i)
                if (kZoomSteps[i] < z) {
                    next = kZoomSteps[i];
                    break;
                }
        }
    }
    if (next == z)
        return;
    {
        platform::ScopedLock lock(m_lock);
        m_zoom = next;
    }
    SetOrigin(imageX - int(m_area.Width() / (2 * next)), imageY - int(m_area.Height() / (2 * next)));
}

void CSEditView::SetZoom(double factor)
{
    if (factor == m_zoom || !(factor > 0))
        return;
    const SRect p = m_pictureRect;
    const SPoint centre = ScreenToImage(1, (p.left + p.right) / 2, (p.top + p.bottom) / 2);
    {
        platform::ScopedLock lock(m_lock);
        m_zoom = factor;
    }
    SetOrigin(centre.x - int(m_area.Width() / (2 * factor)), centre.y - int(m_area.Height() / (2 * factor)));
}

bool CSEditView::InPicture(int x, int y) const
{
    return Inside(m_pictureRect, x, y);
}

bool CSEditView::WholeImageVisible() const
{
    return m_visible.left == 0 && m_visible.top == 0 && m_visible.right >= m_imageWidth.load() &&
           m_visible.bottom >= m_imageHeight.load();
}

void CSEditView::UpdateScrollBars()
{
    const int iw = m_imageWidth.load(), ih = m_imageHeight.load();
    const VisibleRegion v = m_visible;
    struct Bar {
        CSScrollBar& bar;
        int start, end, size;
    };
    for (const Bar& b : {Bar{m_horizontalBar, v.left, v.right, iw}, Bar{m_verticalBar, v.top, v.bottom, ih}}) {
        if (b.end - b.start < b.size) {
            b.bar.m_minimum = 0;
            b.bar.m_maximum = b.size;
            b.bar.m_page = b.end - b.start;
            b.bar.m_position = b.start;
            b.bar.SetVisible(1);
            b.bar.SetAllDirty(1);
        } else if (b.bar.IsVisible()) {
            b.bar.SetVisible(0);
            Invalidate();
        }
    }
}

int CSEditView::IsOverScrollBars(int x, int y) const
{
    for (const CSScrollBar* bar : {&m_horizontalBar, &m_verticalBar})
        if (bar->IsVisible() && IsShown() && Inside(bar->Rect(), x, y))
            return 1;
    return 0;
}

void CSEditView::AutoScroll(int x, int y)
{
    if (!UpdateImageSize())
        return;
    // The pointer held at an edge scrolls one step per 100 ms of the tick clock: the steps keep
    // their pace without stopping the UI thread between them.
    const uint64_t now = platform::GetTickCount64();
    if (m_lastAutoScroll && now - m_lastAutoScroll < 100)
        return;
    const SRect a = m_area;
    const double z = m_zoom;
    bool moved = false;
    if (m_imageWidth.load() > m_visible.Width()) {
        const int d = a.Width() / 6;
        if (x < a.left + 15 && m_visible.left > 0) {
            SetOrigin(m_visible.left - int(d / z), m_visible.top);
            moved = true;
        } else if (x >= a.right - 15 && m_visible.right < m_imageWidth.load()) {
            SetOrigin(m_visible.left + int(d / z), m_visible.top);
            moved = true;
        }
    }
    if (m_imageHeight.load() > m_visible.Height()) {
        const int d = a.Height() / 6;
        if (y < a.top + 15 && m_visible.top > 0) {
            SetOrigin(m_visible.left, m_visible.top - int(d / z));
            moved = true;
        } else if (y >= a.bottom - 15 && m_visible.bottom < m_imageHeight.load()) {
            SetOrigin(m_visible.left, m_visible.top + int(d / z));
            moved = true;
        }
    }
    if (moved)
        m_lastAutoScroll = now ? now : 1;
}

void CSEditView::PlaceSelectionPanel()
{
    bool show = false;
    int px = 0, py = 0;
    CZDDoc* doc = m_document;
    if (doc && (!m_tool || m_tool->GetToolGroup() == kToolGroupSelection)) {
        SPoint corner{-1, -1};
        {
            std::lock_guard guard(doc->lock);
            corner = SelectionTopLeft(doc->selection);
        }
        if (corner.x >= 0) {
            const SRect p = m_pictureRect, a = m_area;
            px = int((corner.x - m_visible.left) * m_zoom + p.left);
            py = int((corner.y - m_visible.top) * m_zoom + p.top);
            if (Inside(a, px, py - 20)) {
                py -= 20;
                show = true;
            } else if (Inside(a, px, py)) {
                show = true;
            }
        }
    }
    if (show) {
        m_selectionPanel.SetOpacity(192);
        m_selectionPanel.SetPos(px, py, 80, 20);
        m_selectionPanel.SetVisible(1);
    } else if (m_selectionPanel.IsVisible()) {
        m_selectionPanel.SetVisible(0);
        Invalidate();
    }
}

// ---------------------------------------------------------------------------------------------
// Tools

void CSEditView::SetTool(CTool* tool)
{
    m_toolInstalled = tool ? 1 : 0;
    m_tool = tool;
    m_overlay.SetContent(nullptr, tool);
    if (m_toolPanel) {
        RemoveChild(m_toolPanel);
        m_toolPanel = nullptr;
        Invalidate();
    }
    if (!tool) {
        m_overlay.Invalidate();
        m_overlay.SetVisible(0);
        m_overlay.DiscardImage();
        m_cursor.Invalidate();
        m_cursor.SetVisible(0);
        m_cursor.DiscardImage();
    } else {
        m_overlay.SetVisible(1);
        m_overlay.SetAllDirty(1);
        m_cursor.SetVisible(1);
        tool->view = this;
        // A panel made as the canvas's child joins the strip while its tool is current.
        if (tool->optionPanel && tool->optionPanel->Parent() == this) {
            m_toolPanel = tool->optionPanel;
            AddChild(m_toolPanel);
            m_toolPanel->SetPos(300, 0, 400, 40);
        }
    }
    UpdateScrollBars();
    PlaceSelectionPanel();
    SetAllDirty(1);
}

void CSEditView::InvalidateOverlay()
{
    m_overlay.SetAllDirty(1);
}

bool CSEditView::SpaceDown() const
{
    return m_window && m_window->PlatformWindow() && m_window->PlatformWindow()->IsKeyDown(platform::vk::Space);
}

bool CSEditView::ToolTakes(int x, int y) const
{
    return m_tool && (m_tool->capture || !ChildFromPoint(x, y));
}

// ---------------------------------------------------------------------------------------------
// Input

void CSEditView::OnMouseWheel(int x, int y, int delta)
{
    if (InPicture(x, y) && !ChildFromPoint(x, y) && !m_panning && delta != 0) {
        const SPoint p = ScreenToImage(1, x, y);
        StepZoom(delta > 0 ? 1 : 0, p.x, p.y);
        OnSetCursor(x, y);
    }
    CMessageSprite::OnMouseWheel(x, y, delta);
}

void CSEditView::PanTo(int x, int y)
{
    const SRect p = m_pictureRect;
    SetOrigin(m_panAnchor.x - int((x - p.left) / m_zoom + 0.5), m_panAnchor.y - int((y - p.top) / m_zoom));
}

void CSEditView::OnLButtonDown(int x, int y, uint32_t flags)
{
    const bool space = SpaceDown();
    if (!space && ToolTakes(x, y)) {
        m_pressed = 1;
        m_lastX = x - m_area.left;
        m_lastY = y - m_area.top;
        if (m_tool->OnButtonDown(1, m_lastX, m_lastY, flags))
            return;
    }
    if ((!m_tool || space) && InPicture(x, y) && !ChildFromPoint(x, y) && UpdateImageSize() &&
        !WholeImageVisible()) {
        m_panning = 1;
        if (m_window)
            m_window->SetCapture(this);
        m_panAnchor = ScreenToImage(1, x, y);
    }
    CMessageSprite::OnLButtonDown(x, y, flags);
}

void CSEditView::OnLButtonUp(int x, int y, uint32_t flags)
{
    m_pressed = 0;
    if (!SpaceDown() && ToolTakes(x, y) && m_tool->OnButtonUp(1, x - m_area.left, y - m_area.top, flags))
        return;
    if (m_panning) {
        m_panning = 0;
        if (m_window)
            m_window->ReleaseCapture(this);
        return;
    }
    CMessageSprite::OnLButtonUp(x, y, flags);
}

void CSEditView::OnRButtonDown(int x, int y, uint32_t flags)
{
    if (ToolTakes(x, y) && m_tool->OnButtonDown(0, x - m_area.left, y - m_area.top, flags))
        return;
    CMessageSprite::OnRButtonDown(x, y, flags);
}

void CSEditView::OnRButtonUp(int x, int y, uint32_t flags)
{
    if (ToolTakes(x, y) && m_tool->OnButtonUp(0, x - m_area.left, y - m_area.top, flags))
        return;
    CMessageSprite::OnRButtonUp(x, y, flags);
}

void CSEditView::OnLButtonDblClk(int x, int y, uint32_t flags)
{
    if (ToolTakes(x, y))
        m_tool->OnDoubleClick(1, x - m_area.left, y - m_area.top, flags);
}

void CSEditView::OnMouseMove(int x, int y, uint32_t flags)
{
    if (!SpaceDown() && ToolTakes(x, y)) {
        if (m_cursor.Picture()) {
            if (m_window && m_window->PlatformWindow()) {
                if (const platform::CustomCursor* blank = BlankCursor())
                    m_window->PlatformWindow()->SetCursor(*blank);
            }
            m_cursor.SetVisible(1);
            m_cursor.MoveImageTo(x, y);
        }
        if (m_window)
            m_window->SetFocus(this, false);
        if (flags == 0)
            m_pressed = 0;
        const int tx = x - m_area.left, ty = y - m_area.top;
        if (m_tool->OnMouseMove(m_pressed, m_lastX, m_lastY, tx, ty)) {
            m_lastX = tx;
            m_lastY = ty;
            return;
        }
    } else {
        if (m_cursor.IsVisible()) {
            m_cursor.Invalidate();
            m_cursor.SetVisible(0);
        }
        m_lastX = x;
        m_lastY = y;
        if (!ChildFromPoint(x, y) && (!m_tool || SpaceDown())) {
            if (m_panning)
                PanTo(x, y);
            OnSetCursor(x, y);
        }
    }
    CMessageSprite::OnMouseMove(x, y, flags);
}

void CSEditView::OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags)
{
    int taken = 0;
    if (m_tool) {
        if (key == platform::vk::Escape) {
            if (hooks.endTool)
                hooks.endTool();
            return;
        }
        if (key == platform::vk::Shift || key == platform::vk::Control)
            taken = m_tool->OnModifierKey(key);
        else if (ToolKey(key))
            taken = m_tool->OnKey(key, 1);
        else if (key == platform::vk::Space)
            OnSetCursor(Width() / 2, Height() / 2);
    }
    if (taken)
        return;
    if (key == platform::vk::Delete)
        PostSpriteMessage(MSG_MENU_COMMAND, kCmdDeleteOrFill, 0, this);
    CMessageSprite::OnKeyDown(key, repeat, flags);
}

void CSEditView::OnKeyUp(uint32_t key, uint32_t flags)
{
    if (m_tool) {
        if (key == platform::vk::Shift || key == platform::vk::Control)
            m_tool->OnModifierKey(key);
        else if (key == platform::vk::Space)
            OnSetCursor(Width() / 2, Height() / 2);
    }
    CMessageSprite::OnKeyUp(key, flags);
}

void CSEditView::OnChar(uint32_t character, uint32_t repeat, uint32_t flags)
{
    if (m_tool && character >= 32)
        m_tool->OnKey(character, 0);
    CMessageSprite::OnChar(character, repeat, flags);
}

void CSEditView::OnCaptureReleased()
{
    // A capture taken away mid-drag ends the drag too.
    m_panning = 0;
    if (m_tool)
        m_tool->OnCaptureLost();
}

int CSEditView::OnSetCursor(int x, int y)
{
    const bool space = SpaceDown();
    if (m_tool && !space && ToolTakes(x, y))
        return 1;
    if ((!m_tool || space) && m_imageWidth.load() > 0 && InPicture(x, y) && !WholeImageVisible() && m_window) {
        if (theAppResources.hasCursor && m_window->PlatformWindow())
            m_window->PlatformWindow()->SetCursor(theAppResources.cursor);
        else
            m_window->SetCursor(platform::StandardCursor::Hand);
        return 1;
    }
    return CMessageSprite::OnSetCursor(x, y);
}

// ---------------------------------------------------------------------------------------------
// Messages, buttons and menus

int CSEditView::OnSpriteMessage(SpriteMessage* m)
{
    if (!m)
        return CMessageSprite::OnSpriteMessage(m);
    if (m_tool) {
        bool fromPanel = false;
        if (CSprite* panel = m_tool->optionPanel) {
            fromPanel = m->sender == panel;
            if (!fromPanel) {
                // The sender is compared, never dereferenced: it may be gone by now.
                platform::ScopedLock lock(panel->Lock());
                for (CSprite* child : panel->Children())
                    fromPanel = fromPanel || child == m->sender;
            }
        }
        if (fromPanel || (m->code == int32_t(MSG_ALGORITHM) && !m->sender)) {
            m_tool->OnPanelMessage(m);
            return CMessageSprite::OnSpriteMessage(m);
        }
    }
    switch (m->code) {
    case MSG_SCROLL_LINE_UP:
    case MSG_SCROLL_LINE_DOWN: {
        const int step = int(16 / m_zoom) * (m->code == MSG_SCROLL_LINE_UP ? -1 : 1);
        if (m->sender == &m_verticalBar)
            SetOrigin(m_visible.left, m_visible.top + step);
        else
            SetOrigin(m_visible.left + step, m_visible.top);
        break;
    }
    case MSG_SCROLL_POS:
        if (m->sender == &m_verticalBar)
            SetOrigin(m_visible.left, m_verticalBar.m_position.load());
        else
            SetOrigin(m_horizontalBar.m_position.load(), m_visible.top);
        break;
    case MSG_MENU_COMMAND: {
        const int id = int(m->param1);
        static constexpr double kMenuZooms[] = {8, 4, 2, 1, 0.666667, 0.5, 0.333333, 0.25, 0.1};
        if (id == 1)
            FitToWindow();
        else if (id >= 2 && id <= 10)
            SetZoom(kMenuZooms[id - 2]);
        else if (id >= kCmdSelectAll && id <= kCmdSelectionToMask)
            RunCanvasCommand(*this, id);
        else if (id == 22004) {
            if (hooks.copyToClipboard)
                hooks.copyToClipboard();
        } else if (m_tool)
            m_tool->OnPanelMessage(m);
        break;
    }
    case MSG_PANEL_CLICK:
        OnPanelClick(int32_t(m->param1));
        break;
    case MSG_VIEW_RENDER:
        RenderView();
        if (hooks.viewRendered)
            hooks.viewRendered();
        break;
    default:
        break;
    }
    return CMessageSprite::OnSpriteMessage(m);
}

void CSEditView::OnPanelClick(int32_t id)
{
    if (!m_topPanel.FindItem(id) && !m_selectionPanel.FindItem(id))
        return;
    auto endTool = [this] {
        if (hooks.endTool)
            hooks.endTool();
    };
    const SRect p = m_pictureRect;
    switch (id) {
    case kZoomInButton:
    case kZoomOutButton: {
        const SPoint c = ScreenToImage(1, (p.left + p.right) / 2, (p.top + p.bottom) / 2);
        StepZoom(id == kZoomInButton ? 1 : 0, c.x, c.y);
        break;
    }
    case kBestFitButton:
        FitToWindow();
        break;
    case kRealSizeButton:
        {
            platform::ScopedLock lock(m_lock);
            m_zoom = 1;
        }
        SetOrigin(0, 0);
        break;
    case kSaveButton:
        endTool();
        SaveDocument();
        break;
    case kWizardButton:
        if (hooks.runWizard)
            hooks.runWizard();
        endTool();
        break;
    case kInfoButton:
        endTool();
        ShowPhotoInfo();
        break;
    case kAddImageButton:
        endTool();
        AddImageAsLayer();
        break;
    case kPrintButton:
        endTool();
        PrintPicture();
        break;
    case kZoomBadgeButton:
        ShowZoomMenu();
        break;
    case kApplyButton:
        if (hooks.applyToHost)
            hooks.applyToHost();
        break;
    case kDropSelectionButton:
        if (m_window)
            m_window->HideTooltip();
        DropSelection();
        break;
    case kFeatherButton:
        RunCanvasCommand(*this, kCmdFeather);
        break;
    case kSmartEraseButton:
        if (CZDDoc* doc = m_document)
            SmartErase(doc->selection.data ? &doc->selection : nullptr);
        break;
    case kSelectionMoreButton:
        if (m_window && m_selectionMenu.Window()) {
            m_selectionMenu.Close(0);
            m_selectionMenu.ReleaseResources(0);
            m_modifyMenu.Close(0);
            m_modifyMenu.ReleaseResources(0);
            if (hooks.buildSelectionMenu && hooks.buildSelectionMenu(m_selectionMenu, m_modifyMenu)) {
                const SRect r = m_selectionPanel.Rect();
                const SPoint corner = LocalToWindowPoint({r.left + 80, r.top});
                m_selectionMenu.Track(this, corner.x, corner.y, true, true);
            }
        }
        break;
    default:
        break;
    }
    m_topPanel.OnCaptureReleased();
    m_topPanel.SetAllDirty(1);
}

void CSEditView::ShowZoomMenu()
{
    if (!m_window || !m_zoomMenu.Window())
        return;
    FillZoomStepMenu(m_zoomMenu);
    const SPoint corner = LocalToWindowPoint({m_area.right, m_area.top});
    m_zoomMenu.Track(this, corner.x, corner.y, true, false);
}

// ---------------------------------------------------------------------------------------------
// Composition (UI thread) and drawing (render thread)

void CSEditView::RequestRender()
{
    if (!m_renderRequested.exchange(1) && !PostSpriteMessage(MSG_VIEW_RENDER, 0, 0, this))
        m_renderRequested.store(0);
}

void CSEditView::FreeViewBuffers()
{
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_viewBuffer);
        FreePlane8(m_outline);
        m_outline = Plane8{};
    }
    FreeImageBuffer(m_spareBuffer);
    FreeImageBuffer(m_composite);
    m_histogramStale = true;
    SetAllDirty(1);
}

void CSEditView::CompositeLayerIntoView(ImageBuffer16& composite, const CZDLayer& layer)
{
    ComposeLayerIntoView(composite, layer, m_visible, m_zoom);
}

void CSEditView::RenderView()
{
    // Called when the document may have changed: the histogram follows.
    m_histogramStale = true;
    Compose();
}

void CSEditView::Compose()
{
    m_renderRequested.store(0);
    if (!UpdateImageSize()) {
        {
            platform::ScopedLock lock(m_lock);
            FreeImageBuffer(m_viewBuffer);
        }
        SetAllDirty(1);
        return;
    }
    CZDDoc* doc = m_document;
    if (m_knownWidth == 0 && m_knownHeight == 0) {
        m_knownWidth = doc->width;
        m_knownHeight = doc->height;
    }
    if (m_knownWidth != doc->width || m_knownHeight != doc->height) {
        m_knownWidth = doc->width;
        m_knownHeight = doc->height;
        SetOrigin(0, 0);
        return;
    }
    int w = m_visible.Width(), h = m_visible.Height();
    if (w <= 0 || h <= 0)
        return;
    const double z = m_zoom;
    if (std::fabs(z - 1) > 1e-10) {
        w = std::max(1, int(w * z + 0.5));
        h = std::max(1, int(h * z + 0.5));
    }
    const SRect a = m_area;
    const int left = a.left + (a.Width() - w) / 2, top = a.top + (a.Height() - h) / 2;
    const SRect picture{left, top, left + w, top + h};
    if (!ReuseImage(m_composite, m_compositeCapacity, w, h, 8, &AllocImage16))
        return;
    RunRowRanges(h, w, [&](int first, int end) {
        FillCheckerboard(m_composite, first, end);
        return true;
    });
    Plane8 outline;
    int level = 0;
    bool selection = false;
    {
        std::lock_guard guard(doc->lock);
        for (int i = 0; i < doc->LayerCount(); ++i) {
            const CZDLayer& layer = *doc->GetLayer(i);
            std::lock_guard layerGuard(layer.lock);
            if (layer.visible && layer.pixels.data)
                CompositeLayerIntoView(m_composite, layer);
        }
        selection = doc->selection.data != nullptr;
        if (selection)
            level = BuildOutlinePlane(doc->selection, m_visible, z, w, h, outline);
    }
    if (!ReuseImage(m_spareBuffer, m_spareCapacity, w, h, 4, &AllocImage8) ||
        !ConvertPixels16To8(m_composite, m_spareBuffer)) {
        FreePlane8(outline);
        return;
    }
    {
        platform::ScopedLock lock(m_lock);
        m_pictureRect = picture;
        std::swap(m_viewBuffer, m_spareBuffer);
        std::swap(m_viewCapacity, m_spareCapacity);
        if (selection) {
            std::swap(m_outline, outline);
            m_outlineLevel.store(level);
        }
    }
    FreePlane8(outline);
    m_hasSelection.store(selection ? 1 : 0);
    // A view that only moved shows the same layer: its histogram stays.
    const CZDLayer* current = doc->GetCurrentLayer();
    if (m_histogramStale || current != m_histogramLayer || !m_histogram.data) {
        UpdateHistogram();
        m_histogramLayer = current;
        m_histogramStale = false;
    }
    SetAllDirty(1);
    PlaceSelectionPanel();
    m_overlay.SetAllDirty(1);
    m_renderCount.fetch_add(1);
}

void CSEditView::UpdateHistogram()
{
    ImageBuffer8 picture;
    const int h = std::max(1, kTopStrip - 2);
    if (CZDDoc* doc = m_document) {
        std::lock_guard guard(doc->lock);
        if (const CZDLayer* layer = doc->GetCurrentLayer()) {
            std::lock_guard layerGuard(layer->lock);
            BuildHistogramPicture(layer->pixels, h, picture);
        }
    }
    if (!picture.data && AllocImage8(picture, 128, h))
        std::memset(picture.data, 0, picture.byteSize);
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_histogram);
        m_histogram = picture;
    }
    m_topPanel.SetItemIcon(kHistogramButton, &m_histogram);
}

void CSEditView::BuildSelectionOutline()
{
    CZDDoc* doc = m_document;
    if (!doc)
        return;
    const SRect p = m_pictureRect;
    Plane8 outline;
    int level;
    {
        std::lock_guard guard(doc->lock);
        level = BuildOutlinePlane(doc->selection, m_visible, m_zoom, p.Width(), p.Height(), outline);
    }
    {
        platform::ScopedLock lock(m_lock);
        std::swap(m_outline, outline);
        m_outlineLevel.store(level);
    }
    FreePlane8(outline);
}

void CSEditView::DrawSelectionOutline()
{
    const uint32_t phase = g_outlinePhase.fetch_add(1) + 1;
    const SRect p = m_pictureRect;
    if (m_outline.data && m_outline.width == p.Width() && m_outline.height == p.Height())
        DrawOutlineStripes(m_image, p.left, p.top, m_outline, m_outlineLevel.load(), int(phase));
}

int CSEditView::OnDraw(uint32_t time)
{
    // The render thread holds the canvas lock (CSprite::Update).
    CZDDoc* doc = m_document;
    if (!m_viewBuffer.data) {
        const bool changed = doc && doc->modified.exchange(0);
        if (changed || m_imageWidth.load() > 0)
            RequestRender();
        if (!AllDirty() || !m_image.data)
            return 0;
        FillRows(m_image, 0, 0, m_image.width, m_image.height, kBackground);
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }
    if (doc && doc->modified.exchange(0))
        RequestRender();
    const int64_t second = int64_t(time / 1000);
    const bool newSecond = m_lastSecond.exchange(second) != second;
    const bool selection = m_hasSelection.load() != 0;
    // The outline marches once a second; without a selection the render thread may sleep.
    if (selection && m_window)
        m_window->RequestFrameIn(1000 - time % 1000);
    if (!m_image.data)
        return 0;
    const SRect p = m_pictureRect;
    const bool all = AllDirty() != 0;
    if (!all && (!newSecond || !selection))
        return 0;
    if (all) {
        // Only what the picture does not cover is cleared; the picture is copied over the rest.
        FillRows(m_image, 0, 0, m_image.width, p.top, kBackground);
        FillRows(m_image, 0, p.bottom, m_image.width, m_image.height, kBackground);
        FillRows(m_image, 0, p.top, p.left, p.bottom, kBackground);
        FillRows(m_image, p.right, p.top, m_image.width, p.bottom, kBackground);
    }
    const ImageBuffer8& v = m_viewBuffer;
    const int x0 = std::max(0, p.left), x1 = std::min(m_image.width, p.left + v.width);
    if (x0 < x1)
        for (int y = std::max(0, p.top); y < std::min(m_image.height, p.top + v.height); ++y)
            std::memcpy(m_image.data + (size_t(y) * size_t(m_image.width) + size_t(x0)) * 4,
                        v.data + (size_t(y - p.top) * size_t(v.width) + size_t(x0 - p.left)) * 4,
                        size_t(x1 - x0) * 4);
    if (selection)
        DrawSelectionOutline();
    if (all)
        InvalidateRect(0, 0, 0, 0, 1);
    else
        InvalidateRect(p.left, p.top, p.right, p.bottom, 1);
    return 1;
}

int CSEditView::Ask(const char16_t* text, int kind, int buttons)
{
    if (dialogs.messageBox)
        return dialogs.messageBox(text, kind, buttons);
    return SpriteMessageBox(text, kind, buttons);
}
