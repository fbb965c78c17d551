// Visual variants dialog (see the header).
#include "dialogs/VisualDialog.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/ImageSize.h"
#include "dialogs/DialogSupport.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/Draw8.h"
#include "imaging/HistoryStore.h"
#include "imaging/TextRender.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kTonePage = 0, kColourPage = 1;
constexpr int kToneLimit = 5, kColourLimit = 8; // step counts stay below these in size
constexpr double kSqrt3Half = 0.8660254;

int Trunc(double v) { return int(v); }

int32_t ToOpacity(int opacity) { return opacity >= 255 ? 256 : std::max(0, opacity); }

} // namespace

CVisualDlg::CVisualDlg()
{
    m_fadeOutOnClose = 0;
    m_dimRequest = 0;
}

CVisualDlg::~CVisualDlg()
{
    CVisualDlg::ReleaseResources(1);
    platform::ScopedLock lock(m_lock);
    FreeImageBuffer(m_reduced);
}

void CVisualDlg::EmptyCaches()
{
    m_toneTiles.clear();
    m_colourTiles.clear();
}

void CVisualDlg::ReleaseResources(int flag)
{
    {
        platform::ScopedLock lock(m_lock);
        EmptyCaches();
    }
    if (m_panelBuilt) {
        RemoveChild(&m_panel);
        m_panel.ReleaseResources(flag);
        m_panelBuilt = false;
    }
    CAlgorithmDialog::ReleaseResources(flag);
}

size_t CVisualDlg::CachedTiles() const
{
    platform::ScopedLock lock(m_lock);
    return m_toneTiles.size() + m_colourTiles.size();
}

std::vector<VisualHit> CVisualDlg::Hits() const
{
    platform::ScopedLock lock(m_hitLock);
    return m_hits;
}

std::array<double, 5> CVisualDlg::Position() const
{
    std::array<double, 5> p{};
    for (int i = 0; i < 5; ++i)
        p[i] = m_position[i].load();
    return p;
}

std::array<double, 5> CVisualDlg::Target() const
{
    std::array<double, 5> p{};
    for (int i = 0; i < 5; ++i)
        p[i] = m_target[i].load();
    return p;
}

int CVisualDlg::MeasureStrength(const ImageBuffer16& reduced)
{
    if (!reduced.data || reduced.pixelCount == 0)
        return 50;
    int64_t sum = 0;
    for (uint32_t i = 0; i < reduced.pixelCount; ++i) {
        const uint16_t* p = reduced.data + size_t(i) * 4;
        const int b = p[0], g = p[1], r = p[2];
        const int d = (b + 3 * r + 6 * g) / 10;
        sum += (std::abs(b - d) + std::abs(g - d) + std::abs(r - d)) / 3000;
    }
    return sum <= 500000 ? int(sum / 10000 + 50) : 100;
}

SRect CVisualDlg::CentredSquare(int width, int height)
{
    if (height < width)
        return {(width - height) / 2, 0, (width - height) / 2 + height, height};
    return {0, (height - width) / 2, width, (height - width) / 2 + width};
}

int CVisualDlg::SetupGrid()
{
    const int w = Width(), h = Height();
    const int d = std::abs(w - h) / 2;
    m_grid = {d + 5, 40, w - d - 5, h - 5};
    m_pitch = std::max(1, (w - 2 * d - 10) / 3);
    const ImageBuffer16* layer = m_document ? m_document->GetCurrentImage() : nullptr;
    if (!layer || !layer->data)
        return 0;
    m_region = CentredSquare(layer->width, layer->height);
    return MakeSourceCopy();
}

int CVisualDlg::MakeSourceCopy()
{
    const ImageBuffer16* layer = m_document ? m_document->GetCurrentImage() : nullptr;
    const SRect r = m_region;
    if (!layer || !layer->data || r.Width() <= 0 || r.Height() <= 0 || r.left < 0 || r.top < 0 ||
        r.right > layer->width || r.bottom > layer->height)
        return 0;
    ImageBuffer16 work{};
    if (!AllocImage16(work, r.Width(), r.Height()))
        return 0;
    for (int y = 0; y < r.Height(); ++y)
        std::memcpy(work.data + size_t(y) * work.width * 4,
                    layer->data + (size_t(r.top + y) * layer->width + size_t(r.left)) * 4, size_t(work.width) * 8);
    // The longer side becomes pitch - 20, never more than the region itself: a small layer is
    // shown as it is rather than enlarged.
    const int longer = std::max(r.Width(), r.Height());
    const int side = std::max(1, std::min(m_pitch - 20, longer));
    ImageBuffer16 reduced{};
    if (side == longer) {
        reduced = work;
        work = {};
    } else {
        const int rw = std::max(1, int(int64_t(r.Width()) * side / longer));
        const int rh = std::max(1, int(int64_t(r.Height()) * side / longer));
        CImageSize shrink;
        const int ok = shrink.Shrink5x5(work, reduced, rw, rh);
        FreeImageBuffer(work);
        if (!ok) {
            FreeImageBuffer(reduced);
            return 0;
        }
    }
    platform::ScopedLock lock(m_lock);
    FreeImageBuffer(m_reduced);
    m_reduced = reduced;
    EmptyCaches();
    return 1;
}

std::unique_ptr<VisualTile> CVisualDlg::MakeTile(int page, const int32_t steps[5])
{
    if (!m_reduced.data)
        return nullptr;
    m_tileVisual.m_params = VisualParams{};
    m_tileVisual.m_params.contrastSteps = steps[0];
    m_tileVisual.m_params.exposureSteps = steps[1];
    m_tileVisual.m_params.redSteps = steps[2];
    m_tileVisual.m_params.greenSteps = steps[3];
    m_tileVisual.m_params.blueSteps = steps[4];
    m_tileVisual.m_params.strength = m_strength.load();
    ImageBuffer16 variant{};
    auto tile = std::make_unique<VisualTile>();
    const bool ok = m_tileVisual.ApplyTables(m_reduced, variant) &&
                    AllocImage8(tile->picture, variant.width, variant.height) &&
                    ConvertPixels16To8(variant, tile->picture);
    FreeImageBuffer(variant);
    if (!ok)
        return nullptr;
    if (page == kTonePage) {
        tile->keys[0] = steps[0], tile->keys[1] = steps[1], tile->keys[2] = 0;
    } else {
        tile->keys[0] = steps[2], tile->keys[1] = steps[3], tile->keys[2] = steps[4];
    }
    return tile;
}

const VisualTile* CVisualDlg::CachedTile(int page, int32_t a, int32_t b, int32_t c, const int32_t steps[5])
{
    auto& cache = page == kTonePage ? m_toneTiles : m_colourTiles;
    for (const auto& t : cache)
        if (t->keys[0] == a && t->keys[1] == b && t->keys[2] == c)
            return t.get();
    std::unique_ptr<VisualTile> made = MakeTile(page, steps);
    if (!made)
        return nullptr;
    cache.push_back(std::move(made));
    return cache.back().get();
}

int CVisualDlg::OnInitDialog()
{
    if (!CAlgorithmDialog::OnInitDialog())
        return 0;
    PlaceOverPage(0);
    const int w = Width();
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"visual.png", kIconFrameWidth, m_icons) || m_icons.size() < 2)
        return 0;
    {
        ImageList8 tools;
        if (!LoadUiImageStrip(UiImageFolder::Basic, u"picviewtool.png", 28, tools) || tools.size() < 2)
            return 0;
        m_icons.items.insert(m_icons.items.end(), tools.items.begin(), tools.items.end());
        tools.items.clear();
    }
    if (!m_panel.Create(this, nullptr, kPanelId, 2, w - 160, 40, w - 10, 340))
        return 0;
    AddChild(&m_panel);
    m_panelBuilt = true;
    m_panel.m_background.store(0);
    const int page = m_page.load() == kColourPage ? kColourPage : kTonePage;
    m_page.store(page);
    if (!m_panel.AddItem(kItemTone, 2, UiText(u"ExposureVisual"), u"", nullptr, 0, 0, 145, 35) ||
        !m_panel.AddItem(kItemColour, 2, UiText(u"ColorVisual"), u"", nullptr, 0, 35, 145, 70) ||
        !m_panel.AddItem(kItemAxes, 3, u"", u"", m_icons[size_t(page)], 0, 70, 145, 200) ||
        !m_panel.AddItem(kItemZoomIn, 1, u"", u"", m_icons[2], 0, 200, 30, 230) ||
        !m_panel.AddItem(kItemZoomOut, 1, u"", u"", m_icons[3], 30, 200, 60, 230) ||
        !m_panel.AddItem(kItemReset, 1, UiText(u"dlgReset"), u"", nullptr, 60, 200, 150, 230) ||
        !m_panel.AddItem(kItemReset, 3, UiText(u"VisualTip"), u"", nullptr, 0, 240, 150, 290))
        return 0;
    RefreshPanel();
    if (CSprite* ok = GetControl(1))
        ok->SetPos(w - 160, 340, 145, 25);
    if (CSprite* cancel = GetControl(2))
        cancel->SetPos(w - 160, 370, 145, 25);
    {
        ImageBuffer8 caption{};
        if (!RenderTextLocked(UiText(u"VisualChanges"), caption, nullptr, 0, std::max(1, w - 40), nullptr))
            return 0;
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_captionImage);
        m_captionImage = caption;
    }
    if (!SetupGrid())
        return 0;
    {
        platform::ScopedLock lock(m_lock);
        m_strength.store(MeasureStrength(m_reduced));
    }
    for (int i = 0; i < 5; ++i) {
        m_position[i].store(0);
        m_target[i].store(0);
    }
    // The whole picture is already the square: nothing to zoom out to.
    const ImageBuffer16* layer = m_document->GetCurrentImage();
    m_panel.EnableItem(kItemZoomOut, m_region.Width() < layer->width || m_region.Height() < layer->height);
    RequestRedraw();
    // Test hook: where the grid and OK are in the window and the strength the tiles use, so that
    // a test can click a tile and check the result.
    if (std::getenv("ZENDRA_REPORT_PIXELS")) {
        const SRect g = LocalToWindowRect(m_grid);
        const SRect ok = GetControl(1) ? GetControl(1)->LocalToWindowRect({0, 0, 145, 25}) : SRect{};
        std::printf("zendra: visual grid %d,%d,%d,%d pitch %d strength %d ok %d,%d\n", g.left, g.top, g.right,
                    g.bottom, m_pitch, m_strength.load(), (ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2);
        std::fflush(stdout);
    }
    return 1;
}

void CVisualDlg::RefreshPanel()
{
    const int page = m_page.load();
    m_panel.SetItemChecked(kItemTone, page == kTonePage);
    m_panel.SetItemChecked(kItemColour, page == kColourPage);
    if (m_icons.size() > size_t(page))
        m_panel.SetItemIcon(kItemAxes, m_icons[size_t(page)]);
    m_panel.SetAllDirty(1);
}

void CVisualDlg::KeepFramesComing()
{
    if (CRenderWindow* window = Window())
        window->RequestFrame();
}

void CVisualDlg::RequestRedraw()
{
    m_redraw.store(1);
    KeepFramesComing();
}

int CVisualDlg::OnDraw(uint32_t time)
{
    const bool full = AllDirty() != 0;
    int drawn = CAlgorithmDialog::OnDraw(time);
    switch (m_animation.load()) {
    case kAnimGlide: StepGlide(); break;
    case kAnimToTone: StepToTonePage(); break;
    case kAnimToColour: StepToColourPage(); break;
    default: break;
    }
    if (m_animation.load() != kAnimNone)
        KeepFramesComing();
    if ((full || m_redraw.exchange(0)) && m_image.data) {
        DrawGrid();
        drawn = 1;
    }
    return drawn;
}

void CVisualDlg::DrawGrid()
{
    FillRect8(m_image, {m_grid.left, m_grid.top, m_grid.right, m_grid.bottom}, 0, 255);
    std::vector<VisualHit> hits;
    if (m_page.load() == kTonePage)
        DrawTonePage(hits);
    else
        DrawColourPage(hits);
    {
        platform::ScopedLock lock(m_hitLock);
        m_hits.swap(hits);
    }
    InvalidateRect(m_grid.left, m_grid.top, m_grid.right, m_grid.bottom, 1);
}

void CVisualDlg::DrawTonePage(std::vector<VisualHit>& hits)
{
    const double pc = m_position[0].load(), pb = m_position[1].load();
    const int32_t pr = Trunc(m_position[2].load()), pg = Trunc(m_position[3].load()), pbl = Trunc(m_position[4].load());
    const double s = m_toneScale.load(), P = m_pitch;
    const double cx = (m_grid.left + m_grid.right) / 2, cy = (m_grid.top + m_grid.bottom) / 2;
    const DrawRect clip{m_grid.left, m_grid.top, m_grid.right, m_grid.bottom};
    for (int i = Trunc(pb - 2); i <= Trunc(pb + 3) - 1; ++i) {
        if (std::abs(i) >= kToneLimit)
            continue;
        for (int c = Trunc(pc - 2); c <= Trunc(pc + 3) - 1; ++c) {
            if (std::abs(c) >= kToneLimit)
                continue;
            const double x = cx + P * (c - pc) * s, y = cy - P * (i - pb) * s;
            const double v = std::sqrt((i - pb) * (i - pb) + (c - pc) * (c - pc));
            int opacity;
            if (v < 1.00001)
                opacity = 255;
            else if (v < 1.41)
                opacity = 220 - Trunc((v - 1) * 400);
            else
                continue;
            if (s > 1 && v > 0.2)
                opacity /= std::max(1, Trunc(s * s));
            const int32_t steps[5] = {c, i, pr, pg, pbl};
            const VisualTile* tile = CachedTile(kTonePage, c, i, 0, steps);
            if (!tile)
                continue; // its place stays black
            const int left = Trunc(x) - tile->picture.width / 2, top = Trunc(y) - tile->picture.height / 2;
            if (opacity == 255 && v > 0.2) {
                VisualHit hit;
                std::copy(std::begin(steps), std::end(steps), hit.steps);
                hit.rect = {left, top, left + tile->picture.width, top + tile->picture.height};
                hits.push_back(hit);
            }
            BlendImage8(m_image, tile->picture, left, top, false, ToOpacity(opacity), clip);
        }
    }
}

void CVisualDlg::DrawColourPage(std::vector<VisualHit>& hits)
{
    const double pr = m_position[2].load(), pg = m_position[3].load(), pbl = m_position[4].load();
    const int32_t pc = Trunc(m_position[0].load()), pb = Trunc(m_position[1].load());
    const double s = m_colourScale.load(), P = Trunc(1.15 * m_pitch);
    const double cx = (m_grid.left + m_grid.right) / 2, cy = (m_grid.top + m_grid.bottom) / 2;
    const DrawRect clip{m_grid.left, m_grid.top, m_grid.right, m_grid.bottom};
    for (int r = Trunc(pr - 2); r <= Trunc(pr + 3) - 1; ++r) {
        if (std::abs(r) >= kColourLimit)
            continue;
        for (int g = Trunc(pg - 2); g <= Trunc(pg + 3) - 1; ++g) {
            if (std::abs(g) >= kColourLimit)
                continue;
            for (int b = Trunc(pbl - 2); b <= Trunc(pbl + 2) - 1; ++b) {
                if (std::abs(b) >= kColourLimit)
                    continue;
                const double y = cy - ((r - pr) * kSqrt3Half - (g - pg) * kSqrt3Half) * P * s;
                const double x = cx + ((r - pr) * 0.5 + (pbl - b) + (g - pg) * 0.5) * P * s;
                const double D = std::abs(pr - r) + std::abs(pg - g) + std::abs(pbl - b);
                int opacity;
                if (D < 1.01)
                    opacity = 255;
                else if (D < 2)
                    opacity = Trunc((2 - D) * 255);
                else
                    continue;
                if (s < 1 && D > 0.2)
                    opacity = Trunc(opacity * s);
                const int32_t steps[5] = {pc, pb, r, g, b};
                const VisualTile* tile = CachedTile(kColourPage, r, g, b, steps);
                if (!tile)
                    continue;
                const int left = Trunc(x) - tile->picture.width / 2, top = Trunc(y) - tile->picture.height / 2;
                if (opacity == 255 && D > 0.2) {
                    VisualHit hit;
                    std::copy(std::begin(steps), std::end(steps), hit.steps);
                    hit.rect = {left, top, left + tile->picture.width, top + tile->picture.height};
                    hits.push_back(hit);
                }
                BlendImage8(m_image, tile->picture, left, top, false, ToOpacity(opacity), clip);
            }
        }
    }
}

void CVisualDlg::SelectTile(int index)
{
    {
        platform::ScopedLock lock(m_hitLock);
        if (index < 0 || size_t(index) >= m_hits.size())
            return;
        for (int i = 0; i < 5; ++i)
            m_target[i].store(m_hits[size_t(index)].steps[i]);
    }
    m_animation.store(kAnimGlide);
    RequestRedraw();
}

void CVisualDlg::StepGlide()
{
    bool near = true;
    for (int i = 0; i < 5; ++i) {
        const double p = m_position[i].load(), t = m_target[i].load();
        const double moved = p + std::clamp(t - p, -0.15, 0.15);
        m_position[i].store(moved);
        near = near && std::abs(t - moved) <= 0.11;
    }
    if (near) {
        for (int i = 0; i < 5; ++i)
            m_position[i].store(m_target[i].load());
        m_animation.store(kAnimNone);
    }
    m_redraw.store(1);
}

void CVisualDlg::StepToColourPage()
{
    if (m_toneScale.load() < 3) {
        m_toneScale.store(m_toneScale.load() * 1.3);
    } else {
        if (m_page.load() == kTonePage) {
            m_page.store(kColourPage);
            EmptyCaches(); // the render thread holds the dialog's lock here
            ::PostSpriteMessage(this, kMsgPanelRefresh, 0, 0, nullptr);
        }
        const double s = m_colourScale.load() + 0.2;
        if (s >= 1) {
            m_colourScale.store(1.0);
            m_animation.store(kAnimNone);
        } else {
            m_colourScale.store(s);
        }
    }
    m_redraw.store(1);
}

void CVisualDlg::StepToTonePage()
{
    if (m_colourScale.load() > 0.05) {
        m_colourScale.store(std::max(0.0, m_colourScale.load() - 0.2));
    } else {
        if (m_page.load() == kColourPage) {
            m_page.store(kTonePage);
            EmptyCaches();
            ::PostSpriteMessage(this, kMsgPanelRefresh, 0, 0, nullptr);
        }
        const double s = (m_toneScale.load() + 1) / 2;
        if (s < 1.1) {
            m_toneScale.store(1.0);
            m_animation.store(kAnimNone);
        } else {
            m_toneScale.store(s);
        }
    }
    m_redraw.store(1);
}

void CVisualDlg::ChangePage(int page)
{
    if (m_animation.load() == kAnimToTone || m_animation.load() == kAnimToColour)
        return;
    if (page == kTonePage && m_page.load() == kColourPage) {
        m_toneScale.store(3.0);
        m_colourScale.store(1.0);
        m_animation.store(kAnimToTone);
    } else if (page == kColourPage && m_page.load() == kTonePage) {
        m_toneScale.store(1.0);
        m_colourScale.store(0.0);
        m_animation.store(kAnimToColour);
    } else {
        return;
    }
    RequestRedraw();
}

bool CVisualDlg::SetRegion(const SRect& region)
{
    const SRect old = m_region;
    m_region = region;
    if (!MakeSourceCopy()) {
        m_region = old;
        return false;
    }
    {
        platform::ScopedLock lock(m_hitLock);
        m_hits.clear();
    }
    m_hovered = kHoverNone;
    SetAllDirty(1);
    RequestRedraw();
    return true;
}

void CVisualDlg::ZoomIn()
{
    const ImageBuffer16* layer = m_document ? m_document->GetCurrentImage() : nullptr;
    if (!layer)
        return;
    const int W = layer->width, H = layer->height;
    SRect r = m_region;
    const bool whole = r.left == 0 && r.top == 0 && r.right == W && r.bottom == H;
    if (whole && W != H) {
        r = CentredSquare(W, H);
    } else {
        const int side = r.Width() * 2 / 3;
        if (side < m_pitch)
            return;
        const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
        r = {cx - side / 2, cy - side / 2, cx - side / 2 + side, cy - side / 2 + side};
    }
    if (!SetRegion(r))
        return;
    m_panel.EnableItem(kItemZoomIn, m_region.Width() * 2 > m_pitch * 3);
    m_panel.EnableItem(kItemZoomOut, 1);
    m_panel.SetAllDirty(1);
}

void CVisualDlg::ZoomOut()
{
    const ImageBuffer16* layer = m_document ? m_document->GetCurrentImage() : nullptr;
    if (!layer)
        return;
    const int W = layer->width, H = layer->height;
    SRect r = m_region;
    if (r.left == 0 && r.top == 0 && r.right == W && r.bottom == H)
        return;
    bool whole = false;
    if (r.Width() < 0.9 * W && r.Height() < 0.9 * H) {
        const int side = std::min({r.Width() * 3 / 2, W, H});
        const int left = (W - side) / 2, top = (H - side) / 2;
        r = {left, top, left + side, top + side};
        whole = side == W && side == H; // a square picture is whole again
    } else {
        r = {0, 0, W, H};
        whole = true;
    }
    if (!SetRegion(r))
        return;
    m_panel.EnableItem(kItemZoomOut, !whole);
    m_panel.EnableItem(kItemZoomIn, 1);
    m_panel.SetAllDirty(1);
}

void CVisualDlg::ResetSteps()
{
    for (int i = 0; i < 5; ++i)
        m_position[i].store(0);
    {
        platform::ScopedLock lock(m_lock);
        EmptyCaches();
    }
    m_hovered = kHoverNone;
    RequestRedraw();
}

bool CVisualDlg::OnGrid(int x, int y) const
{
    return x >= m_grid.left && x < m_grid.right && y >= m_grid.top && y < m_grid.bottom;
}

int CVisualDlg::HitAt(int x, int y) const
{
    platform::ScopedLock lock(m_hitLock);
    for (size_t i = 0; i < m_hits.size(); ++i) {
        const SRect& r = m_hits[i].rect;
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return int(i);
    }
    return -1;
}

void CVisualDlg::OnMouseWheel(int x, int y, int delta)
{
    if (!OnGrid(x, y) || delta == 0) {
        CAlgorithmDialog::OnMouseWheel(x, y, delta);
        return;
    }
    if (delta > 0)
        ZoomIn();
    else
        ZoomOut();
}

void CVisualDlg::OnMouseMove(int x, int y, uint32_t flags)
{
    if (m_panning) {
        const ImageBuffer16* layer = m_document ? m_document->GetCurrentImage() : nullptr;
        if (!layer || m_pitch <= 0)
            return;
        const double perPixel = double(m_panRegion.Width()) / m_pitch;
        const int dx = Trunc((m_panStart.x - x) * perPixel), dy = Trunc((m_panStart.y - y) * perPixel);
        const int w = m_panRegion.Width(), h = m_panRegion.Height();
        const int left = std::clamp(m_panRegion.left + dx, 0, std::max(0, layer->width - w));
        const int top = std::clamp(m_panRegion.top + dy, 0, std::max(0, layer->height - h));
        if (left != m_region.left || top != m_region.top)
            SetRegion({left, top, left + w, top + h});
        return;
    }
    if (!OnGrid(x, y)) {
        m_hovered = kHoverNone;
        CAlgorithmDialog::OnMouseMove(x, y, flags);
        return;
    }
    const int hit = HitAt(x, y);
    const ImageBuffer16* layer = m_document ? m_document->GetCurrentImage() : nullptr;
    if (hit >= 0)
        m_hovered = hit;
    else if (layer && (m_region.Width() < layer->width || m_region.Height() < layer->height))
        m_hovered = kHoverPan;
    else
        m_hovered = kHoverNone;
    OnSetCursor(x, y);
}

void CVisualDlg::OnLButtonDown(int x, int y, uint32_t flags)
{
    if (!OnGrid(x, y)) {
        CAlgorithmDialog::OnLButtonDown(x, y, flags);
        return;
    }
    OnMouseMove(x, y, flags);
    if (m_hovered == kHoverPan) {
        if (CRenderWindow* window = Window())
            window->SetCapture(this);
        m_panning = 1;
        m_panStart = {x, y};
        m_panRegion = m_region;
    } else if (m_hovered >= 0) {
        m_pressedHit = m_hovered;
        m_pressPoint = {x, y};
    }
}

void CVisualDlg::OnLButtonUp(int x, int y, uint32_t flags)
{
    if (m_panning) {
        m_panning = 0;
        if (CRenderWindow* window = Window())
            window->ReleaseCapture(this);
        return;
    }
    const int pressed = m_pressedHit;
    m_pressedHit = -1;
    if (pressed >= 0) {
        if (std::abs(x - m_pressPoint.x) <= 4 && std::abs(y - m_pressPoint.y) <= 4 &&
            m_animation.load() == kAnimNone)
            SelectTile(pressed);
        return;
    }
    CAlgorithmDialog::OnLButtonUp(x, y, flags);
}

void CVisualDlg::OnCaptureReleased()
{
    m_panning = 0;
    m_pressedHit = -1;
    CAlgorithmDialog::OnCaptureReleased();
}

int CVisualDlg::OnSetCursor(int x, int y)
{
    CRenderWindow* window = Window();
    if (window && OnGrid(x, y)) {
        if (m_hovered >= 0) {
            window->SetCursor(platform::StandardCursor::Hand);
            return 1;
        }
        if (m_hovered == kHoverPan || m_panning) {
            window->SetCursor(platform::StandardCursor::SizeAll);
            return 1;
        }
        window->SetCursor(platform::StandardCursor::Arrow);
        return 1;
    }
    return CAlgorithmDialog::OnSetCursor(x, y);
}

int CVisualDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_PANEL_CLICK && message->sender == &m_panel) {
        switch (message->param1) {
        case kItemTone: ChangePage(kTonePage); return 1;
        case kItemColour: ChangePage(kColourPage); return 1;
        case kItemZoomIn: ZoomIn(); return 1;
        case kItemZoomOut: ZoomOut(); return 1;
        case kItemReset: ResetSteps(); return 1;
        default: break;
        }
    }
    if (message && message->code == kMsgPanelRefresh) {
        RefreshPanel();
        return 1;
    }
    return CAlgorithmDialog::OnSpriteMessage(message);
}

void CVisualDlg::OnOK()
{
    ImageBuffer16* layer = m_document ? m_document->GetCurrentImage() : nullptr;
    CRenderWindow* window = Window();
    if (window)
        window->BeginBusy(SRect{});
    int applied = 0;
    if (layer && layer->data) {
        CVisual visual; // this thread's own: the render thread's builds its tables meanwhile
        visual.m_params.contrastSteps = Trunc(m_position[0].load());
        visual.m_params.exposureSteps = Trunc(m_position[1].load());
        visual.m_params.redSteps = Trunc(m_position[2].load());
        visual.m_params.greenSteps = Trunc(m_position[3].load());
        visual.m_params.blueSteps = Trunc(m_position[4].load());
        visual.m_params.strength = m_strength.load();
        // In place: the run fails only while building its tables, before a pixel is touched.
        const int index = m_document->FindLayerByImage(layer);
        CZDLayer* owner = index >= 0 ? m_document->GetLayer(index) : nullptr;
        if (owner) {
            platform::ScopedLock pixels(owner->lock);
            applied = visual.ApplyTables(*layer, *layer);
        } else {
            applied = visual.ApplyTables(*layer, *layer);
        }
    }
    if (window)
        window->EndBusy();
    if (!applied) {
        // Not reported as done: the layer and the history stay as they were, the dialog open.
        DialogMessage(u"algorithmerror", kMbInformation, kMbOk);
        return;
    }
    m_document->modified = 1;
    if (m_bindToEditor && m_history)
        m_history->AddStep(kHistoryDocument, -1, UiText(u"VisualChanges"), false, 0, nullptr, 0);
    CAlgorithmDialog::OnOK();
}
