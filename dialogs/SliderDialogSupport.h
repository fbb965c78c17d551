// Slider helpers of the adjustment dialogs: finding a template's slider, setting its range and
// reading its value the way the parameter records take it.
#pragma once

#include "ui/DialogSprite.h"
#include "ui/Slider.h"

struct SliderSetup {
    int32_t id;
    int32_t minimum;
    int32_t maximum;
    int32_t value;
    int32_t divisor;
    const char16_t* unit; // null: none
};

CSliderSprite* FindSlider(CDialogSprite& dialog, int32_t id);
// Sets range, value, divisor and unit of every slider; false when one is missing.
bool SetUpSliders(CDialogSprite& dialog, const SliderSetup* setups, size_t count);
// The stored value divided by the divisor, truncated toward zero; 0 without the slider.
int32_t SliderValue(CDialogSprite& dialog, int32_t id);
// The stored value itself (a value shown in tenths stays in tenths).
int32_t SliderStoredValue(CDialogSprite& dialog, int32_t id);
