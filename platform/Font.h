// Fonts and glyph rendering: the stand-in for GDI fonts (create by face, height, weight and
// italic; text metrics; string extents; text drawn into a 32-bit BGRA bitmap).
#pragma once

#include "platform/Text.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct FontSpec {
    String16 face; // empty means the default UI face
    int height = 14; // > 0: cell height (ascent + descent) in pixels; < 0: em size in pixels
    int weight = 400; // 100..900; 700 and above is bold
    bool italic = false;
};

struct FontMetrics {
    int height = 0; // ascent + descent
    int ascent = 0;
    int descent = 0;
    int internalLeading = 0; // height minus the em size
    int averageCharWidth = 0;
    int maxCharWidth = 0;
};

struct TextExtent {
    int width = 0;
    int height = 0;
};

// A caller-owned 32-bit BGRA bitmap, rows top-down.
struct BitmapView {
    uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0; // bytes per row
};

// A coverage picture: four equal bytes per pixel, 0 outside the glyphs, 255 inside.
struct CoverageBitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgra; // width * height * 4
};

class Font {
public:
    // Null when no font file can be found or loaded. Windows faces without a Linux file
    // ("Tahoma", "MS Shell Dlg", "Arial", "Segoe UI", ...) map to DejaVu Sans. Fonts are kept
    // by face, height, weight and italic: asking again for the same gives the same object, so
    // switching between faces and sizes costs neither a file load nor re-rendered glyphs.
    static std::shared_ptr<Font> Create(const FontSpec& wanted);
    // A new font outside the cache.
    static std::shared_ptr<Font> CreateUncached(const FontSpec& wanted);

    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    const FontSpec& Spec() const { return spec_; }
    const std::string& FilePath() const;
    FontMetrics Metrics() const;

    // Sum of the advances; the height is the font's cell height. An empty text is 0 wide.
    TextExtent MeasureText(StringView16 text) const;

    // Draws the text with its cell's top-left corner at (x, y), clipped to the target: each of
    // B, G, R moves toward the colour (0x00RRGGBB) by the glyph coverage and alpha toward 255,
    // like opaque text over the existing pixels. Thread-safe.
    void DrawText(const BitmapView& target, int x, int y, StringView16 text, uint32_t colour) const;

    // Whether the character can be drawn: this font's face has it, or (with `allowFallback`)
    // another installed face that fontconfig offers for it. Characters no face has are drawn
    // as this face's missing-glyph box. No fallback while a font file is pinned.
    bool HasGlyph(char32_t c, bool allowFallback = true) const;
    // Every character of the text has a glyph (CR, LF and tab need none).
    bool CanRender(StringView16 text) const;
    // Files of the fallback faces this font has opened so far.
    std::vector<std::string> FallbackFiles() const;

    // The text alone as a coverage picture of its measured extent (GDI's white text on black).
    CoverageBitmap RenderCoverage(StringView16 text) const;

    struct Impl;

private:
    explicit Font(FontSpec wanted, std::unique_ptr<Impl> impl);
    FontSpec spec_;
    std::unique_ptr<Impl> impl_;
};

// Every face resolves to this file while it is set (tests pin DejaVuSans.ttf so pixels
// repeat); an empty path restores the fontconfig lookup. Affects fonts created afterwards.
void PinFontFile(const std::string& path);

// Drops every kept font (callers' references stay valid); the number kept.
void ClearFontCache();
size_t FontCacheSize();

// The file fontconfig chooses for a face, weight and slant (after the Windows-face mapping).
std::string FindFontFile(StringView16 face, int weight, bool italic);

} // namespace platform
