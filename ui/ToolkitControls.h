// Makes dialog templates' edit, trackbar and list box controls into the toolkit's edit fields,
// sliders and flat lists. Called once at start-up, before the first dialog is built.
#pragma once

#include "platform/DialogTemplate.h"

#include <initializer_list>

void RegisterToolkitControls();

// A dialog template written in code (dialog units, "MS Shell Dlg" 8), laid out like one read
// from resources.
struct CodeTemplateItem {
    const char16_t* className;
    const char16_t* text;
    int32_t id;
    int x, y, cx, cy;
};
platform::DialogTemplateData CodeDialogTemplate(int cx, int cy, const char16_t* caption,
                                               std::initializer_list<CodeTemplateItem> items);
