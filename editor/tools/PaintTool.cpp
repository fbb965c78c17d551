#include "editor/tools/PaintTool.h"

#include "algorithms/GaussBlur.h"
#include "editor/EditView.h"
#include "editor/EditorHost.h"
#include "imaging/Draw8.h"
#include "imaging/HistoryStore.h"
#include "imaging/TextRender.h"
#include "platform/Format.h"
#include "ui/MessageBox.h"
#include "ui/Registry.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr char16_t kPaintSection[] = u"PaintSettings";

void ValueName(char16_t* out, int capacity, const char16_t* prefix, const char16_t* name)
{
    std::u16string s = std::u16string(prefix) + name;
    CopyTextBounded(out, capacity, s.c_str());
}

bool Inside(const Plane8& p, int x, int y)
{
    return x >= 0 && y >= 0 && x < p.width && y < p.height;
}

ZDRect Union(const ZDRect& a, const ZDRect& b)
{
    if (a.IsEmpty())
        return b;
    if (b.IsEmpty())
        return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

} // namespace

BrushRecord::~BrushRecord()
{
    FreeImageBuffer(icon);
    FreePlane8(stamp);
}

int BrushMaxSize(int width, int height)
{
    return std::max(std::min(width, height) / 8, std::max(width, height) / 20);
}

int BuildBrushStamp(BrushRecord& brush)
{
    const int s = std::max(1, brush.size);
    const int k = std::clamp(brush.softness, 0, 100);
    const double d = (k / 80.0 + 1) * s;
    const int n = int(d + 1);
    const double c = d / 2, r = s / 2.0;
    const double sigma = double(s * k) / 400.0;
    Plane8 disc, stamp;
    if (!AllocPlane8(disc, n, n) || !AllocPlane8(stamp, n, n)) {
        FreePlane8(disc);
        FreePlane8(stamp);
        return 0;
    }
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const double e = std::sqrt((x - c) * (x - c) + (y - c) * (y - c));
            uint8_t v = 255;
            if (e > r + 0.5)
                v = 0;
            else if (e > r - 0.5)
                v = uint8_t(std::clamp(255 - int((e - r + 0.5) * 255), 0, 255));
            disc.data[size_t(y) * n + x] = v;
        }
    // No blur at sigma 0 (softness 0, or a size so small the product is 0).
    bool blurred = false;
    if (k > 0 && sigma > 0) {
        CGaussBlur blur;
        blurred = blur.BlurPlane8(sigma, disc, stamp) != 0;
    }
    if (!blurred)
        std::memcpy(stamp.data, disc.data, disc.byteSize);
    for (uint32_t i = 0; i < stamp.byteSize; ++i) {
        const int v = stamp.data[i];
        if (v < 128)
            stamp.data[i] = uint8_t(((128 - (128 - v) * (128 - v) / 128) * v) / 128);
    }
    FreePlane8(disc);
    FreePlane8(brush.stamp);
    brush.stamp = stamp;
    return 1;
}

int RenderBrushIcon(BrushRecord& brush, int side)
{
    if (!brush.stamp.data)
        BuildBrushStamp(brush);
    ImageBuffer8 icon;
    if (!brush.stamp.data) {
        if (!AllocImage8(icon, 1, 1))
            return 0;
        std::memset(icon.data, 0, icon.byteSize);
    } else {
        const int n = brush.stamp.width;
        ImageBuffer8 full;
        if (!AllocImage8(full, n, n))
            return 0;
        for (int i = 0; i < n * n; ++i) {
            const int v = brush.stamp.data[i];
            uint8_t* p = full.data + size_t(i) * 4;
            p[0] = p[1] = p[2] = 240;
            p[3] = uint8_t(std::clamp((brush.opacity + 10) * int(std::sqrt(v / 255.0) * 255) / 110, 0, 255));
        }
        if (n < side) {
            if (!AllocImage8(icon, side, side)) {
                FreeImageBuffer(full);
                return 0;
            }
            std::memset(icon.data, 0, icon.byteSize);
            const int o = (side - n) / 2;
            for (int y = 0; y < n; ++y)
                std::memcpy(icon.data + (size_t(y + o) * side + o) * 4, full.data + size_t(y) * n * 4, size_t(n) * 4);
        } else {
            if (!ResizeImage8(full, icon, side, side, 2)) {
                FreeImageBuffer(full);
                return 0;
            }
            char16_t text[16];
            const std::string digits = std::to_string(brush.size);
            int i = 0;
            for (char ch : digits)
                text[i++] = char16_t(ch);
            text[i] = 0;
            ImageBuffer8 label;
            if (RenderTextLocked(text, label, nullptr, 10, side, nullptr))
                FillThroughMask8(icon, label, 0, 0, 0xC0C0C0);
            FreeImageBuffer(label);
        }
        FreeImageBuffer(full);
    }
    FreeImageBuffer(brush.icon);
    brush.icon = icon;
    return 1;
}

// ---------------------------------------------------------------------------------------------

CPaintTool::~CPaintTool()
{
    FreeImageBuffer(cursorImage);
    FreeImageBuffer(backup);
    FreePlane8(strokeMask);
}

int CPaintTool::Init(int32_t id, ImageBuffer8* iconImage, const char16_t* tooltipText)
{
    if (!CTool::Init(id, iconImage, tooltipText))
        return 0;
    if (!panel.Listed() && !panel.Create(nullptr, nullptr, 30000 + id, 5, 0, 0, 250, 40))
        return 0;
    panel.m_background = 0;
    if (!RenderBrushIcon(brush, 35))
        return 0;
    if (!panel.FindItem(kBrushItem) &&
        !panel.AddItem(kBrushItem, 1, UiText(u"setbrushshort"), UiText(u"setbrush"), &brush.icon, 0, 2, 120, 38))
        return 0;
    optionPanel = &panel;
    return 1;
}

CZDDoc* CPaintTool::Doc() const
{
    return view ? view->Document() : nullptr;
}

CZDLayer* CPaintTool::PictureLayer() const
{
    CZDDoc* doc = Doc();
    if (!doc || !picture)
        return nullptr;
    const int index = doc->FindLayerByImage(picture);
    return index >= 0 ? doc->GetLayer(index) : nullptr;
}

void CPaintTool::LoadSettings(int maxSize)
{
    brush.size = 6;
    brush.opacity = 100;
    brush.softness = 40;
    if (!settingsName[0])
        return;
    char16_t name[64];
    ValueName(name, 64, u"PaintSize_", settingsName);
    const uint32_t size = ReadRegistryDword(kPaintSection, name, 8, 1);
    ValueName(name, 64, u"PaintOpacity_", settingsName);
    const uint32_t opacity = ReadRegistryDword(kPaintSection, name, 100, 1);
    ValueName(name, 64, u"PaintSoft_", settingsName);
    const uint32_t soft = ReadRegistryDword(kPaintSection, name, 50, 1);
    // Stored values come from outside: kept inside what the stamp can be built from.
    const int top = std::max(1, std::min(maxSize, 512));
    brush.size = int(std::clamp<uint32_t>(size, 1, uint32_t(top)));
    brush.opacity = int(std::clamp<uint32_t>(opacity, 1, 100));
    brush.softness = int(std::min<uint32_t>(soft, 100));
}

void CPaintTool::SaveSettings() const
{
    if (!settingsName[0])
        return;
    char16_t name[64];
    ValueName(name, 64, u"PaintSize_", settingsName);
    WriteRegistryDword(kPaintSection, name, uint32_t(brush.size));
    ValueName(name, 64, u"PaintOpacity_", settingsName);
    WriteRegistryDword(kPaintSection, name, uint32_t(brush.opacity));
    ValueName(name, 64, u"PaintSoft_", settingsName);
    WriteRegistryDword(kPaintSection, name, uint32_t(brush.softness));
}

int CPaintTool::Activate()
{
    CZDDoc* doc = Doc();
    if (!doc)
        return 0;
    CZDLayer* layer = doc->GetCurrentLayer();
    if (layer && !layer->visible) {
        EditorAsk(UiText(u"paintinvisible"), kMbError, kMbOk);
        return 0;
    }
    LoadSettings(BrushMaxSize(doc->width, doc->height));
    BuildBrushStamp(brush);
    if (RenderBrushIcon(brush, 35))
        panel.SetItemIcon(kBrushItem, &brush.icon);
    BuildCursorImage(false);
    picture = layer ? &layer->pixels : nullptr;
    if (!AllocPlane8(strokeMask, doc->width, doc->height))
        return 0;
    std::memset(strokeMask.data, 0, strokeMask.byteSize);
    HistoryStore* history = view->History();
    historyIndex = history ? history->current : -1;
    layerIndex = doc->current;
    painted = 0;
    painting = 0;
    pointerX = -1;
    pointerY = -1;
    return 1;
}

void CPaintTool::Deactivate()
{
    if (painting) {
        painting = 0;
        EndStroke();
    }
    FreeImageBuffer(backup);
    SaveSettings();
    CZDDoc* doc = Doc();
    HistoryStore* history = view ? view->History() : nullptr;
    if (painted && doc && history && picture && doc->FindLayerByImage(picture) >= 0 && CopyImage16(backup, *picture)) {
        // The strokes since the activation become one step.
        history->GoToStep(historyIndex, StepReplay::Force);
        if (CZDLayer* layer = doc->GetLayer(layerIndex)) {
            {
                std::lock_guard guard(layer->lock);
                CopyImage16(layer->pixels, backup);
            }
            RecordToolStep();
        }
        doc->modified = 1;
    }
    painted = 0;
    FreeImageBuffer(backup);
    FreePlane8(strokeMask);
    picture = nullptr;
    pointerX = -1;
    if (capture)
        EndCapture();
}

void CPaintTool::BuildCursorImage(bool locked)
{
    if (!brush.stamp.data)
        return;
    const int n = brush.stamp.width;
    ImageBuffer8 full, scaled;
    if (!AllocImage8(full, n, n))
        return;
    for (int i = 0; i < n * n; ++i) {
        uint8_t* p = full.data + size_t(i) * 4;
        p[0] = p[1] = p[2] = 255;
        p[3] = brush.stamp.data[i];
    }
    const double zoom = view ? view->Zoom() : 1.0;
    ImageBuffer8 result = full;
    if (zoom != 1.0) {
        const int side = std::max(1, int(n * zoom));
        if (!ResizeImage8(full, scaled, side, side, 2)) {
            FreeImageBuffer(full);
            return;
        }
        FreeImageBuffer(full);
        result = scaled;
    }
    auto swap = [&] {
        FreeImageBuffer(cursorImage);
        cursorImage = result;
        cursorZoom = zoom;
    };
    if (!locked && view) {
        platform::ScopedLock lock(view->Lock());
        swap();
    } else {
        swap();
    }
}

void CPaintTool::DrawOverlay(ImageBuffer8& overlay, uint32_t)
{
    if (view && view->Zoom() != cursorZoom)
        BuildCursorImage(true);
    const int px = pointerX.load(), py = pointerY.load();
    if (!cursorImage.data || px < 0 || !overlay.data)
        return;
    const int w = cursorImage.width, h = cursorImage.height;
    const int left = px - int(unsigned(w) / 2), top = py - int(unsigned(h) / 2);
    const int scale = painting ? 32 : 64;
    for (int y = 0; y < h; ++y) {
        const int oy = top + y;
        if (oy < 0 || oy >= overlay.height)
            continue;
        for (int x = 0; x < w; ++x) {
            const int ox = left + x;
            if (ox < 0 || ox >= overlay.width)
                continue;
            uint8_t* o = overlay.data + (size_t(oy) * overlay.width + ox) * 4;
            o[0] = o[1] = o[2] = 255;
            o[3] = uint8_t(scale * cursorImage.data[(size_t(y) * w + x) * 4 + 3] / 256);
        }
    }
}

void CPaintTool::Redraw()
{
    if (view) {
        view->InvalidateOverlay();
        view->SetAllDirty(1);
    }
}

int CPaintTool::OnMouseMove(int pressed, int lastX, int lastY, int x, int y)
{
    if (!pressed && lastX == x && lastY == y)
        return 0;
    CZDDoc* doc = Doc();
    if (!doc || !view)
        return 0;
    const SPoint p = ViewToImage(x, y);
    const SPoint q = ViewToImage(lastX, lastY);
    const bool inDoc = p.x >= 0 && p.y >= 0 && p.x < doc->width && p.y < doc->height;
    const SRect area = view->CanvasArea();
    bool counts = false;
    if (inDoc && y >= 0 && y < area.Height()) {
        if (view->Window())
            view->Window()->SetCursor(platform::StandardCursor::Cross);
        if (pointerX.load() < 0 && !capture)
            BeginCapture();
        counts = q.x >= 0 && q.y >= 0 && q.x < doc->width && q.y < doc->height;
        pointerX = x;
        pointerY = y;
        Redraw();
    } else {
        pointerX = x;
        pointerY = y;
    }
    if (painting && counts) {
        if (pressed) {
            StrokeSegment(q.x, q.y, p.x, p.y);
        } else {
            painting = 0;
            EndStroke();
        }
    }
    return 1;
}

int CPaintTool::OnButtonDown(int isLeft, int x, int y, uint32_t)
{
    if (isLeft && !painting && BeginStroke()) {
        const SPoint p = ViewToImage(x, y);
        StrokeSegment(p.x, p.y, p.x, p.y);
    }
    return 1;
}

int CPaintTool::OnButtonUp(int, int, int, uint32_t)
{
    if (painting) {
        painting = 0;
        EndStroke();
    }
    return 1;
}

void CPaintTool::OnCaptureLost()
{
    capture = 0;
    if (painting) {
        painting = 0;
        EndStroke();
    }
    pointerX = -1;
    pointerY = -1;
    Redraw();
}

int CPaintTool::OnKey(uint32_t code, int isVirtualKey)
{
    // Characters only: Insert has the code of '-'.
    if (isVirtualKey)
        return 0;
    if (code == '+' || code == '=' || code == 'A' || code == 'a')
        AdjustSize(1);
    else if (code == '-' || code == 'Z' || code == 'z')
        AdjustSize(-1);
    return 0;
}

void CPaintTool::OnPanelMessage(SpriteMessage* m)
{
    if (m && m->code == MSG_PANEL_CLICK && m->param1 == kBrushItem)
        ShowBrushDialog();
}

void CPaintTool::AdjustSize(int direction)
{
    CZDDoc* doc = Doc();
    const int maxSize = doc ? BrushMaxSize(doc->width, doc->height) : 512;
    if (direction > 0)
        brush.size = std::max(1, std::min(std::min(maxSize, 512), (4 * brush.size + 2) / 3));
    else
        brush.size = std::max(1, 2 * brush.size / 3);
    BuildBrushStamp(brush);
    if (RenderBrushIcon(brush, 35))
        panel.SetItemIcon(kBrushItem, &brush.icon);
    BuildCursorImage(false);
    Redraw();
}

void CPaintTool::ShowBrushDialog()
{
    CZDDoc* doc = Doc();
    const int maxSize = doc ? BrushMaxSize(doc->width, doc->height) : 512;
    const SPoint at = panel.LocalToWindowPoint({38, 38});
    if (!RunBrushDialog(brush, std::max(1, maxSize), at.x, at.y))
        return;
    if (RenderBrushIcon(brush, 35))
        panel.SetItemIcon(kBrushItem, &brush.icon);
    BuildCursorImage(false);
}

int CPaintTool::BeginStroke()
{
    if (!PictureLayer()) {
        // The layer went away meanwhile: the tool leaves the canvas.
        if (view && view->hooks.endTool)
            view->hooks.endTool();
        else if (view)
            view->SetTool(nullptr);
        return 0;
    }
    if (!strokeMask.data || !CopyImage16(backup, *picture))
        return 0;
    painting = 1;
    std::memset(strokeMask.data, 0, strokeMask.byteSize);
    segmentRect = {0, 0, -1, -1};
    strokeRect = {0, 0, -1, -1};
    return 1;
}

void CPaintTool::StrokeSegment(int x0, int y0, int x1, int y1)
{
    const Plane8& stamp = brush.stamp;
    if (!stamp.data || !strokeMask.data)
        return;
    const int n = stamp.width, m = stamp.height, o = brush.opacity;
    const int mw = strokeMask.width, mh = strokeMask.height;
    if (n < kStampDabLimit) {
        const int h = n / 2, q = n - h;
        segmentRect = {std::max(0, std::min(x0, x1) - h), std::max(0, std::min(y0, y1) - h),
                       std::min(mw, std::max(x0, x1) + q + 1), std::min(mh, std::max(y0, y1) + q + 1)};
        strokeRect = Union(strokeRect, segmentRect);
        uint8_t profile[kStampDabLimit + 2] = {};
        const uint8_t* middle = stamp.data + size_t(m / 2) * n;
        for (int i = 0; i < q && h + i < n; ++i)
            profile[i] = middle[h + i];
        const double L2 = double(x1 - x0) * (x1 - x0) + double(y1 - y0) * (y1 - y0);
        const double L = std::sqrt(L2);
        for (int y = segmentRect.top; y < segmentRect.bottom; ++y) {
            uint8_t* row = strokeMask.data + size_t(y) * mw;
            for (int x = segmentRect.left; x < segmentRect.right; ++x) {
                if (row[x] == 255)
                    continue;
                const double A = double(x - x0) * (x - x0) + double(y - y0) * (y - y0);
                const double B = double(x - x1) * (x - x1) + double(y - y1) * (y - y1);
                const double C = L2 + A - B;
                double d2;
                if (C > 0 && L2 + B - A > 0) {
                    const double t = C / (2 * L);
                    d2 = std::max(0.0, A - t * t);
                } else if (C <= 0) {
                    // Level with the start point (C = 0) the start is the nearest end.
                    d2 = A;
                } else {
                    d2 = B;
                }
                const double D = std::sqrt(d2);
                const int i = std::max(0, int(D));
                if (i > q + 1)
                    continue;
                const double f = D - i;
                const int value = int(profile[i] * (1 - f) + profile[i + 1] * f + 0.5) * o / 100;
                if (value > row[x])
                    row[x] = uint8_t(value);
            }
        }
    } else {
        const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        if (segmentRect.IsEmpty())
            segmentRect = {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1, std::max(y0, y1) + 1};
        painted = 1;
        for (int i = 0; i <= steps; ++i) {
            const int cx = steps ? x0 + (x1 - x0) * i / steps : x0;
            const int cy = steps ? y0 + (y1 - y0) * i / steps : y0;
            if (!Inside(strokeMask, cx, cy))
                continue;
            const int left = cx - n / 2, top = cy - m / 2;
            // The stamp clipped to the mask.
            const int sx0 = std::max(0, -left), sy0 = std::max(0, -top);
            const int sx1 = std::min(n, mw - left), sy1 = std::min(m, mh - top);
            if (sx0 >= sx1 || sy0 >= sy1)
                continue;
            for (int sy = sy0; sy < sy1; ++sy) {
                uint8_t* row = strokeMask.data + size_t(top + sy) * mw + left;
                const uint8_t* srow = stamp.data + size_t(sy) * n;
                for (int sx = sx0; sx < sx1; ++sx) {
                    if (row[sx] == 255)
                        continue;
                    const int v = srow[sx] * o / 100;
                    if (v > row[sx])
                        row[sx] = uint8_t(v);
                }
            }
            const ZDRect dab{left + sx0, top + sy0, left + sx1, top + sy1};
            segmentRect = Union(segmentRect, dab);
            strokeRect = Union(strokeRect, dab);
        }
    }
    ApplyStroke();
}

ZDRect CPaintTool::GrownSegment() const
{
    const int half = brush.stamp.width / 2;
    ZDRect r = segmentRect;
    if (r.IsEmpty())
        return {0, 0, 0, 0};
    r.left = std::max(0, r.left - half);
    r.top = std::max(0, r.top - half);
    r.right = std::min(strokeMask.width, r.right + half);
    r.bottom = std::min(strokeMask.height, r.bottom + half);
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

void CPaintTool::RestoreFromBackup()
{
    CZDLayer* layer = PictureLayer();
    if (!layer || !backup.data)
        return;
    std::lock_guard guard(layer->lock);
    CopyImage16(layer->pixels, backup);
}

void CPaintTool::RecordStrokeStep(const char16_t* nameKey, bool skipEmpty, bool backupIsBefore)
{
    CZDDoc* doc = Doc();
    HistoryStore* history = view ? view->History() : nullptr;
    if (!doc || !history)
        return;
    const CZDLayer* layer = doc->GetCurrentLayer();
    if (!layer)
        return;
    const ZDRect r = ClipRectToLayer(*layer, strokeRect.IsEmpty() ? ZDRect{0, 0, 0, 0} : strokeRect);
    if (skipEmpty && (r.right <= r.left || r.bottom <= r.top))
        return;
    const int32_t payload[4] = {r.left, r.top, r.right, r.bottom};
    history->AddStep(kHistoryRectangle, -1, UiText(nameKey), false, uint16_t(toolId), payload, sizeof payload,
                     backupIsBefore && backup.data ? &backup : nullptr);
}

void CPaintTool::RecordLayerStep(const char16_t* nameKey)
{
    HistoryStore* history = view ? view->History() : nullptr;
    if (history)
        history->AddStep(kHistoryLayer, layerIndex, UiText(nameKey), false, 0, nullptr, 0);
}
