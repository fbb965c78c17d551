// The numeric slider of adjustment dialogs: a track with a draggable thumb, minus and plus
// buttons and a value button. The value is stored as an integer and shown divided by the
// divisor, so one slider serves whole numbers and fixed decimals. Changes reach the parent as
// MSG_SLIDER_CHANGED {stored value, divisor}; during a drag only the end is reported.
//
// Geometry (width w, height 20): minus (2, 2) 16 x 16, plus (w - 63, 2) 18 x 18, value button
// (w - 40, 0) 35 x 20; track image (0, 0)..(w - 45, 20); values map over 20..w - 65.
#pragma once

#include "ui/Button.h"
#include "ui/MoveOverSprite.h"

class CSliderSprite : public CMoveOverSprite {
public:
    static constexpr int kMinusId = 1, kPlusId = 2, kValueId = 10;
    static constexpr int kUnitCapacity = 8;

    CSliderSprite();
    ~CSliderSprite() override;

    void SetRange(int32_t minimum, int32_t maximum, int32_t value, int32_t divisor, const char16_t* unit);
    void SetValue(double shown, int notify);
    void UpdateValueText();
    int ValueToX(int32_t value) const;
    int XToValue(int x) const;
    // The step of buttons, wheel and arrow keys, in stored units.
    int32_t Step() const;

    void GetText(char16_t* buffer, int capacity, int flag) override;
    void SetText(const char16_t* text) override;
    void SetPos(int x, int y, int width, int height) override;
    int OnCreate() override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnMouseWheel(int x, int y, int delta) override;
    void OnMouseMove(int x, int y, uint32_t keyFlags) override;
    void OnLButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnLButtonUp(int x, int y, uint32_t keyFlags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }
    void OnCaptureReleased() override;
    int OnSpriteMessage(SpriteMessage* message) override;

    int32_t Minimum() const { return m_minimum.load(); }
    int32_t Maximum() const { return m_maximum.load(); }
    int32_t Value() const { return m_value.load(); }
    int32_t Divisor() const { return m_divisor.load(); }
    const char16_t* Unit() const { return m_unit; }
    int Dragging() const { return m_dragging; }
    SRect ThumbRect() const;
    CSButton& ValueButton() { return m_valueButton; }
    CSButton& PlusButton() { return m_plus; }
    CSButton& MinusButton() { return m_minus; }
    int ThumbWidth() const { return m_thumbWidth.load(); }

    // Typed entry through the value button: (slider, initial text, prompt, caption, result
    // buffer, capacity) -> 1 on OK; the string input dialog by default (null restores it).
    using TypedEntry = int (*)(CSliderSprite* slider, const char16_t* initial, const char16_t* prompt,
                               const char16_t* caption, char16_t* result, int capacity);
    static void SetTypedEntry(TypedEntry entry);
    // The error box for a typed text that is not a number (an OK box with the error icon).
    using ErrorBox = void (*)(const char16_t* text);
    static void SetErrorBox(ErrorBox box);

private:
    int TrackLeft() const { return 20; }
    int TrackWidth() const { return Width() - 65 - 20; }
    int32_t SafeDivisor() const { int32_t d = m_divisor.load(); return d == 0 ? 1 : d; }
    void StoreClamped(int64_t value);
    void StepBy(int direction);
    double DragValue(int x) const;
    void OpenTypedEntry();
    void NotifyParent();

    std::atomic<int32_t> m_maximum{100}, m_minimum{0}, m_value{0}, m_divisor{1};
    char16_t m_unit[kUnitCapacity] = {};
    CSButton m_plus, m_minus, m_valueButton;
    int32_t m_dragging = 0;
    int32_t m_dragStartX = 0;
    double m_dragStartValue = 0;
    std::atomic<int32_t> m_thumbLeft{0}, m_thumbTop{0}, m_thumbRight{0}, m_thumbBottom{0};
    std::atomic<int32_t> m_thumbWidth{0};
    ImageBuffer8 m_track, m_bar, m_thumb;
};
