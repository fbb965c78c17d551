// The tool base: initialisation, the mapping through the canvas, the mouse capture, and the
// operations several tools share.
#include "editor/Tool.h"

#include "editor/EditView.h"
#include "ui/RenderWindow.h"

#include <algorithm>
#include <cstring>

int CTool::Init(int32_t id, ImageBuffer8* iconImage, const char16_t* tooltipText)
{
    if (!iconImage || !iconImage->data)
        return 0;
    toolId = id;
    icon = iconImage;
    CopyTextBounded(tooltip, kTooltipCapacity, tooltipText ? tooltipText : u"");
    return 1;
}

SPoint CTool::ViewToImage(int x, int y) const
{
    if (!view)
        return {0, 0};
    const CSEditView::Mapping m = view->GetMapping();
    return {int((x + m.area.left - m.picture.left) / m.zoom + 0.5) + m.visible.left,
            int((y + m.area.top - m.picture.top) / m.zoom + 0.5) + m.visible.top};
}

SPoint CTool::ImageToView(int x, int y) const
{
    if (!view)
        return {0, 0};
    const CSEditView::Mapping m = view->GetMapping();
    return {int((x - m.visible.left) * m.zoom + 0.5) + m.picture.left - m.area.left,
            int((y - m.visible.top) * m.zoom + 0.5) + m.picture.top - m.area.top};
}

void CTool::BeginCapture()
{
    capture = 1;
    if (view && view->Window())
        view->Window()->SetCapture(view);
}

void CTool::EndCapture()
{
    capture = 0;
    if (view && view->Window())
        view->Window()->ReleaseCapture(view);
}

int CropPlaneToLayer(const CZDLayer& layer, Plane8& destination, const Plane8& documentPlane)
{
    const ImageBuffer16& p = layer.pixels;
    if (p.width <= 0 || p.height <= 0 || !AllocPlane8(destination, p.width, p.height))
        return 0;
    std::memset(destination.data, 0, destination.byteSize);
    if (!documentPlane.data)
        return 1;
    // The layer's columns that fall on the plane, as one run per row.
    const int64_t x0 = std::max<int64_t>(0, -int64_t(layer.x));
    const int64_t x1 = std::min<int64_t>(p.width, int64_t(documentPlane.width) - layer.x);
    for (int y = 0; y < p.height && x0 < x1; ++y) {
        const int64_t sy = int64_t(y) + layer.y;
        if (sy < 0 || sy >= documentPlane.height)
            continue;
        std::memcpy(destination.data + size_t(y) * size_t(p.width) + size_t(x0),
                    documentPlane.data + size_t(sy) * size_t(documentPlane.width) + size_t(x0 + layer.x),
                    size_t(x1 - x0));
    }
    return 1;
}

ZDRect ClipRectToLayer(const CZDLayer& layer, const ZDRect& r)
{
    const int32_t w = layer.pixels.width, h = layer.pixels.height;
    ZDRect out;
    out.left = std::max(0, r.left - layer.x);
    out.top = std::max(0, r.top - layer.y);
    out.right = std::max(out.left, std::min(w, r.right - layer.x));
    out.bottom = std::max(out.top, std::min(h, r.bottom - layer.y));
    return out;
}
