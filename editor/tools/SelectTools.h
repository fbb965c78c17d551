// The selection tools: polygon (clicked corners, or a lasso with the right button), free-hand,
// rectangle and ellipse. Each draws a shape and combines it with the document selection in the
// mode the modifier keys choose (replace, add, subtract). No history step is recorded.
#pragma once

#include "editor/Tool.h"

#include <vector>

enum SelectionMode : int32_t { kSelectReplace = 0, kSelectAdd = 1, kSelectSubtract = 2 };

class CSelectTool : public CTool {
public:
    int GetToolGroup() override { return kToolGroupSelection; }
    int Activate() override;
    int OnModifierKey(uint32_t key) override;
    int OnMouseMove(int leftPressed, int lastX, int lastY, int x, int y) override;
    void OnCaptureLost() override;

    // 1 when a shape mask was built into the destination (document-sized).
    virtual int BuildShapeMask(Plane8& destination);
    virtual void SetSelectionMode(int32_t mode);
    virtual void UpdateCursor();

    // The shape into the selection in the current mode; ends the tracking and the capture.
    void Commit();
    // Mode from the key states (Shift add, Ctrl subtract, neither replace, both unchanged).
    void ModeFromKeys(bool shift, bool control);

    int32_t mode = kSelectReplace;
    SPoint lastPoint{0, 0};
    int32_t tracking = 0;
    std::vector<SPoint> points;
    int32_t lasso = 0;

protected:
    CZDDoc* Doc() const;
    bool ShiftDown() const;
    bool ControlDown() const;
    // Drops the selection in replace mode, then tracking, capture and the first point.
    void StartShape(SPoint imagePoint);
    // Changes the point list under the canvas lock (the overlay reads it).
    template <class F>
    void EditPoints(F f);
    void SetCursorNumber(int number);
    void Redraw();
    // The point list belongs to one document.
    const CZDDoc* m_pointsDocument = nullptr;
};

class CPolygonSelTool : public CSelectTool {
public:
    void DrawOverlay(ImageBuffer8& overlay, uint32_t tick) override;
    int OnButtonDown(int isLeft, int x, int y, uint32_t flags) override;
    int OnButtonUp(int isLeft, int x, int y, uint32_t flags) override;
    int OnDoubleClick(int isLeft, int x, int y, uint32_t flags) override;
    int OnMouseMove(int leftPressed, int lastX, int lastY, int x, int y) override;
    void Reset() override;
    int BuildShapeMask(Plane8& destination) override;
    void UpdateCursor() override;

    // The Shift constraint of a new corner.
    SPoint Constrain(SPoint p) const { return Constrain(p, ShiftDown()); }
    SPoint Constrain(SPoint p, bool shift) const;
};

class CFreeSelTool : public CPolygonSelTool {
public:
    int OnButtonDown(int isLeft, int x, int y, uint32_t flags) override;
    int OnButtonUp(int isLeft, int x, int y, uint32_t flags) override;
    int OnDoubleClick(int, int, int, uint32_t) override { return 1; }
    int OnMouseMove(int leftPressed, int lastX, int lastY, int x, int y) override;
    void UpdateCursor() override;
};

class CRectSelTool : public CPolygonSelTool {
public:
    int OnButtonDown(int isLeft, int x, int y, uint32_t flags) override;
    int OnButtonUp(int isLeft, int x, int y, uint32_t flags) override;
    int OnDoubleClick(int, int, int, uint32_t) override { return 1; }
    int OnMouseMove(int leftPressed, int lastX, int lastY, int x, int y) override;
    void UpdateCursor() override;
    // The shape from the anchor to the point.
    virtual void UpdateShape(SPoint p);
    // The square constraint: Shift with no selection.
    SPoint Square(SPoint p) const;

    SPoint anchor{0, 0};
};

class CRoundSelTool : public CRectSelTool {
public:
    void UpdateShape(SPoint p) override;
    int BuildShapeMask(Plane8& destination) override;

    int32_t boxLeft = 0, boxTop = 0, boxRight = 0, boxBottom = 0;
};

// The ellipse's coverage of the box (left, top, right, bottom) in a plane of the document size:
// 9 sub-samples a pixel, count * 255 / 9.
int BuildEllipseMask(Plane8& destination, int width, int height, int left, int top, int right, int bottom);
// The ellipse outline's points for the box.
std::vector<SPoint> EllipseOutline(int left, int top, int right, int bottom);
