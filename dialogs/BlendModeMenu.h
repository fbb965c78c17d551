// The blend-mode menu (editor menu type 25): one item per offered BlendMode, id 23000 + mode,
// shared by the editor's layer panel and the filter dialogs' blend popup.
#pragma once

#include <cstdint>

class CSMenu;

constexpr int32_t kBlendMenuBase = 23000;

struct BlendMenuEntry {
    uint8_t mode;
    const char16_t* key;
    const char16_t* tipKey; // null: no tip
};

// The offered modes in menu order; modes 3 and 4 blend like normal and are left out.
constexpr BlendMenuEntry kBlendMenuEntries[] = {
    {0, u"bmnormal", nullptr},
    {1, u"bmdarken", u"mtipDarken"},
    {2, u"bmlighten", u"mtipLighten"},
    {5, u"bmmul", u"mtipMul"},
    {6, u"bmscreen", u"mtipScreen"},
    {7, u"bmoverlay", u"mtipOverlay"},
    {8, u"bmhardlight", u"mtipHard"},
    {9, u"bmsoftlight", u"mtipSoft"},
    {10, u"bmdif", u"mtipdif"},
};

// Appends the items (texts of the keys, tips where there is one) to the menu.
void BuildBlendModeMenu(CSMenu& menu);
// The key that names a mode in the menu; modes not offered read as normal.
const char16_t* BlendMenuKey(int mode);
