// The move tool: drags the selection outline, a whole added layer, or the selected pixels of an
// added layer (lifted into a "Temp" layer at activation and merged back on leaving). What moves
// is decided once, when the tool becomes current.
#pragma once

#include "editor/Tool.h"

enum MoveMode : int32_t { kMoveNothing = 0, kMoveSelection = 1, kMoveLayer = 2, kMoveLifted = 3 };

class CMoveTool : public CTool {
public:
    ~CMoveTool() override;

    int Activate() override;
    void Deactivate() override;
    int OnButtonDown(int isLeft, int x, int y, uint32_t flags) override;
    int OnButtonUp(int isLeft, int x, int y, uint32_t flags) override;
    int OnMouseMove(int leftPressed, int lastX, int lastY, int x, int y) override;
    void OnCaptureLost() override;
    // Arrow keys nudge; anything else is left to the canvas.
    int OnKey(uint32_t code, int isVirtualKey) override;

    // Arrow keys 37-40 move one step left, up, right, down and give 0; other keys give 1.
    int OnNudgeKey(uint32_t key);
    int DetermineMoveMode();
    // 1 when the selected visible pixels of the current layer went into a new "Temp" layer.
    int LiftSelection();
    void MoveSelection(SPoint p);
    void MoveLayer(SPoint p);
    void MoveLifted(SPoint p);
    void Nudge(int dx, int dy);

    CZDDoc* document = nullptr;
    int32_t moveMode = kMoveNothing;
    CZDLayer* movedLayer = nullptr;
    // Top-left of the lifted box (document) and the source layer's offset at the lift.
    SPoint liftTopLeft{0, 0};
    SPoint sourceOffset{0, 0};
    SPoint selectionOffset{0, 0};
    SPoint pressPoint{0, 0};
    Plane8 selectionCopy;
    SPoint selectionAtPress{0, 0};
    SPoint layerAtPress{0, 0};
    // The moved layer's offset at activation: leaving where it started changes nothing.
    SPoint layerAtStart{0, 0};
    int32_t dragging = 0;

private:
    // The moved layer when it still belongs to the document (a history move may replace it).
    CZDLayer* MovedLayer() const;
    void SetSelectionShift(SPoint offset);
    // The source layer and its pixels before the lift: leaving without a move puts them back.
    CZDLayer* m_source = nullptr;
    ImageBuffer16 m_sourcePixels;
};

// Clears the destination, then each destination pixel (x, y) takes the source byte at
// (x - dx, y - dy) where that lies inside the source.
void ShiftPlane8(const Plane8& source, Plane8& destination, int dx, int dy);
