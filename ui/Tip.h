// The tooltip sprite the render window shows for every widget: a text laid out in lines on the
// "tip.png" frame, or a picture.
#pragma once

#include "ui/Sprite.h"

class CSTip : public CMessageSprite {
public:
    static constexpr int kMaxText = 1024;

    ~CSTip() override;
    int OnCreate() override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;

    int SetText(const char16_t* text);
    int SetImage(const ImageBuffer8& image);
    void SetOpaque(bool opaque) { m_opaque.store(opaque ? 1 : 0); }
    int TextWidth() const { return m_textImage.width; }
    int TextHeight() const { return m_textImage.height; }
    const char16_t* Text() const { return m_text; }
    // Times the text was laid out (tests: the same text is not laid out twice).
    int LayoutCount() const { return m_layouts; }

private:
    void FreeOwnImageUnderWindowLock();

    ImageBuffer8 m_frame;
    ImageBuffer8 m_point;
    char16_t m_text[kMaxText + 1] = {};
    ImageBuffer8 m_textImage;
    ImageBuffer8 m_picture;
    std::atomic<int> m_opaque{0};
    int m_layouts = 0;
};
