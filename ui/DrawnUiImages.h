// UI images drawn in code in the program's flat look: the frame, title, buttons, icons, tip,
// focus mark, digit strip and check marks that the engine's own sprites need. They stand in
// where the generated skin files are absent (tests, and a program folder without skins).
#pragma once

#include "ui/UiSeams.h"

// A UiImageSource: 1 and the image for the names it knows, 0 otherwise.
int DrawnUiImage(UiImageFolder folder, const char16_t* name, ImageBuffer8& out);

// Files first, drawn images for what the program folder lacks.
int FilesThenDrawnUiImage(UiImageFolder folder, const char16_t* name, ImageBuffer8& out);
