// The scroll bar that lists, trees and menus embed. The owner writes minimum, maximum, page and
// position directly and asks for a redraw; the bar posts MSG_SCROLL_POS when it moves the
// position itself and MSG_SCROLL_LINE_UP/DOWN while an arrow is held.
//
// Horizontal when more than 20 pixels wide. Each end holds a 15-pixel arrow area; the track
// between them is length - 30 pixels.
#pragma once

#include "ui/MoveOverSprite.h"

class CSScrollBar : public CMoveOverSprite {
public:
    static constexpr int kArrow = 15;
    static constexpr uint32_t kRepeatMs = 200;

    CSScrollBar();

    struct Thumb {
        bool shown = false;
        int start = 0; // pixels along the bar, arrow area included
        int end = 0;
    };
    // Thumb span for a track of `track` pixels; 64-bit so that wide ranges cannot overflow.
    static Thumb ComputeThumb(int track, int32_t minimum, int32_t maximum, int32_t page, int32_t position);
    // The thumb as drawn and pressed: at least kMinThumb pixels (8) (a long list's thumb would
    // otherwise shrink to nothing and could not be grabbed), grown towards the end and kept on
    // the track. The drag still moves by the track's own pixel-to-value scale.
    static constexpr int kMinThumb = 8;
    static Thumb WidenThumb(Thumb thumb, int track);

    int IsHorizontal() const { return Width() > 20; }
    int Length() const { return IsHorizontal() ? Width() : Height(); }
    int TrackLength() const { return Length() - 2 * kArrow; }

    // 1 start arrow, 2 end arrow, else -1 (and the click zone is set).
    int HitPart(int x, int y);
    int ValueFromPoint(int x, int y) const;

    int OnDraw(uint32_t time) override;
    void OnMouseMove(int x, int y, uint32_t keyFlags) override;
    void OnLButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnLButtonUp(int x, int y, uint32_t keyFlags) override;
    void OnCaptureReleased() override;
    int OnSetCursor(int x, int y) override;

    // Owner-written fields.
    std::atomic<int32_t> m_minimum{0}, m_maximum{0}, m_page{0}, m_position{0};

    int HoveredPart() const { return m_hoveredPart; }
    int PressedPart() const { return m_pressedPart.load(); }
    int ClickZone() const { return m_clickZone; }
    int Dragging() const { return m_dragging; }
    int ThumbStart() const { return m_thumbStart.load(); }
    int ThumbEnd() const { return m_thumbEnd.load(); }

    // The time of the last line step, shared by every bar (tests reset it).
    static void ResetLineStepClock();

private:
    int Along(int x, int y) const { return IsHorizontal() ? x : y; }
    void SetPositionAndPost(int64_t value);

    int32_t m_hoveredPart = -1;
    std::atomic<int32_t> m_pressedPart{-1};
    int32_t m_clickZone = 0;
    std::atomic<int32_t> m_thumbStart{0}, m_thumbEnd{0};
    int32_t m_dragging = 0;
    int32_t m_dragStartValue = 0;
    int32_t m_dragStartPosition = 0;
};
