#include "editor/tools/SelectTools.h"

#include "editor/EditView.h"
#include "imaging/DocumentGeometry.h"
#include "imaging/Draw8.h"
#include "ui/RenderWindow.h"
#include "ui/UiResources.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

CZDDoc* CSelectTool::Doc() const
{
    return view ? view->Document() : nullptr;
}

bool CSelectTool::ShiftDown() const
{
    return view && view->Window() && view->Window()->PlatformWindow() &&
           view->Window()->PlatformWindow()->IsKeyDown(platform::vk::Shift);
}

bool CSelectTool::ControlDown() const
{
    return view && view->Window() && view->Window()->PlatformWindow() &&
           view->Window()->PlatformWindow()->IsKeyDown(platform::vk::Control);
}

template <class F>
void CSelectTool::EditPoints(F f)
{
    if (view) {
        platform::ScopedLock lock(view->Lock());
        f();
    } else {
        f();
    }
}

void CSelectTool::Redraw()
{
    if (view)
        view->InvalidateOverlay();
}

void CSelectTool::SetCursorNumber(int number)
{
    static std::map<int, platform::CustomCursor> cursors;
    static std::map<int, bool> loaded;
    if (!loaded.count(number))
        loaded[number] = LoadProgramCursor(number, 15, 15, cursors[number]) != 0;
    if (loaded[number] && view && view->Window() && view->Window()->PlatformWindow())
        view->Window()->PlatformWindow()->SetCursor(cursors[number]);
}

int CSelectTool::Activate()
{
    tracking = 0;
    mode = kSelectReplace;
    // An unfinished polygon continues only on the document it was begun on.
    if (Doc() != m_pointsDocument)
        EditPoints([&] { points.clear(); });
    m_pointsDocument = Doc();
    return 1;
}

void CSelectTool::SetSelectionMode(int32_t m)
{
    if (!tracking)
        mode = m;
}

void CSelectTool::UpdateCursor()
{
    SetCursorNumber(145 + mode);
}

void CSelectTool::ModeFromKeys(bool shift, bool control)
{
    if (shift && !control)
        SetSelectionMode(kSelectAdd);
    else if (!shift && control)
        SetSelectionMode(kSelectSubtract);
    else if (!shift && !control)
        SetSelectionMode(kSelectReplace);
}

int CSelectTool::OnModifierKey(uint32_t)
{
    ModeFromKeys(ShiftDown(), ControlDown());
    UpdateCursor();
    return 1;
}

int CSelectTool::OnMouseMove(int, int, int, int x, int y)
{
    if (view)
        view->AutoScroll(x + view->CanvasArea().left, y + view->CanvasArea().top);
    return 0;
}

void CSelectTool::OnCaptureLost()
{
    Commit();
}

int CSelectTool::BuildShapeMask(Plane8&)
{
    return 0;
}

void CSelectTool::StartShape(SPoint p)
{
    if (mode == kSelectReplace && view) {
        view->DropSelection();
        view->RenderView();
    }
    tracking = 1;
    BeginCapture();
    EditPoints([&] { points.push_back(p); });
    m_pointsDocument = Doc();
    lastPoint = p;
    Redraw();
}

void CSelectTool::Commit()
{
    CZDDoc* doc = Doc();
    Plane8 mask;
    if (doc && BuildShapeMask(mask) && mask.data) {
        bool any = false;
        for (uint32_t i = 0; i < mask.byteSize && !any; ++i)
            any = mask.data[i] != 0;
        if (any) {
            Plane8 old{};
            {
                std::lock_guard guard(doc->lock);
                if (mode == kSelectReplace) {
                    old = doc->selection;
                    doc->selection = mask;
                    mask = Plane8{};
                } else if (mode == kSelectAdd) {
                    if (!doc->selection.data || doc->selection.width != mask.width ||
                        doc->selection.height != mask.height) {
                        old = doc->selection;
                        doc->selection = mask;
                        mask = Plane8{};
                    } else {
                        UnionPlane8(doc->selection, mask);
                    }
                } else {
                    // Subtracting from no selection leaves none.
                    SubtractPlane8(doc->selection, mask);
                }
            }
            FreePlane8(old);
            doc->modified = 1;
        }
    }
    FreePlane8(mask);
    tracking = 0;
    if (capture)
        EndCapture();
    capture = 0;
    Redraw();
}

// ---- polygon ----

void CPolygonSelTool::DrawOverlay(ImageBuffer8& overlay, uint32_t)
{
    // Under the canvas lock: the point list does not change meanwhile.
    if (points.empty() || !overlay.data)
        return;
    DrawPen pen;
    const SPoint first = ImageToView(points[0].x, points[0].y);
    MovePenTo8(pen, first.x, first.y);
    for (size_t i = 1; i < points.size(); ++i) {
        const SPoint q = ImageToView(points[i].x, points[i].y);
        DrawLineTo8(overlay, pen, 0xFFFFFF, 10, false, 255, q.x, q.y);
    }
    const SPoint end = ImageToView(lastPoint.x, lastPoint.y);
    DrawLineTo8(overlay, pen, 0xFFFFFF, 10, false, 255, end.x, end.y);
}

SPoint CPolygonSelTool::Constrain(SPoint p, bool shift) const
{
    if (mode != kSelectReplace || points.empty() || !shift)
        return p;
    const SPoint l = points.back();
    const int dx = std::abs(p.x - l.x), dy = std::abs(p.y - l.y);
    if (dy < dx / 3)
        return {p.x, l.y};
    if (dx < dy / 3)
        return {l.x, p.y};
    return {p.x, p.y < l.y ? l.y - dx : l.y + dx};
}

int CPolygonSelTool::OnButtonDown(int isLeft, int x, int y, uint32_t)
{
    const SPoint p = ViewToImage(x, y);
    if (isLeft) {
        if (points.empty()) {
            lasso = 0;
            StartShape(p);
        } else {
            const SPoint f = ImageToView(points[0].x, points[0].y);
            if (std::abs(x - f.x) < 3 && std::abs(y - f.y) < 3) {
                Commit();
            } else {
                const SPoint c = Constrain(p);
                EditPoints([&] { points.push_back(c); });
                lastPoint = c;
            }
        }
    } else if (points.empty()) {
        lasso = 1;
        StartShape(p);
        UpdateCursor();
    } else if (points.size() >= 2) {
        EditPoints([&] { points.pop_back(); });
        lastPoint = Constrain(p);
    }
    Redraw();
    return 1;
}

int CPolygonSelTool::OnButtonUp(int isLeft, int, int, uint32_t)
{
    if (!isLeft && lasso && tracking)
        Commit();
    lasso = 0;
    UpdateCursor();
    Redraw();
    return 1;
}

int CPolygonSelTool::OnDoubleClick(int, int, int, uint32_t)
{
    if (!points.empty())
        Commit();
    return 1;
}

int CPolygonSelTool::OnMouseMove(int leftPressed, int lastX, int lastY, int x, int y)
{
    CSelectTool::OnMouseMove(leftPressed, lastX, lastY, x, y);
    if (leftPressed)
        return 1;
    if (points.empty()) {
        UpdateCursor();
        return 1;
    }
    const SPoint p = ViewToImage(x, y);
    if (lasso) {
        lastPoint = p;
        const SPoint l = points.back();
        if (std::abs(p.x - l.x) > 1 || std::abs(p.y - l.y) > 1)
            EditPoints([&] { points.push_back(p); });
    } else {
        lastPoint = Constrain(p);
        const SPoint f = ImageToView(points[0].x, points[0].y);
        if (std::abs(x - f.x) < 3 && std::abs(y - f.y) < 3)
            SetCursorNumber(148);
        else
            UpdateCursor();
    }
    Redraw();
    return 1;
}

void CPolygonSelTool::Reset()
{
    EditPoints([&] { points.clear(); });
}

void CPolygonSelTool::UpdateCursor()
{
    SetCursorNumber((lasso ? 193 : 145) + mode);
}

int CPolygonSelTool::BuildShapeMask(Plane8& destination)
{
    CZDDoc* doc = Doc();
    if (points.size() < 3 || !doc) {
        EditPoints([&] { points.clear(); });
        return 0;
    }
    std::vector<PolygonPoint> closed;
    closed.reserve(points.size() + 1);
    for (const SPoint& p : points)
        closed.push_back({p.x, p.y});
    if (closed.back().x != closed.front().x || closed.back().y != closed.front().y)
        closed.push_back(closed.front());
    if (closed.size() < 4 || !AllocPlane8(destination, doc->width, doc->height))
        return 0;
    std::memset(destination.data, 0, destination.byteSize);
    // The fill keeps to the plane: corners outside the document are cut there.
    if (FillPolygonMask(closed.data(), int(closed.size()), destination) != 0)
        return 0;
    EditPoints([&] { points.clear(); });
    return 1;
}

// ---- free-hand ----

int CFreeSelTool::OnButtonDown(int, int x, int y, uint32_t)
{
    if (!tracking) {
        EditPoints([&] { points.clear(); });
        StartShape(ViewToImage(x, y));
    }
    return 1;
}

int CFreeSelTool::OnButtonUp(int, int, int, uint32_t)
{
    if (tracking)
        Commit();
    return 1;
}

int CFreeSelTool::OnMouseMove(int leftPressed, int lastX, int lastY, int x, int y)
{
    CSelectTool::OnMouseMove(leftPressed, lastX, lastY, x, y);
    UpdateCursor();
    if (tracking) {
        const SPoint p = ViewToImage(x, y);
        if (points.empty() || std::abs(p.x - points.back().x) > 1 || std::abs(p.y - points.back().y) > 1)
            EditPoints([&] { points.push_back(p); });
        lastPoint = p;
        Redraw();
    }
    return 1;
}

void CFreeSelTool::UpdateCursor()
{
    SetCursorNumber(193 + mode);
}

// ---- rectangle ----

int CRectSelTool::OnButtonDown(int, int x, int y, uint32_t)
{
    if (!tracking) {
        EditPoints([&] { points.clear(); });
        anchor = ViewToImage(x, y);
        StartShape(anchor);
        UpdateShape(anchor);
    }
    return 1;
}

int CRectSelTool::OnButtonUp(int, int, int, uint32_t)
{
    if (tracking)
        Commit();
    return 1;
}

int CRectSelTool::OnMouseMove(int leftPressed, int lastX, int lastY, int x, int y)
{
    CSelectTool::OnMouseMove(leftPressed, lastX, lastY, x, y);
    UpdateCursor();
    if (tracking)
        UpdateShape(ViewToImage(x, y));
    return 1;
}

void CRectSelTool::UpdateCursor()
{
    SetCursorNumber(193 + mode);
}

SPoint CRectSelTool::Square(SPoint p) const
{
    CZDDoc* doc = Doc();
    if (!ShiftDown() || (doc && doc->selection.data))
        return p;
    const int dx = std::abs(p.x - anchor.x), dy = std::abs(p.y - anchor.y);
    if (dx > dy)
        p.x = p.x > anchor.x ? anchor.x + dy : anchor.x - dy;
    else
        p.y = p.y > anchor.y ? anchor.y + dx : anchor.y - dx;
    return p;
}

void CRectSelTool::UpdateShape(SPoint p)
{
    p = Square(p);
    std::vector<SPoint> shape;
    SPoint end = p;
    if (p.x != anchor.x || p.y != anchor.y) {
        const int l = std::min(p.x, anchor.x), t = std::min(p.y, anchor.y);
        const int r = std::max(p.x, anchor.x), b = std::max(p.y, anchor.y);
        if (r > l && b > t) {
            shape = {{l, t}, {r, t}, {r, b}, {l, b}, {l, t}};
            end = {l, t};
        }
    }
    EditPoints([&] { points = std::move(shape); });
    lastPoint = end;
    Redraw();
}

// ---- ellipse ----

std::vector<SPoint> EllipseOutline(int left, int top, int right, int bottom)
{
    std::vector<SPoint> out;
    const int n = (right - left) + (bottom - top) + 2;
    const double pi = 3.14159265;
    out.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        const double a = 2 * pi * i / n;
        out.push_back({int((std::cos(a) + 1) * (right - left) * 0.5 + left + 0.5),
                       int((std::sin(a) + 1) * (bottom - top) * 0.5 + top + 0.5)});
    }
    return out;
}

int BuildEllipseMask(Plane8& destination, int width, int height, int left, int top, int right, int bottom)
{
    if (right <= left || bottom <= top || !AllocPlane8(destination, width, height))
        return 0;
    std::memset(destination.data, 0, destination.byteSize);
    const double w = right - left, h = bottom - top;
    // Only the box can be inside; the rest stays 0.
    const int x0 = std::max(0, left - 1), x1 = std::min(width, right + 2);
    const int y0 = std::max(0, top - 1), y1 = std::min(height, bottom + 2);
    for (int y = y0; y < y1; ++y) {
        uint8_t* row = destination.data + size_t(y) * width;
        for (int x = x0; x < x1; ++x) {
            int count = 0;
            for (int k = -1; k <= 1; ++k)
                for (int m = -1; m <= 1; ++m) {
                    const double u = (x - left) * 2 / w - 1 + k / w;
                    const double v = (y - top) * 2 / h - 1 + m / h;
                    if (std::sqrt(u * u + v * v) <= 1)
                        ++count;
                }
            row[x] = uint8_t(count * 255 / 9);
        }
    }
    return 1;
}

void CRoundSelTool::UpdateShape(SPoint p)
{
    p = Square(p);
    const int l = std::min(p.x, anchor.x), t = std::min(p.y, anchor.y);
    const int r = std::max(p.x, anchor.x), b = std::max(p.y, anchor.y);
    std::vector<SPoint> shape;
    if (r == l || b == t) {
        boxLeft = boxTop = boxRight = boxBottom = 0;
        lastPoint = p;
    } else {
        boxLeft = l;
        boxTop = t;
        boxRight = r;
        boxBottom = b;
        shape = EllipseOutline(l, t, r, b);
        lastPoint = shape.front();
    }
    EditPoints([&] { points = std::move(shape); });
    Redraw();
}

int CRoundSelTool::BuildShapeMask(Plane8& destination)
{
    EditPoints([&] { points.clear(); });
    Redraw();
    CZDDoc* doc = Doc();
    if (!doc || boxRight <= boxLeft || boxBottom <= boxTop)
        return 0;
    const int ok = BuildEllipseMask(destination, doc->width, doc->height, boxLeft, boxTop, boxRight, boxBottom);
    boxLeft = boxTop = boxRight = boxBottom = 0;
    return ok;
}
