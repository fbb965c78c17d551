// The push button of the toolkit (and, with one flag, its toggle button): a translucent face
// from "btn.png" whose brightness follows the hover level, an optional icon and a caption.
//
// Pointer and hover, event by event:
//   move inside, not hovered      -> hovered = 1, capture taken (to see the leave)
//   each frame while hovered      -> level rises by 1 up to 6; at 6 the tooltip shows (if any)
//   press inside                  -> pressed = 1, level 14 while hovered
//   release inside while pressed  -> click (MSG_COMMAND or WM_SPRITE_BUTTON), ripple
//   release outside               -> pressed = 0, no click
//   move outside                  -> hovered = 0, tooltip hidden, capture released unless pressed
//   each frame not hovered        -> level falls by 1 (a checked button keeps its level)
#pragma once

#include "ui/Sprite.h"

class CSButton : public CDialogControl {
public:
    static constexpr int kCaptionMax = 64;
    static constexpr int kTooltipMax = 128;

    CSButton();
    ~CSButton() override;

    int Setup(const char16_t* caption, const char16_t* iconName, int iconAboveCaption, int left,
              int top, int right, int bottom);
    void SetText(const char16_t* text) override;
    void SetIcon(const char16_t* name);
    void SetTooltip(const char16_t* text);
    void DropFace();
    void Click();

    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }
    void OnCaptureReleased() override { m_hovered.store(0); }
    int OnSetCursor(int x, int y) override;
    int OnSpriteMessage(SpriteMessage* message) override;

    // Private code: the render thread asks the UI thread to show the tooltip.
    static constexpr int32_t kMsgShowTooltip = 10140;

    // The narrowest width at which Setup shows `caption` uncut at a caption font height (0 for
    // the default): owners with room size their buttons by it (translated captions differ).
    static int WidthForCaption(const char16_t* caption, int fontHeight = 0);

    // The face alpha of one face pixel at a hover level.
    static int FaceFactor(int level) { return (level + 1) * 200 / 7 + 40; }

    const char16_t* Caption() const { return m_caption; }
    const char16_t* Tooltip() const { return m_tooltip; }
    int HoverLevel() const { return m_hoverLevel.load(); }
    const ImageBuffer8& CaptionImage() const { return m_captionImage; }

    // Public as owners set them directly after construction or Setup.
    ImageBuffer8 m_icon;
    ImageBuffer8 m_captionImage;
    ImageBuffer8 m_face;
    char16_t m_caption[kCaptionMax] = {};
    char16_t m_tooltip[kTooltipMax] = {};
    int32_t m_iconAboveCaption = 0;
    uint32_t m_faceColour = 0xFFEBEBEB; // A, R, G, B
    int32_t m_captionFontHeight = 0;
    std::atomic<int32_t> m_hovered{0};
    std::atomic<int32_t> m_hoverLevel{0};
    std::atomic<int32_t> m_pressed{0};
    int32_t m_checkButton = 0;
    std::atomic<int32_t> m_checked{0};
    int32_t m_dropDownMark = 0;
    int32_t m_fitCaption = 1;

private:
    int RenderCaption(const char16_t* text, int maxWidth);
    int BuildFace(int width, int height);
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < Width() && y < Height(); }
};
