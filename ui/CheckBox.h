// The check box and the radio button of dialog templates: an icon frame from the shared strip
// and a wrapped caption; a click or Space changes the state and tells the parent (MSG_CHECK).
#pragma once

#include "ui/Sprite.h"

#include <string>

class CSCheckBox : public CDialogControl {
public:
    CSCheckBox() { SetFlags(SF_INPUT); }
    ~CSCheckBox() override;
    int SetCaption(const char16_t* text, const SRect& rect);
    void GetText(char16_t* buffer, int capacity, int flag) override;
    void SetText(const char16_t* text) override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }

    int Checked() const { return m_checked.load(); }

protected:
    virtual void Toggle();
    void Draw(int firstFrame, bool alwaysCaption);
    void Notify();

    std::u16string m_caption;
    ImageBuffer8 m_captionImage;
    std::atomic<int> m_checked{0};
};

class CSRatioButton : public CSCheckBox {
public:
    int OnDraw(uint32_t time) override;

protected:
    void Toggle() override;
};
