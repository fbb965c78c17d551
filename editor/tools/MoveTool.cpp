#include "editor/tools/MoveTool.h"

#include "editor/EditView.h"
#include "editor/EditorHost.h"
#include "imaging/HistoryStore.h"
#include "ui/MessageBox.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>

namespace {

// Layer offsets are stored in 16 bits by the history and the project file.
bool FitsOffset(const CZDLayer& layer)
{
    return layer.x >= INT16_MIN && layer.x <= INT16_MAX && layer.y >= INT16_MIN && layer.y <= INT16_MAX;
}

int IndexOf(const CZDDoc& doc, const CZDLayer* layer)
{
    for (int i = 0; i < doc.LayerCount(); ++i)
        if (doc.layers[size_t(i)].get() == layer)
            return i;
    return -1;
}

} // namespace

void ShiftPlane8(const Plane8& source, Plane8& destination, int dx, int dy)
{
    if (!destination.data)
        return;
    std::memset(destination.data, 0, destination.byteSize);
    if (!source.data)
        return;
    // Destination rows and columns whose source lies inside the source plane.
    const int64_t x0 = std::max<int64_t>(0, dx), y0 = std::max<int64_t>(0, dy);
    const int64_t x1 = std::min<int64_t>(destination.width, int64_t(source.width) + dx);
    const int64_t y1 = std::min<int64_t>(destination.height, int64_t(source.height) + dy);
    for (int64_t y = y0; y < y1 && x0 < x1; ++y)
        std::memcpy(destination.data + size_t(y) * destination.width + x0,
                    source.data + size_t(y - dy) * source.width + (x0 - dx), size_t(x1 - x0));
}

CMoveTool::~CMoveTool()
{
    FreePlane8(selectionCopy);
    FreeImageBuffer(m_sourcePixels);
}

CZDLayer* CMoveTool::MovedLayer() const
{
    return document && movedLayer && IndexOf(*document, movedLayer) >= 0 ? movedLayer : nullptr;
}

int CMoveTool::Activate()
{
    document = view ? view->Document() : nullptr;
    selectionOffset = {0, 0};
    dragging = 0;
    movedLayer = nullptr;
    m_source = nullptr;
    FreeImageBuffer(m_sourcePixels);
    FreePlane8(selectionCopy);
    moveMode = document ? DetermineMoveMode() : kMoveNothing;
    if (moveMode == kMoveNothing) {
        EditorAsk(UiText(u"toolMoveNothing"), kMbInformation, kMbOk);
        return 0;
    }
    if (CZDLayer* layer = MovedLayer())
        layerAtStart = {layer->x, layer->y};
    if (view)
        view->RenderView();
    return 1;
}

int CMoveTool::DetermineMoveMode()
{
    CZDLayer* layer = document->GetCurrentLayer();
    if (!layer)
        return kMoveNothing;
    if (!document->selection.data) {
        if (layer->placement == 0)
            return kMoveNothing;
        movedLayer = layer;
        return kMoveLayer;
    }
    {
        std::lock_guard guard(document->lock);
        if (!CopyPlane8(selectionCopy, document->selection))
            return kMoveNothing;
    }
    if (layer->placement == 0)
        return kMoveSelection;
    if (LiftSelection())
        return kMoveLifted;
    selectionOffset = {0, 0};
    return kMoveSelection;
}

int CMoveTool::LiftSelection()
{
    CZDLayer* layer = document ? document->GetCurrentLayer() : nullptr;
    const Plane8& sel = document ? document->selection : selectionCopy;
    if (!layer || layer->placement == 0 || !sel.data || !layer->pixels.data)
        return 0;
    const ImageBuffer16& px = layer->pixels;
    // The document pixels inside the layer that are selected and not fully transparent.
    const int cx0 = std::max(0, layer->x), cy0 = std::max(0, layer->y);
    const int cx1 = int(std::min<int64_t>({sel.width, int64_t(layer->x) + px.width}));
    const int cy1 = int(std::min<int64_t>({sel.height, int64_t(layer->y) + px.height}));
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    for (int y = cy0; y < cy1; ++y) {
        const uint8_t* s = sel.data + size_t(y) * sel.width;
        const uint16_t* row = px.data + size_t(y - layer->y) * px.width * 4;
        for (int x = cx0; x < cx1; ++x)
            if (s[x] && row[size_t(x - layer->x) * 4 + 3]) {
                left = std::min(left, x);
                right = std::max(right, x + 1);
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
            }
    }
    if (left >= right || top >= bottom)
        return 0;
    ImageBuffer16 lifted, source, original;
    if (!AllocImage16(lifted, right - left, bottom - top) || !CopyImage16(source, px) ||
        !CopyImage16(original, px)) {
        FreeImageBuffer(lifted);
        FreeImageBuffer(source);
        FreeImageBuffer(original);
        return 0;
    }
    std::memset(lifted.data, 0, lifted.byteSize);
    for (int y = top; y < bottom; ++y) {
        const uint8_t* s = sel.data + size_t(y) * sel.width;
        for (int x = left; x < right; ++x) {
            if (!s[x])
                continue;
            uint16_t* src = source.data + (size_t(y - layer->y) * px.width + size_t(x - layer->x)) * 4;
            const uint32_t a = src[3];
            const uint32_t f = s[x] * a / 255;
            if (f == 0)
                continue;
            uint16_t* out = lifted.data + (size_t(y - top) * lifted.width + size_t(x - left)) * 4;
            out[0] = src[0];
            out[1] = src[1];
            out[2] = src[2];
            out[3] = uint16_t(f);
            src[3] = uint16_t(f < a ? a - f : 0);
        }
    }
    const int sourceIndex = document->current;
    const int added = document->AddLayer(lifted, u"Temp", sourceIndex + 1);
    FreeImageBuffer(lifted);
    if (!added) {
        FreeImageBuffer(source);
        FreeImageBuffer(original);
        return 0;
    }
    {
        std::lock_guard guard(layer->lock);
        CopyImage16(layer->pixels, source);
    }
    FreeImageBuffer(source);
    m_source = layer;
    m_sourcePixels = original;
    sourceOffset = {layer->x, layer->y};
    liftTopLeft = {left, top};
    movedLayer = document->GetLayer(sourceIndex + 1);
    movedLayer->x = left;
    movedLayer->y = top;
    layerAtPress = liftTopLeft;
    document->modified = 1;
    return 1;
}

void CMoveTool::SetSelectionShift(SPoint offset)
{
    selectionOffset = offset;
    if (!document || !selectionCopy.data)
        return;
    {
        std::lock_guard guard(document->lock);
        Plane8& sel = document->selection;
        // The selection is the document's size; a history move may have dropped or resized it.
        if (sel.data && sel.width == selectionCopy.width && sel.height == selectionCopy.height)
            ShiftPlane8(selectionCopy, sel, offset.x, offset.y);
    }
    document->modified = 1;
}

void CMoveTool::MoveSelection(SPoint p)
{
    SetSelectionShift({selectionAtPress.x + p.x - pressPoint.x, selectionAtPress.y + p.y - pressPoint.y});
}

void CMoveTool::MoveLayer(SPoint p)
{
    CZDLayer* layer = MovedLayer();
    if (!layer)
        return;
    layer->x = layerAtPress.x + p.x - pressPoint.x;
    layer->y = layerAtPress.y + p.y - pressPoint.y;
    document->modified = 1;
}

void CMoveTool::MoveLifted(SPoint p)
{
    MoveLayer(p);
    MoveSelection(p);
}

int CMoveTool::OnButtonDown(int isLeft, int x, int y, uint32_t)
{
    if (!isLeft || dragging)
        return 1;
    dragging = 1;
    BeginCapture();
    pressPoint = ViewToImage(x, y);
    if (moveMode == kMoveSelection || moveMode == kMoveLifted)
        selectionAtPress = selectionOffset;
    if (CZDLayer* layer = MovedLayer(); layer && (moveMode == kMoveLayer || moveMode == kMoveLifted))
        layerAtPress = {layer->x, layer->y};
    return 1;
}

int CMoveTool::OnMouseMove(int leftPressed, int, int, int x, int y)
{
    if (!dragging || !leftPressed)
        return 1;
    const SPoint p = ViewToImage(x, y);
    if (moveMode == kMoveSelection)
        MoveSelection(p);
    else if (moveMode == kMoveLayer)
        MoveLayer(p);
    else if (moveMode == kMoveLifted)
        MoveLifted(p);
    if (view)
        view->RenderView();
    return 1;
}

int CMoveTool::OnButtonUp(int isLeft, int, int, uint32_t)
{
    if (isLeft && dragging) {
        EndCapture();
        dragging = 0;
    }
    return 1;
}

void CMoveTool::OnCaptureLost()
{
    capture = 0;
    dragging = 0;
}

int CMoveTool::OnKey(uint32_t code, int isVirtualKey)
{
    return isVirtualKey && OnNudgeKey(code) == 0 ? 1 : 0;
}

int CMoveTool::OnNudgeKey(uint32_t key)
{
    switch (key) {
    case 37: Nudge(-1, 0); return 0;
    case 38: Nudge(0, -1); return 0;
    case 39: Nudge(1, 0); return 0;
    case 40: Nudge(0, 1); return 0;
    default: return 1;
    }
}

void CMoveTool::Nudge(int dx, int dy)
{
    if (dragging)
        return;
    const double zoom = view && view->Zoom() > 0 ? view->Zoom() : 1.0;
    const int step = std::max(1, int(1.0 / zoom));
    const SPoint to{200 + dx * step, 200 + dy * step};
    if (moveMode == kMoveLayer) {
        if (CZDLayer* layer = MovedLayer()) {
            layer->x += dx * step;
            layer->y += dy * step;
            document->modified = 1;
        }
    } else if (moveMode == kMoveSelection || moveMode == kMoveLifted) {
        pressPoint = {200, 200};
        selectionAtPress = selectionOffset;
        if (CZDLayer* layer = MovedLayer())
            layerAtPress = {layer->x, layer->y};
        if (moveMode == kMoveSelection)
            MoveSelection(to);
        else
            MoveLifted(to);
    }
    if (view)
        view->RenderView();
}

void CMoveTool::Deactivate()
{
    if (dragging) {
        dragging = 0;
        if (capture)
            EndCapture();
    }
    HistoryStore* history = view ? view->History() : nullptr;
    CZDLayer* moved = MovedLayer();
    // A layer beyond the 16-bit offsets could not be recorded: it goes back where it was.
    if (moved && !FitsOffset(*moved)) {
        moved->x = layerAtStart.x;
        moved->y = layerAtStart.y;
        if (moveMode == kMoveLifted)
            SetSelectionShift({0, 0});
        document->modified = 1;
        EditorAsk(UiText(u"unexpect"), kMbError, kMbOk);
    }
    const bool movedAway = moved && (moved->x != layerAtStart.x || moved->y != layerAtStart.y);
    if (moveMode == kMoveLifted && moved) {
        const int index = IndexOf(*document, moved);
        const int sourceIndex = IndexOf(*document, m_source);
        if (!movedAway && sourceIndex >= 0 && sourceIndex == index - 1) {
            // Nothing moved: the lift is taken back exactly, with no step.
            {
                std::lock_guard guard(m_source->lock);
                std::swap(m_source->pixels, m_sourcePixels);
            }
            document->DeleteLayer(index);
            document->SetCurrentLayer(sourceIndex);
        } else if (index > 0) {
            if (document->MergeDown(index)) {
                movedLayer = document->GetLayer(index - 1);
                document->SetCurrentLayer(index - 1);
                if (history)
                    history->AddStep(kHistoryLayer, index - 1, UiText(u"hisMove"), false, 0, nullptr, 0);
            } else if (history) {
                // The layers are as the failed merge left them: record them all.
                history->AddStep(kHistoryDocument, -1, UiText(u"hisMove"), false, 0, nullptr, 0);
            }
        }
        document->modified = 1;
    } else if (moveMode == kMoveLayer && moved && history) {
        history->AddStep(kHistoryAttributes, -1, UiText(u"hisMove"), false, 0, nullptr, 0);
    }
    FreeImageBuffer(m_sourcePixels);
    FreePlane8(selectionCopy);
    m_source = nullptr;
    movedLayer = nullptr;
    moveMode = kMoveNothing;
    if (view)
        view->RenderView();
}
