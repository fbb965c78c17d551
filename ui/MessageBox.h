// The program's only message box: a text, one of four icons, and OK or Yes and No.
//
// Results: 1 OK, 6 Yes, 7 No, 2 closed with the title-bar button, -1 when no box could be
// shown. -1 is never consent: a caller asking "!= 7" must test "== 6" (or "> 0 && != 7")
// instead, because a box that was not seen answered nothing.
#pragma once

#include "ui/DialogSprite.h"
#include "platform/DialogTemplate.h"

constexpr int kMbOk = 4, kMbYesNo = 5;
constexpr int kMbInformation = 0, kMbQuestion = 1, kMbWarning = 2, kMbError = 3;

class CSMessageDlg : public CDialogSprite {
public:
    static constexpr int kTextCapacity = 1024;
    static constexpr int32_t kTemplateId = 132;
    static constexpr int32_t kTextId = 1010;

    ~CSMessageDlg() override;
    int Create(const char16_t* text, int kind, int buttons);
    int OnInitDialog() override;
    int OnDraw(uint32_t time) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    void SetInitialFocus() override;
    int OnSpriteMessage(SpriteMessage* message) override;

    const char16_t* Text() const { return m_text; }
    int Kind() const { return m_kind; }
    int Buttons() const { return m_buttons; }

private:
    ImageList8 m_icons;
    char16_t m_text[kTextCapacity] = {};
    int32_t m_buttons = kMbOk;
    int32_t m_kind = 0;
};

int SpriteMessageBox(const char16_t* text, int kind, int buttons);

// The template of the box (dialog units), for the layout and for tests.
platform::DialogTemplateData MessageBoxTemplate();

// Installs SpriteMessageBox as the dialogs' data-exchange error box.
void InstallSpriteMessageBox();
