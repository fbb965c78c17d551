// Compiled dialog templates and the light "hidden dialog" object the sprite dialogs are measured
// from: the template's controls (class, text, id, style, rectangle in dialog units), its font,
// the font's dialog base units, and the controls' pixel rectangles at a given pixels-per-inch.
//
// The binary form is the Windows one: the extended header (DLGTEMPLATEEX) with extended items
// (DLGITEMTEMPLATEEX), or the classic header and items; little-endian, UTF-16 strings, items on
// 4-byte boundaries. Every read is bounds-checked; a damaged template is refused as a whole.
#pragma once

#include "platform/Font.h"
#include "platform/Text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

inline constexpr uint32_t kDsSetFont = 0x40;
inline constexpr uint32_t kDsModalFrame = 0x80;
inline constexpr uint32_t kWsCaption = 0x00C00000;
inline constexpr uint32_t kWsBorder = 0x00800000;
inline constexpr uint32_t kWsDlgFrame = 0x00400000;
inline constexpr uint32_t kWsThickFrame = 0x00040000;
inline constexpr uint32_t kWsExDlgModalFrame = 0x00000001;
inline constexpr uint32_t kWsExClientEdge = 0x00000200;
inline constexpr uint32_t kWsExWindowEdge = 0x00000100;

// Most controls and templates a dialog may hold; far above what any real dialog uses.
inline constexpr size_t kMaxTemplateItems = 1024;
inline constexpr size_t kMaxTemplateBytes = 1 << 20;
// Larger template fonts are damage (a 2621-point size would have the font layer render giant
// glyphs); such a template parses but is not laid out.
inline constexpr int kMaxTemplatePointSize = 144;

// A menu, class or text field: absent, an ordinal (0xFFFF n) or a string.
struct TemplateName {
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    String16 text;

    bool Empty() const { return !isOrdinal && text.empty(); }
};

struct DialogUnitsRect {
    int16_t x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplateItem {
    uint32_t helpId = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    DialogUnitsRect rect;
    uint32_t id = 0;
    TemplateName windowClass; // predefined classes are ordinals 0x80..0x85
    TemplateName text;
    std::vector<uint8_t> creationData;

    // "Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox" for the predefined
    // ordinals, the class name itself otherwise, "" for an unknown ordinal.
    String16 ClassName() const;
};

// The template's font as the dialog reads it: without DS_SETFONT, "Tahoma" 8 points weight 400.
struct DialogTemplateFont {
    int pointSize = 8;
    int hasMenu = 0;
    int weight = 400;
    int italic = 0;
    int charset = 0;
    String16 face = u"Tahoma";
};

struct DialogTemplateData {
    bool extended = false;
    uint32_t helpId = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    DialogUnitsRect rect;
    TemplateName menu;
    TemplateName windowClass;
    String16 caption;
    DialogTemplateFont font;
    std::vector<DialogTemplateItem> items;
};

// Parses a whole template; false (and `out` untouched) for anything damaged or over the limits.
bool ParseDialogTemplate(const uint8_t* data, size_t size, DialogTemplateData& out);

// Dialog base units of a font: the cell height, and the average width of the 52 Latin letters
// rounded the Windows way, (extent / 26 + 1) / 2.
struct DialogBaseUnits {
    int width = 0;
    int height = 0;
};
DialogBaseUnits MeasureDialogBaseUnits(const Font& font);

// Dialog units to pixels, each value rounded on its own: x * width / 4, y * height / 8.
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};
PixelRect DialogUnitsToPixels(const DialogUnitsRect& r, DialogBaseUnits units);

// What the window frame adds around a client rectangle (AdjustWindowRectEx with the classic
// 96-dpi metrics): fixed figures, as the dialog is never shown by the window system.
struct FrameInsets {
    int left = 0, top = 0, right = 0, bottom = 0;
};
FrameInsets WindowFrameAdjustment(uint32_t style, uint32_t exStyle, bool hasMenu);

// The face a template font is drawn with on this system: the Windows dialog faces ("MS Shell
// Dlg", "MS Shell Dlg 2", "Tahoma", "MS Sans Serif", "Segoe UI") become the face whose 8-point
// base units come closest to the 6 x 13 the templates were designed for; other faces stay.
String16 DialogFaceFor(StringView16 templateFace);
inline constexpr char16_t kDialogFace[] = u"Liberation Sans";

// A template loaded by id, laid out with its font at a pixels-per-inch factor.
class DialogTemplate {
public:
    // From `<folder>/<id>.res` (the compiled form; `.dlg` is the text source of the template
    // compiler); null when missing, unreadable or damaged.
    static std::unique_ptr<DialogTemplate> Load(StringView16 folder, uint16_t id);
    static std::unique_ptr<DialogTemplate> FromBytes(uint16_t id, const uint8_t* data, size_t size);
    // A template the program writes in code; null over the item limit.
    static std::unique_ptr<DialogTemplate> FromData(uint16_t id, DialogTemplateData data);

    uint16_t Id() const { return id_; }
    const DialogTemplateData& Data() const { return data_; }
    const std::vector<DialogTemplateItem>& Items() const { return data_.items; }

    // Creates the template's font for `pixelsPerInch` (8 points at 96 give a -11 pixel em),
    // measures its base units and lays out the window and every control. False when no font can
    // be made, the size is above 144 points or the factor is not 1 to 960; the layout stays
    // as it was.
    bool ApplyTemplateFont(double pixelsPerInch = 96.0);
    // The same with a font of the caller's choosing.
    bool SetFont(const FontSpec& request);

    const std::shared_ptr<Font>& CurrentFont() const { return font_; }
    DialogBaseUnits BaseUnits() const { return units_; }
    // Client size of the laid-out dialog, and the window rectangle around it.
    int ClientWidth() const { return clientWidth_; }
    int ClientHeight() const { return clientHeight_; }
    PixelRect WindowRect() const;
    // The item's rectangle in client pixels (empty before a font is set).
    PixelRect ItemRect(size_t index) const;

private:
    DialogTemplate() = default;
    void Layout();

    uint16_t id_ = 0;
    DialogTemplateData data_;
    std::shared_ptr<Font> font_;
    DialogBaseUnits units_;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    std::vector<PixelRect> itemRects_;
};

} // namespace platform
