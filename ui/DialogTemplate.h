// Dialog templates in the Win32 binary forms (extended DLGTEMPLATEEX and classic DLGTEMPLATE):
// the font they name, their items, and their layout from dialog units to pixels at a fixed
// 96 pixels per inch, giving the records a sprite dialog is built from. Every field is read
// through bounds checks; a template that does not fit is refused.
#pragma once

#include "ui/DialogSprite.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t DS_SETFONT = 0x40;

struct DialogTemplateFont {
    int pointSize = 8;
    int hasMenu = 0;
    int weight = 400;
    int italic = 0;
    std::u16string face = u"Tahoma";
};

struct DialogTemplateItem {
    std::u16string className; // ordinals become "Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"
    std::u16string text;
    int32_t id = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t style = 0;
};

struct DialogTemplate {
    bool extended = false;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t cx = 0, cy = 0;
    std::u16string caption;
    DialogTemplateFont font;
    std::vector<DialogTemplateItem> items;
};

// Reads a whole template; false for anything cut short, misaligned past the end, or with more
// items than the data can hold.
bool ParseDialogTemplate(const uint8_t* data, size_t size, DialogTemplate& out);
// Only the font (both forms); false when the header does not fit.
bool ReadDialogTemplateFont(const uint8_t* data, size_t size, DialogTemplateFont& out);

// Larger dialog fonts are refused by the layout.
constexpr int kMaxDialogPointSize = 144;

struct DialogBaseUnits {
    int width = 0;
    int height = 0;
};
// Base units of the template's font at `factor` pixels per inch: height the cell height, width
// (extent of the 52 letters / 26 + 1) / 2.
bool MeasureDialogBaseUnits(const DialogTemplateFont& font, double factor, DialogBaseUnits& out);

// Dialog units to pixels: x and widths by a quarter base width, y and heights by an eighth base
// height, rounded.
inline int DluToPixelsX(int v, const DialogBaseUnits& b) { return int(v * b.width * 0.25 + (v >= 0 ? 0.5 : -0.5)); }
inline int DluToPixelsY(int v, const DialogBaseUnits& b) { return int(v * b.height * 0.125 + (v >= 0 ? 0.5 : -0.5)); }

// The laid-out template: client size in pixels and one record per item (rectangles moved 30
// pixels down for the title bar, kinds from the class names, texts with the '#' convention).
struct DialogLayout {
    int clientWidth = 0;
    int clientHeight = 0;
    std::u16string caption;
    std::vector<DialogControlRecord> records;
};
bool LayoutDialogTemplate(const DialogTemplate& t, double factor, DialogLayout& out);
