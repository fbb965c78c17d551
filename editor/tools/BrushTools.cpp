#include "editor/tools/BrushTools.h"

#include "algorithms/Inpainting.h"
#include "algorithms/RedEye.h"
#include "dialogs/ProgressDialog.h"
#include "editor/EditView.h"
#include "editor/EditorHost.h"
#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "ui/ColorPicker.h"
#include "ui/MessageBox.h"
#include "ui/Registry.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>

namespace {

// The common pass of clone, free paint and repair: the grown segment, only pixels inside the
// current layer and its backup, mask bytes above 0.
template <class F>
void ForStrokePixels(CPaintTool& tool, CZDLayer& layer, const ZDRect& r, F f)
{
    const ImageBuffer16& b = tool.backup;
    ImageBuffer16& p = layer.pixels;
    if (!b.data || !p.data || b.width != p.width || b.height != p.height)
        return;
    const Plane8& mask = tool.strokeMask;
    std::lock_guard guard(layer.lock);
    for (int y = r.top; y < r.bottom; ++y) {
        const int ly = y - layer.y;
        if (ly < 0 || ly >= b.height)
            continue;
        const uint8_t* mrow = mask.data + size_t(y) * mask.width;
        for (int x = r.left; x < r.right; ++x) {
            const int m = mrow[x];
            const int lx = x - layer.x;
            if (m == 0 || lx < 0 || lx >= b.width)
                continue;
            const size_t i = (size_t(ly) * b.width + lx) * 4;
            f(m, lx, ly, b.data + i, p.data + i);
        }
    }
}

} // namespace

int RunBrushAlgorithm(CSEditView* view, CAlgorithm& algorithm, const void* params, const char16_t* caption,
                      ImageBuffer16& picture)
{
    if (view && view->dialogs.runAlgorithm)
        return view->dialogs.runAlgorithm(algorithm, params, caption, picture);
    return RunAlgorithmWithProgress(&algorithm, params, caption, &picture);
}

// ---- clone ----

CCameraTool::CCameraTool()
{
    CopyTextBounded(settingsName, 32, u"CameraTool");
}

int CCameraTool::Activate()
{
    if (!CPaintTool::Activate())
        return 0;
    offsetX = 0;
    offsetY = 0;
    anchorX = -1;
    anchorY = -1;
    return 1;
}

int CCameraTool::OnButtonDown(int isLeft, int x, int y, uint32_t flags)
{
    if (!isLeft) {
        offsetX = 0;
        offsetY = 0;
        anchorX = -1;
        anchorY = -1;
        Redraw();
        return 1;
    }
    if (offsetX == 0 && offsetY == 0) {
        const SPoint p = ViewToImage(x, y);
        if (anchorX < 0) {
            anchorX = p.x;
            anchorY = p.y;
            Redraw();
            return 1;
        }
        offsetX = anchorX - p.x;
        offsetY = anchorY - p.y;
    }
    return CPaintTool::OnButtonDown(isLeft, x, y, flags);
}

int CCameraTool::OnMouseMove(int pressed, int lastX, int lastY, int x, int y)
{
    pointerX = x;
    pointerY = y;
    return CPaintTool::OnMouseMove(pressed, lastX, lastY, x, y);
}

void CCameraTool::DrawOverlay(ImageBuffer8& overlay, uint32_t tick)
{
    const uint32_t colour = 0xE6E6E6;
    DrawPen pen;
    const int ox = offsetX, oy = offsetY;
    if (ox || oy) {
        CPaintTool::DrawOverlay(overlay, tick);
        if (pointerX < 0)
            return;
        const SPoint p = ViewToImage(pointerX, pointerY);
        const SPoint s = ImageToView(p.x + ox, p.y + oy);
        DrawEllipseLines8(overlay, pen, colour, s.x - 8, s.y - 8, s.x + 9, s.y + 9);
    } else if (anchorX >= 0) {
        const SPoint a = ImageToView(anchorX, anchorY);
        DrawEllipseLines8(overlay, pen, colour, a.x - 8, a.y - 8, a.x + 9, a.y + 9);
        if (pointerX >= 0) {
            MovePenTo8(pen, a.x, a.y);
            DrawLineTo8(overlay, pen, colour, 10, false, 255, pointerX, pointerY);
        }
    }
}

void CCameraTool::ApplyStroke()
{
    CZDLayer* layer = PictureLayer();
    if (!layer)
        return;
    const int dx = offsetX, dy = offsetY;
    const ImageBuffer16& b = backup;
    ForStrokePixels(*this, *layer, GrownSegment(), [&](int m, int lx, int ly, const uint16_t* bp, uint16_t* pp) {
        const int sx = lx + dx, sy = ly + dy;
        uint16_t zero[4] = {0, 0, 0, 0};
        const uint16_t* s = (sx >= 0 && sy >= 0 && sx < b.width && sy < b.height)
                                ? b.data + (size_t(sy) * b.width + sx) * 4
                                : zero;
        const int64_t D = int64_t(m) * s[3] / 65535;
        for (int c = 0; c < 3; ++c)
            pp[c] = uint16_t((s[c] * D + bp[c] * (255 - D)) / 255);
    });
    if (CZDDoc* doc = Doc())
        doc->modified = 1;
}

void CCameraTool::EndStroke()
{
    RecordStrokeStep(u"hisCamera", false, true);
}

void CCameraTool::RecordToolStep()
{
    RecordLayerStep(u"hisCamera");
}

// ---- free paint ----

CFreePaintTool::CFreePaintTool()
{
    CopyTextBounded(settingsName, 32, u"FreePaintTool");
}

int CFreePaintTool::Init(int32_t id, ImageBuffer8* iconImage, const char16_t* tooltipText)
{
    if (!CPaintTool::Init(id, iconImage, tooltipText))
        return 0;
    if (!panel.FindItem(kColourItem) &&
        !panel.AddItem(kColourItem, 1, nullptr, UiText(u"toolSetcolor"), nullptr, 120, 2, 155, 38))
        return 0;
    UpdateSwatch();
    return 1;
}

void CFreePaintTool::UpdateSwatch()
{
    ImageBuffer8 swatch;
    if (!AllocImage8(swatch, 24, 24))
        return;
    uint8_t px[4];
    ConvertPixel16To8(colour, px);
    for (uint32_t i = 0; i < swatch.pixelCount; ++i) {
        uint8_t* p = swatch.data + size_t(i) * 4;
        p[0] = px[0];
        p[1] = px[1];
        p[2] = px[2];
        p[3] = 255;
    }
    DrawPen pen;
    MovePenTo8(pen, 0, 0);
    for (const SPoint q : {SPoint{23, 0}, SPoint{23, 23}, SPoint{0, 23}, SPoint{0, 0}})
        DrawLineTo8(swatch, pen, 0xE6E6E6, 10, false, 255, q.x, q.y);
    panel.SetItemIcon(kColourItem, &swatch);
    FreeImageBuffer(swatch);
}

int CFreePaintTool::Activate()
{
    if (!CPaintTool::Activate())
        return 0;
    colour[2] = uint16_t(std::min<uint32_t>(ReadRegistryDword(u"FreePaintTool", u"R", 65535, 1), 65535));
    colour[1] = uint16_t(std::min<uint32_t>(ReadRegistryDword(u"FreePaintTool", u"G", 65535, 1), 65535));
    colour[0] = uint16_t(std::min<uint32_t>(ReadRegistryDword(u"FreePaintTool", u"B", 65535, 1), 65535));
    colour[3] = 65535;
    UpdateSwatch();
    return 1;
}

void CFreePaintTool::Deactivate()
{
    CPaintTool::Deactivate();
    WriteRegistryDword(u"FreePaintTool", u"R", colour[2]);
    WriteRegistryDword(u"FreePaintTool", u"G", colour[1]);
    WriteRegistryDword(u"FreePaintTool", u"B", colour[0]);
}

void CFreePaintTool::OnPanelMessage(SpriteMessage* m)
{
    if (m && m->code == MSG_PANEL_CLICK && m->param1 == kColourItem) {
        uint16_t c[4] = {colour[0], colour[1], colour[2], colour[3]};
        if ((pickColor ? pickColor : &PickColor)(c)) {
            std::memcpy(colour, c, sizeof c);
            UpdateSwatch();
        }
        return;
    }
    CPaintTool::OnPanelMessage(m);
}

void CFreePaintTool::ApplyStroke()
{
    CZDLayer* layer = PictureLayer();
    if (!layer)
        return;
    const uint16_t* c = colour;
    ForStrokePixels(*this, *layer, GrownSegment(), [&](int m, int, int, const uint16_t* bp, uint16_t* pp) {
        for (int k = 0; k < 3; ++k)
            pp[k] = uint16_t((bp[k] * (255 - m) + m * c[k]) / 255);
        // Full coverage is opaque: m x 65535 / 255 reaches 65535.
        pp[3] = uint16_t(std::max<int>(pp[3], m * 65535 / 255));
    });
    if (CZDDoc* doc = Doc())
        doc->modified = 1;
}

void CFreePaintTool::EndStroke()
{
    RecordStrokeStep(u"hisFreePaint", false, true);
}

void CFreePaintTool::RecordToolStep()
{
    RecordLayerStep(u"hisFreePaint");
}

// ---- red eye ----

CRedeyeTool::CRedeyeTool()
{
    CopyTextBounded(settingsName, 32, u"Redeye");
}

void CRedeyeTool::ApplyStroke()
{
    CZDLayer* layer = PictureLayer();
    if (!layer)
        return;
    // Only over the segment: the rest of the layer is unchanged by this segment.
    ForStrokePixels(*this, *layer, GrownSegment(), [&](int m, int, int, const uint16_t* bp, uint16_t* pp) {
        if (m <= 1)
            return;
        const int e = 255 - m / 2;
        pp[2] = uint16_t(bp[2] * e / 255);
        pp[1] = uint16_t((int64_t(bp[1]) * e + int64_t(m / 2) * 65535) / 255);
        pp[0] = uint16_t(bp[0] * e / 255);
    });
    if (CZDDoc* doc = Doc())
        doc->modified = 1;
}

void CRedeyeTool::EndStroke()
{
    CZDLayer* layer = PictureLayer();
    CZDDoc* doc = Doc();
    if (!layer || !doc)
        return;
    Plane8 layerMask;
    if (!CropPlaneToLayer(*layer, layerMask, strokeMask)) {
        RestoreFromBackup();
        return;
    }
    RestoreFromBackup();
    CRedEye redEye;
    RedEyeParams params;
    params.mask = &layerMask;
    const int ok = RunBrushAlgorithm(view, redEye, &params, UiText(u"hisRedeye"), layer->pixels);
    FreePlane8(layerMask);
    if (!ok) {
        RestoreFromBackup();
        doc->modified = 1;
        return;
    }
    doc->modified = 1;
    if (PictureLayer())
        RecordStrokeStep(u"hisTempPainting", true, true);
}

void CRedeyeTool::RecordToolStep()
{
    RecordLayerStep(u"hisRedeye");
}

// ---- repair ----

CRepairTool::CRepairTool()
{
    CopyTextBounded(settingsName, 32, u"Repair");
}

void CRepairTool::OnCaptureLost()
{
    // A stroke cut off by a lost capture is cancelled: the layer as before it, no step.
    if (painting)
        cancel = 1;
    CPaintTool::OnCaptureLost();
}

void CRepairTool::ApplyStroke()
{
    CZDLayer* layer = PictureLayer();
    if (!layer)
        return;
    ForStrokePixels(*this, *layer, GrownSegment(), [&](int m, int, int, const uint16_t* bp, uint16_t* pp) {
        pp[2] = uint16_t(bp[2] * (255 - m) / 255);
        pp[1] = uint16_t((int64_t(m) * 65535 + int64_t(bp[1]) * (255 - m)) / 255);
        pp[0] = uint16_t(bp[0] * (255 - m) / 255);
    });
    cancel = 0;
    if (CZDDoc* doc = Doc())
        doc->modified = 1;
}

void CRepairTool::EndStroke()
{
    CZDLayer* layer = PictureLayer();
    CZDDoc* doc = Doc();
    if (!layer || !doc)
        return;
    if (cancel) {
        cancel = 0;
        RestoreFromBackup();
        doc->modified = 1;
        return;
    }
    Plane8 layerMask;
    if (!CropPlaneToLayer(*layer, layerMask, strokeMask)) {
        RestoreFromBackup();
        doc->modified = 1;
        return;
    }
    CImageInpainting inpainting;
    InpaintingParams params;
    params.mask = &layerMask;
    params.patchSize = brush.size;
    params.largeArea = 0;
    params.unused = 1;
    params.feather = 0;
    const int ok = RunBrushAlgorithm(view, inpainting, &params, UiText(u"selinpaint"), backup);
    FreePlane8(layerMask);
    if (!ok) {
        EditorAsk(UiText(u"smarterasefaild"), kMbInformation, kMbOk);
        RestoreFromBackup();
        doc->modified = 1;
        return;
    }
    RestoreFromBackup();
    doc->modified = 1;
    // The inpainting ran in the backup: it no longer holds the layer before the stroke.
    if (PictureLayer())
        RecordStrokeStep(u"hisTempPainting", true, false);
}

void CRepairTool::RecordToolStep()
{
    RecordLayerStep(u"hismarterase");
}
