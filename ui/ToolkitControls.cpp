// The dialog control factories of the edit field, the slider and the list box.
#include "ui/ToolkitControls.h"

#include "ui/DialogSprite.h"
#include "ui/EditField.h"
#include "ui/Slider.h"
#include "ui/Tree.h"

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

CSprite* MakeList(CDialogSprite& dialog, DialogControlRecord& r)
{
    auto* list = new CFlatSimpleList;
    list->SetAutoDelete(1);
    const SRect& rc = r.rect;
    if (!list->Create(&dialog, nullptr, r.controlId, 2, rc.left, rc.top, rc.right, rc.bottom)) {
        delete list;
        return nullptr;
    }
    return list;
}

} // namespace

void RegisterToolkitControls()
{
    SetDialogControlFactory(DialogControlRecord::ListBox, &MakeList);
    SetDialogControlFactory(DialogControlRecord::Edit, &MakeEdit);
    SetDialogControlFactory(DialogControlRecord::Trackbar, &MakeSlider);
}

platform::DialogTemplateData CodeDialogTemplate(int cx, int cy, const char16_t* caption,
                                               std::initializer_list<CodeTemplateItem> items)
{
    platform::DialogTemplateData t;
    t.extended = true;
    t.style = platform::kDsSetFont;
    t.rect.cx = int16_t(cx);
    t.rect.cy = int16_t(cy);
    t.caption = caption;
    t.font.pointSize = 8;
    t.font.face = u"MS Shell Dlg";
    for (const CodeTemplateItem& c : items) {
        platform::DialogTemplateItem i;
        i.windowClass.text = c.className;
        i.text.text = c.text;
        i.id = uint32_t(c.id);
        i.rect = {int16_t(c.x), int16_t(c.y), int16_t(c.cx), int16_t(c.cy)};
        t.items.push_back(std::move(i));
    }
    return t;
}
