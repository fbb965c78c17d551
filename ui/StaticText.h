// Labels and rules of dialog templates, and the one-line text helper several panels use.
#pragma once

#include "ui/Sprite.h"

#include <string>

class CSStaticText : public CDialogControl {
public:
    ~CSStaticText() override;
    int Create(CSprite* parent, int32_t id, const char16_t* text, int left, int top, int right, int bottom);
    void SetText(const char16_t* text) override { SetTextResult(text); }
    int SetTextResult(const char16_t* text);
    void GetText(char16_t* buffer, int capacity, int flag) override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;

    int m_fontHeight = 0; // 0: the renderer's default
    const ImageBuffer8& TextImage() const { return m_textImage; }

private:
    std::u16string m_text;
    ImageBuffer8 m_textImage;
};

// One line of text in a colour, aligned (0 start, 1 centre, 2 end) in a rectangle of the
// target and clipped to it; 0 when the text cannot be rendered.
int DrawTextInRect(ImageBuffer8& target, const char16_t* text, int fontHeight, uint32_t colour,
                   int alignX, int alignY, int left, int top, int right, int bottom);
