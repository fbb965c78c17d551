// Build-time compiler of the dialog templates: a small text form per dialog, kept in
// resources/dialogs, becomes the extended binary template (a DLGTEMPLATEEX header followed by
// DLGITEMTEMPLATEEX items, little-endian, each item on a 4-byte boundary) that the program's
// dialog-template reader lays out.
//
// The text form, one statement a line, ';' starts a comment line:
//   dialog 208
//   caption "dlgSettings"
//   font "MS Shell Dlg" 8            (optional weight and italic follow: 8 700 1)
//   size 228 134                     (dialog units)
//   style 0x80C800C8                 (optional; this is the default)
//   control Button 1219 6 6 222 24 "#CdlgAnimation" checkbox
//   control Static -1 6 96 216 1 "" blackframe
// Classes Button, Edit, Static, ListBox, ScrollBar and ComboBox are written as the system's
// class ordinals; any other class name (a quoted or bare word) is written as a string. Control
// styles start from the class's usual style; flag words add to it: default, checkbox, radio,
// border, autohscroll, blackframe, etchedhorz, hidden, disabled, or "style N" replaces it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

struct DialogItemSource {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    int32_t id = 0;
    uint16_t classOrdinal = 0;  // nonzero: 0x80 Button ... 0x85 ComboBox
    std::u16string className;   // when classOrdinal is 0
    std::u16string text;
};

struct DialogSource {
    uint16_t id = 0;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t cx = 0, cy = 0;
    std::u16string caption;
    std::u16string face = u"MS Shell Dlg";
    uint16_t points = 8;
    uint16_t weight = 400;
    uint8_t italic = 0;
    uint8_t charset = 1; // DEFAULT_CHARSET
    std::vector<DialogItemSource> items;
};

constexpr uint32_t kDefaultDialogStyle = 0x80C800C8; // popup, caption, system menu, modal frame, set font, fixed font
constexpr uint32_t kDsSetFont = 0x40;

// false with "line N: why" when the text is not a dialog of this form.
bool ParseDialogSource(std::string_view text, DialogSource& out, std::string& error);
std::vector<uint8_t> CompileDialogTemplate(const DialogSource& dialog);

// Reads an extended binary template back (menu and creation data are skipped). false when the
// bytes are not a whole extended template; every field is read within the data.
bool ReadDialogTemplate(std::span<const uint8_t> bytes, DialogSource& out);

} // namespace tools
