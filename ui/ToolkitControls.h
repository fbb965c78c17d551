// Makes dialog templates' edit and trackbar controls into the toolkit's edit fields and
// sliders. Called once at start-up, before the first dialog is built.
#pragma once

#include "ui/DialogTemplate.h"

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
DialogTemplate CodeDialogTemplate(int cx, int cy, const char16_t* caption, std::initializer_list<CodeTemplateItem> items);
