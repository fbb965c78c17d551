// The dialog control factories of the edit field and the slider.
#include "ui/ToolkitControls.h"

#include "ui/DialogSprite.h"
#include "ui/EditField.h"
#include "ui/Slider.h"

namespace {

CSprite* MakeEdit(CDialogSprite& dialog, DialogControlRecord& r)
{
    auto* edit = new CEditSprite;
    edit->SetAutoDelete(1);
    const SRect& rc = r.rect;
    if (!edit->Create(&dialog, nullptr, r.controlId, 2, rc.left, rc.top, rc.right, rc.bottom) ||
        !edit->Setup(r.text[0] ? r.text : nullptr)) {
        delete edit;
        return nullptr;
    }
    return edit;
}

CSprite* MakeSlider(CDialogSprite& dialog, DialogControlRecord& r)
{
    auto* slider = new CSliderSprite;
    slider->SetAutoDelete(1);
    const SRect& rc = r.rect;
    if (!slider->Create(&dialog, nullptr, r.controlId, 2, rc.left, rc.top, rc.right, rc.bottom)) {
        delete slider;
        return nullptr;
    }
    return slider;
}

} // namespace

void RegisterToolkitControls()
{
    SetDialogControlFactory(DialogControlRecord::Edit, &MakeEdit);
    SetDialogControlFactory(DialogControlRecord::Trackbar, &MakeSlider);
}

DialogTemplate CodeDialogTemplate(int cx, int cy, const char16_t* caption, std::initializer_list<CodeTemplateItem> items)
{
    DialogTemplate t;
    t.extended = true;
    t.style = DS_SETFONT;
    t.cx = int16_t(cx);
    t.cy = int16_t(cy);
    t.caption = caption;
    t.font.pointSize = 8;
    t.font.face = u"MS Shell Dlg";
    for (const CodeTemplateItem& c : items) {
        DialogTemplateItem i;
        i.className = c.className;
        i.text = c.text;
        i.id = c.id;
        i.x = int16_t(c.x);
        i.y = int16_t(c.y);
        i.cx = int16_t(c.cx);
        i.cy = int16_t(c.cy);
        t.items.push_back(i);
    }
    return t;
}
