// The interface of the editor's interactive tools. The canvas holds at most one current tool and
// routes pointer, key and option-panel input to it; each frame the tool draws into the canvas
// overlay. The tool classes and the tool set are built on this base.
//
// Threads: everything runs on the UI thread except DrawOverlay, which the render thread calls
// while it holds the canvas sprite's lock. A tool that changes, outside DrawOverlay, something
// DrawOverlay reads (a point list, a cursor picture) takes the canvas lock for the change.
#pragma once

#include "imaging/Document.h"
#include "imaging/ImageBuffer.h"
#include "ui/Overlay.h"
#include "ui/Sprite.h"

#include <atomic>
#include <cstdint>

class CSEditView;

// Tool numbers: the ids of the tool buttons and the tags of the tools' history steps.
enum ToolId : int32_t {
    kToolPolygonSelect = 1,
    kToolRectSelect = 2,
    kToolColorRange = 4,
    kToolCrop = 5,
    kToolFreeCrop = 6,
    kToolShapeChange = 7,
    kToolRepair = 8,
    kToolRedeye = 9,
    kToolMove = 10,
    kToolTransform = 11,
    kToolText = 12,
    kToolFreeSelect = 13,
    kToolRoundSelect = 15,
    kToolFreePaint = 16,
    kToolCamera = 17,
};

// Tool groups: selection tools leave the canvas's selection panel in place.
inline constexpr int kToolGroupPlain = 10000;
inline constexpr int kToolGroupSelection = 11000;

// The object the overlay drawer chain starts with; it adds nothing to the drawing entry.
class CPreviewObject : public ISOverlayDraw {};

class CTool : public CPreviewObject {
public:
    static constexpr int kTooltipCapacity = 128;

    CTool() = default;
    ~CTool() override = default;
    CTool(const CTool&) = delete;
    CTool& operator=(const CTool&) = delete;

    // ---- virtual slots, in order ----
    // Render thread, under the canvas lock.
    void DrawOverlay(ImageBuffer8& /*overlay*/, uint32_t /*tick*/) override {}
    // Coordinates are canvas pixels relative to the canvas's picture area; nonzero = consumed.
    virtual int OnButtonDown(int /*isLeft*/, int /*x*/, int /*y*/, uint32_t /*flags*/) { return 0; }
    virtual int OnButtonUp(int /*isLeft*/, int /*x*/, int /*y*/, uint32_t /*flags*/) { return 0; }
    virtual int OnDoubleClick(int /*isLeft*/, int /*x*/, int /*y*/, uint32_t /*flags*/) { return 0; }
    virtual int OnMouseMove(int /*leftPressed*/, int /*lastX*/, int /*lastY*/, int /*x*/, int /*y*/) { return 0; }
    // 16 Shift or 17 Ctrl.
    virtual int OnModifierKey(uint32_t /*key*/) { return 0; }
    // A virtual key (isVirtualKey 1) or a typed character (0).
    virtual int OnKey(uint32_t /*code*/, int /*isVirtualKey*/) { return 0; }
    virtual int IsBusy() { return busy; }
    virtual int IsAvailable() { return 1; }
    virtual void Reset() {}
    virtual void OnCaptureLost() {}
    virtual int GetToolGroup() { return kToolGroupPlain; }
    // Nonzero accepted; 0 refused (a one-shot tool does its work here and refuses).
    virtual int Activate() = 0;
    virtual void Deactivate() {}
    // Fails without an icon with pixels; stores id, icon and tooltip (cut to fit).
    virtual int Init(int32_t id, ImageBuffer8* iconImage, const char16_t* tooltipText);
    virtual void OnPanelMessage(SpriteMessage* /*message*/) {}

    // ---- mapping through the canvas (zero point without a canvas) ----
    // Canvas point relative to the picture area -> image point.
    SPoint ViewToImage(int x, int y) const;
    // Image point -> canvas point relative to the picture area.
    SPoint ImageToView(int x, int y) const;
    // Sets the capture field and asks the render window to capture the mouse for the canvas.
    void BeginCapture();
    // Clears the capture field and gives the capture back.
    void EndCapture();

    int32_t busy = 0;
    // While set the canvas forwards pointer events even over its child sprites; the render
    // thread never reads it, the UI thread writes and reads it.
    int32_t capture = 0;
    CSEditView* view = nullptr;
    int32_t toolId = 0;
    ImageBuffer8* icon = nullptr; // owned by the tool set's icon list
    char16_t tooltip[kTooltipCapacity] = {};
    CSprite* optionPanel = nullptr;
};

// Shared tool operations.

// The destination gets the layer's size and, at each layer pixel, the byte of the document-sized
// plane at that pixel's document position (0 outside it; all 0 when the plane has no data).
// 0 when the destination cannot be allocated.
int CropPlaneToLayer(const CZDLayer& layer, Plane8& destination, const Plane8& documentPlane);

// A rectangle in document coordinates moved into the layer's and clamped to its size.
ZDRect ClipRectToLayer(const CZDLayer& layer, const ZDRect& documentRect);
