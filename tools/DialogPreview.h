// Pictures of the shipped dialogs as the program will show them, drawn from the compiled
// templates, the skin pictures and a string table: a person checks layout and texts in every
// language at a glance (zendra/dialog-previews.png). Dialog units become pixels with the base
// units of the template's font at 96 pixels per inch, texts use the default UI font.
#pragma once

#include "imaging/ImageBuffer.h"
#include "platform/Font.h"
#include "tools/DialogTemplateSource.h"
#include "ui/StringTable.h"

#include <string>
#include <vector>

namespace tools {

struct DialogBaseUnits {
    int width = 0;
    int height = 0;
};

// The base units of the template's font: text-metric height, and the average width of the 52
// letters rounded as the layout service does.
DialogBaseUnits MeasureDialogBaseUnits(const DialogSource& dialog);
// trunc(units x base x factor + 0.5): factor 0.25 across, 0.125 down.
int DialogUnitsToPixels(int units, int base, double factor);

// Greedy word wrap at spaces; a word wider than the width keeps a line of its own.
std::vector<std::u16string> WrapText(const platform::Font& font, const std::u16string& text, int width);

// All dialogs of programFolder/dialogs, once per language table, into one picture.
bool BuildDialogPreviews(const std::u16string& programFolder, ImageBuffer8& out, std::string& error);

} // namespace tools
