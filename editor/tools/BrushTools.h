// The four brushes: clone (copies from an offset), free paint (a colour), red eye and repair
// (mark the area while painting, run their algorithm when the stroke ends).
#pragma once

#include "editor/tools/PaintTool.h"

class CAlgorithm;

class CCameraTool : public CPaintTool {
public:
    CCameraTool();
    int Activate() override;
    int OnButtonDown(int isLeft, int x, int y, uint32_t flags) override;
    int OnMouseMove(int leftPressed, int lastX, int lastY, int x, int y) override;
    void DrawOverlay(ImageBuffer8& overlay, uint32_t tick) override;
    void ApplyStroke() override;
    void EndStroke() override;
    void RecordToolStep() override;

    // Source minus destination; (0, 0) = not set.
    std::atomic<int32_t> offsetX{0}, offsetY{0};
    std::atomic<int32_t> anchorX{-1}, anchorY{-1};
};

class CFreePaintTool : public CPaintTool {
public:
    static constexpr int32_t kColourItem = 30010;
    CFreePaintTool();
    int Init(int32_t id, ImageBuffer8* iconImage, const char16_t* tooltipText) override;
    int Activate() override;
    void Deactivate() override;
    void OnPanelMessage(SpriteMessage* message) override;
    void ApplyStroke() override;
    void EndStroke() override;
    void RecordToolStep() override;
    void UpdateSwatch();
    // The colour picker (PickColor by default; tests answer it).
    int (*pickColor)(uint16_t colour[4]) = nullptr;

    // B, G, R, A; only B, G and R are used and stored.
    uint16_t colour[4] = {65535, 65535, 65535, 65535};
};

class CRedeyeTool : public CPaintTool {
public:
    CRedeyeTool();
    void ApplyStroke() override;
    void EndStroke() override;
    void RecordToolStep() override;
};

class CRepairTool : public CPaintTool {
public:
    CRepairTool();
    void OnCaptureLost() override;
    void ApplyStroke() override;
    void EndStroke() override;
    void RecordToolStep() override;

    int32_t cancel = 0;
};

// The algorithm runner of the red-eye and repair brushes: the canvas's when set, else the
// progress box on the worker. Picture gets the result; 1 on success.
int RunBrushAlgorithm(CSEditView* view, CAlgorithm& algorithm, const void* params, const char16_t* caption,
                      ImageBuffer16& picture);
