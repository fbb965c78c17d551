// Slider helpers of the adjustment dialogs (see the header).
#include "dialogs/SliderDialogSupport.h"

CSliderSprite* FindSlider(CDialogSprite& dialog, int32_t id)
{
    return dynamic_cast<CSliderSprite*>(dialog.GetControl(id));
}

bool SetUpSliders(CDialogSprite& dialog, const SliderSetup* setups, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        CSliderSprite* slider = FindSlider(dialog, setups[i].id);
        if (!slider)
            return false;
        const SliderSetup& s = setups[i];
        slider->SetRange(s.minimum, s.maximum, s.value, s.divisor, s.unit ? s.unit : u"");
    }
    return true;
}

int32_t SliderValue(CDialogSprite& dialog, int32_t id)
{
    CSliderSprite* slider = FindSlider(dialog, id);
    if (!slider)
        return 0;
    const int32_t divisor = slider->Divisor() == 0 ? 1 : slider->Divisor();
    return slider->Value() / divisor; // C++ division truncates toward zero
}

int32_t SliderStoredValue(CDialogSprite& dialog, int32_t id)
{
    CSliderSprite* slider = FindSlider(dialog, id);
    return slider ? slider->Value() : 0;
}
