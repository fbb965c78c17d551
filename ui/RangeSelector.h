// A hue strip with four markers that mark a range with soft edges (two outer, two inner) and a
// handle above it that shifts the hue circle. Markers, whole range and handle are dragged; the
// owner reads the values on MSG_RANGE_CHANGED {control id, 0} at the end of a drag.
#pragma once

#include "ui/Sprite.h"

class CRangeSelector : public CMessageSprite {
public:
    static constexpr int kMinimum = 0, kMaximum = 65535;
    static constexpr int kShiftHandle = 4, kWholeRange = 5;
    static constexpr int32_t kDefaults[4] = {35000, 39000, 43000, 46000};

    CRangeSelector();

    void ResetRange();
    // The strip's colour (B, G, R, A) for a value on the 0..65535 scale.
    void ColorAt(uint8_t* bgra, int value) const;
    int ValueFromX(int x) const;
    int DragTo(int x);

    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;
    void OnCaptureReleased() override;

    int DragTarget() const { return m_drag; }
    int HoverTarget() const { return m_hover; }
    SRect Strip() const { return m_strip; }
    SRect MarkerRect(int i) const { return m_markerRects[i]; }

    int32_t m_shift = 0;
    int32_t m_markers[4] = {35000, 39000, 43000, 46000};

private:
    int HitTest(int x, int y) const;
    void UpdateGeometry();

    SRect m_strip{};
    SRect m_markerRects[4]{};
    SRect m_handleRect{};
    int32_t m_drag = -1;
    int32_t m_hover = -1;
    SPoint m_press{};
    int32_t m_pressMarker0Left = 0;
};
