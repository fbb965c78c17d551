// A picture with a caption and an OK button (the free-crop tool's demonstration).
#pragma once

#include "ui/DialogSprite.h"

#include <string>

class CPicDemoDlg : public CDialogSprite {
public:
    static constexpr int32_t kTemplateId = 140;

    CPicDemoDlg(const char16_t* path, const char16_t* caption);
    ~CPicDemoDlg() override;
    int Create();
    int OnInitDialog() override;
    int OnDraw(uint32_t time) override;

private:
    std::u16string m_path;
    std::u16string m_captionText;
    bool m_hasCaption = false;
    ImageBuffer8 m_picture;
};

// 1 OK, 2 closed, 0 when the picture cannot be loaded or the dialog cannot be built.
int ShowPictureHint(const char16_t* path, const char16_t* caption);
