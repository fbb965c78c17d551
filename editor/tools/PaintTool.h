// The brush tools' base: the round stamp built from size, softness and opacity, the brush
// button and dialog, the brush cursor in the canvas overlay, strokes that build a
// document-sized coverage mask (the maximum of the dabs, so overlaps never build up), the
// per-tool brush settings, and the single step that replaces large-brush strokes on leaving.
#pragma once

#include "editor/Tool.h"
#include "ui/Panel.h"

#include <atomic>

// Size, softness (0..100), opacity (1..100), the icon and the n x n stamp (255 = full cover).
struct BrushRecord {
    int32_t size = 1;
    int32_t softness = 50;
    int32_t opacity = 100;
    ImageBuffer8 icon;
    Plane8 stamp;

    BrushRecord() = default;
    BrushRecord(const BrushRecord&) = delete;
    BrushRecord& operator=(const BrushRecord&) = delete;
    ~BrushRecord();
};

// max(min(w, h) / 8, max(w, h) / 20).
int BrushMaxSize(int width, int height);
// 1 when the stamp was built; a failure keeps the old one.
int BuildBrushStamp(BrushRecord& brush);
// The record's icon, side x side.
int RenderBrushIcon(BrushRecord& brush, int side);
// The brush dialog at (x, y) (-1: default place); on OK the values go back into the record,
// the stamp is rebuilt and the result is 1.
int RunBrushDialog(BrushRecord& brush, int sizeMaximum, int x, int y);

class CPaintTool : public CTool {
public:
    static constexpr int32_t kBrushItem = 30001;
    static constexpr int kStampDabLimit = 1024;

    ~CPaintTool() override;

    int Init(int32_t id, ImageBuffer8* iconImage, const char16_t* tooltipText) override;
    int Activate() override;
    void Deactivate() override;
    void DrawOverlay(ImageBuffer8& overlay, uint32_t tick) override;
    int OnButtonDown(int isLeft, int x, int y, uint32_t flags) override;
    int OnButtonUp(int isLeft, int x, int y, uint32_t flags) override;
    int OnMouseMove(int leftPressed, int lastX, int lastY, int x, int y) override;
    int OnKey(uint32_t code, int isVirtualKey) override;
    void OnCaptureLost() override;
    void OnPanelMessage(SpriteMessage* message) override;

    // After every segment: the stroke mask onto the picture.
    virtual void ApplyStroke() = 0;
    // The end of a stroke: commit and history step.
    virtual void EndStroke() = 0;
    // On leaving after large-brush strokes: the one step that replaces them.
    virtual void RecordToolStep() {}

    // 1 when a stroke began (the picture still belongs to a layer and could be backed up).
    int BeginStroke();
    void StrokeSegment(int x0, int y0, int x1, int y1);
    void AdjustSize(int direction);
    void ShowBrushDialog();
    void BuildCursorImage(bool locked);

    // Settings under "PaintSettings" (clamped when read); empty name = none stored.
    void LoadSettings(int maxSize);
    void SaveSettings() const;

    BrushRecord brush;
    char16_t settingsName[32] = {};
    CPanelSprite panel;
    // The current layer's picture at activation.
    ImageBuffer16* picture = nullptr;
    ImageBuffer8 cursorImage;
    double cursorZoom = -1.0;
    std::atomic<int32_t> pointerX{-1}, pointerY{-1};
    std::atomic<int32_t> painting{0};
    ImageBuffer16 backup;
    Plane8 strokeMask;
    ZDRect segmentRect{0, 0, -1, -1};
    ZDRect strokeRect{0, 0, -1, -1};
    int32_t historyIndex = -1;
    int32_t layerIndex = -1;
    int32_t painted = 0;

protected:
    CZDDoc* Doc() const;
    // The current layer when the picture is still its pixels; else null.
    CZDLayer* PictureLayer() const;
    // The segment rectangle grown by half the stamp width, clipped to the mask.
    ZDRect GrownSegment() const;
    // Kind 13 of the stroke rectangle in the current layer; named by the key. With
    // backupIsBefore the backup still holds the layer as it was before the stroke and becomes
    // the step's before-block (a quick undo).
    void RecordStrokeStep(const char16_t* nameKey, bool skipEmpty, bool backupIsBefore);
    // Kind 12 of the layer remembered at activation.
    void RecordLayerStep(const char16_t* nameKey);
    // Picture back from the backup.
    void RestoreFromBackup();
    void Redraw();
};
