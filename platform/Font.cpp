#include "platform/Font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

constexpr const char* kFallbackFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// FreeType allows one library to serve many threads as long as face creation and destruction
// are serialised and each face is used by one thread at a time (the per-font lock).
std::mutex g_libraryMutex;
FT_Library g_library = nullptr;
bool g_fontconfigReady = false;
std::string g_pinnedFile;

bool EnsureLibraryLocked()
{
    if (!g_library && FT_Init_FreeType(&g_library) != 0) {
        g_library = nullptr;
        return false;
    }
    return true;
}

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool EqualsNoCase(StringView16 a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(char16_t(static_cast<unsigned char>(b[i]))))
            return false;
    }
    return true;
}

// Faces the program names that a Linux desktop does not have.
std::string LinuxFamily(StringView16 face)
{
    static const char* const kSans[]
        = { "", "Tahoma", "MS Shell Dlg", "MS Shell Dlg 2", "Arial", "Segoe UI", "Verdana", "MS Sans Serif",
              "Microsoft Sans Serif", "Calibri", "Trebuchet MS", "System", "Helvetica", "Arial Unicode MS" };
    static const char* const kSerif[] = { "Times New Roman", "Georgia", "Cambria", "Times" };
    static const char* const kMono[] = { "Courier New", "Consolas", "Lucida Console", "Courier" };
    for (const char* f : kSans)
        if (EqualsNoCase(face, f))
            return "DejaVu Sans";
    for (const char* f : kSerif)
        if (EqualsNoCase(face, f))
            return "DejaVu Serif";
    for (const char* f : kMono)
        if (EqualsNoCase(face, f))
            return "DejaVu Sans Mono";
    return Utf16ToUtf8(face);
}

struct FoundFile {
    std::string path;
    int index = 0;
};

FoundFile FindFileLocked(StringView16 face, int weight, bool italic)
{
    if (!g_pinnedFile.empty())
        return { g_pinnedFile, 0 };
    FoundFile found { kFallbackFile, 0 };
    if (!g_fontconfigReady) {
        g_fontconfigReady = FcInit() == FcTrue;
        // Fontconfig's caches count as leaks to the sanitizers unless released at exit.
        if (g_fontconfigReady)
            std::atexit([] { FcFini(); });
    }
    if (!g_fontconfigReady)
        return found;
    const std::string family = LinuxFamily(face);
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return found;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight, 1, 1000)));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match) {
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
            found.path = reinterpret_cast<const char*>(file);
            if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch)
                found.index = index;
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return found;
}

int Round26_6(FT_Pos v) { return static_cast<int>((v + 32) >> 6); }
int Ceil26_6(FT_Pos v) { return static_cast<int>((v + 63) >> 6); }

// UTF-16 to code points; a lone surrogate becomes U+FFFD.
std::u32string CodePoints(StringView16 text)
{
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        out.push_back(c);
    }
    return out;
}

struct Glyph {
    int advance = 0;
    int left = 0; // bitmap origin relative to the pen and the baseline
    int top = 0;
    int width = 0;
    int rows = 0;
    std::vector<uint8_t> coverage; // width * rows
};

} // namespace

struct Font::Impl {
    std::string path;
    FT_Face face = nullptr;
    bool emboldenSynthetic = false;
    FT_Pos emboldenStrength = 0;
    FontMetrics metrics;
    mutable std::mutex mutex;
    mutable std::unordered_map<char32_t, Glyph> glyphs;

    ~Impl()
    {
        if (face) {
            std::lock_guard<std::mutex> lock(g_libraryMutex);
            FT_Done_Face(face);
        }
    }

    // Caller holds `mutex`.
    const Glyph& GlyphFor(char32_t c) const
    {
        auto it = glyphs.find(c);
        if (it != glyphs.end())
            return it->second;
        Glyph g;
        const FT_UInt index = FT_Get_Char_Index(face, c);
        if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_NORMAL) == 0) {
            FT_GlyphSlot slot = face->glyph;
            FT_Pos advance = slot->advance.x;
            if (emboldenSynthetic && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
                FT_Outline_EmboldenXY(&slot->outline, emboldenStrength, 0);
                advance += emboldenStrength;
            }
            g.advance = Round26_6(advance);
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
                const FT_Bitmap& bm = slot->bitmap;
                g.left = slot->bitmap_left;
                g.top = slot->bitmap_top;
                g.width = static_cast<int>(bm.width);
                g.rows = static_cast<int>(bm.rows);
                g.coverage.resize(static_cast<size_t>(g.width) * g.rows);
                for (int y = 0; y < g.rows; ++y) {
                    const int pitch = bm.pitch;
                    const uint8_t* row = pitch >= 0
                        ? bm.buffer + static_cast<ptrdiff_t>(y) * pitch
                        : bm.buffer + static_cast<ptrdiff_t>(g.rows - 1 - y) * -pitch;
                    std::memcpy(&g.coverage[static_cast<size_t>(y) * g.width], row, g.width);
                }
            }
        }
        return glyphs.emplace(c, std::move(g)).first->second;
    }

    // Calls fn(glyph, pen x) for every character; caller holds `mutex`.
    template <class Fn> int Layout(StringView16 text, Fn&& fn) const
    {
        int pen = 0;
        for (char32_t c : CodePoints(text)) {
            const Glyph& g = GlyphFor(c);
            fn(g, pen);
            pen += g.advance;
        }
        return pen;
    }
};

std::shared_ptr<Font> Font::Create(const FontSpec& wanted)
{
    if (wanted.height == 0)
        return nullptr;
    auto impl = std::make_unique<Impl>();
    const bool wantBold = wanted.weight >= 600;
    {
        std::lock_guard<std::mutex> lock(g_libraryMutex);
        if (!EnsureLibraryLocked())
            return nullptr;
        FoundFile file = FindFileLocked(wanted.face, wanted.weight, wanted.italic);
        if (FT_New_Face(g_library, file.path.c_str(), file.index, &impl->face) != 0) {
            impl->face = nullptr;
            return nullptr;
        }
        impl->path = file.path;
    }
    FT_Face face = impl->face;
    if (!FT_IS_SCALABLE(face))
        return nullptr;

    FT_Size_RequestRec request {};
    request.type = wanted.height > 0 ? FT_SIZE_REQUEST_TYPE_CELL : FT_SIZE_REQUEST_TYPE_NOMINAL;
    request.height = static_cast<FT_Long>(wanted.height > 0 ? wanted.height : -wanted.height) * 64;
    if (FT_Request_Size(face, &request) != 0)
        return nullptr;

    if (wanted.italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC)) {
        FT_Matrix shear { 0x10000, 0x3800, 0, 0x10000 }; // about 12 degrees
        FT_Set_Transform(face, &shear, nullptr);
    }
    const FT_Size_Metrics& sm = face->size->metrics;
    if (wantBold && !(face->style_flags & FT_STYLE_FLAG_BOLD)) {
        impl->emboldenSynthetic = true;
        impl->emboldenStrength = std::max<FT_Pos>(32, FT_MulFix(face->units_per_EM, sm.y_scale) / 24);
    }

    FontMetrics& m = impl->metrics;
    m.ascent = Ceil26_6(sm.ascender);
    m.descent = Ceil26_6(-sm.descender);
    m.height = m.ascent + m.descent;
    m.internalLeading = std::max(0, m.height - static_cast<int>(sm.y_ppem));
    m.maxCharWidth = Ceil26_6(sm.max_advance);
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->xAvgCharWidth > 0) {
        m.averageCharWidth = Round26_6(FT_MulFix(os2->xAvgCharWidth, sm.x_scale));
    } else {
        std::lock_guard<std::mutex> lock(impl->mutex);
        m.averageCharWidth = impl->GlyphFor(U'x').advance;
    }
    return std::shared_ptr<Font>(new Font(wanted, std::move(impl)));
}

Font::Font(FontSpec wanted, std::unique_ptr<Impl> impl)
    : spec_(std::move(wanted))
    , impl_(std::move(impl))
{
}
Font::~Font() = default;

const std::string& Font::FilePath() const { return impl_->path; }
FontMetrics Font::Metrics() const { return impl_->metrics; }

TextExtent Font::MeasureText(StringView16 text) const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const int width = impl_->Layout(text, [](const Glyph&, int) {});
    return { width, impl_->metrics.height };
}

void Font::DrawText(const BitmapView& target, int x, int y, StringView16 text, uint32_t colour) const
{
    if (!target.pixels || target.width <= 0 || target.height <= 0)
        return;
    const int cr = (colour >> 16) & 0xFF, cg = (colour >> 8) & 0xFF, cb = colour & 0xFF;
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const int baseline = y + impl_->metrics.ascent;
    impl_->Layout(text, [&](const Glyph& g, int pen) {
        const int gx = x + pen + g.left;
        const int gy = baseline - g.top;
        const int x0 = std::max(0, gx), x1 = std::min(target.width, gx + g.width);
        const int y0 = std::max(0, gy), y1 = std::min(target.height, gy + g.rows);
        for (int py = y0; py < y1; ++py) {
            const uint8_t* src = &g.coverage[static_cast<size_t>(py - gy) * g.width];
            uint8_t* row = target.pixels + static_cast<ptrdiff_t>(py) * target.stride;
            for (int px = x0; px < x1; ++px) {
                const int c = src[px - gx];
                if (c == 0)
                    continue;
                uint8_t* p = row + px * 4;
                p[0] = static_cast<uint8_t>((cb * c + p[0] * (255 - c) + 127) / 255);
                p[1] = static_cast<uint8_t>((cg * c + p[1] * (255 - c) + 127) / 255);
                p[2] = static_cast<uint8_t>((cr * c + p[2] * (255 - c) + 127) / 255);
                p[3] = static_cast<uint8_t>(p[3] + ((255 - p[3]) * c + 127) / 255);
            }
        }
    });
}

CoverageBitmap Font::RenderCoverage(StringView16 text) const
{
    CoverageBitmap out;
    const TextExtent extent = MeasureText(text);
    out.width = extent.width;
    out.height = extent.height;
    if (out.width <= 0 || out.height <= 0) {
        out.width = 0;
        return out;
    }
    out.bgra.assign(static_cast<size_t>(out.width) * out.height * 4, 0);
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const int ascent = impl_->metrics.ascent;
    impl_->Layout(text, [&](const Glyph& g, int pen) {
        const int gx = pen + g.left;
        const int gy = ascent - g.top;
        const int x0 = std::max(0, gx), x1 = std::min(out.width, gx + g.width);
        const int y0 = std::max(0, gy), y1 = std::min(out.height, gy + g.rows);
        for (int py = y0; py < y1; ++py) {
            const uint8_t* src = &g.coverage[static_cast<size_t>(py - gy) * g.width];
            uint8_t* row = &out.bgra[static_cast<size_t>(py) * out.width * 4];
            for (int px = x0; px < x1; ++px) {
                const uint8_t c = src[px - gx];
                uint8_t* p = row + px * 4;
                // Overlapping glyphs keep the stronger coverage, as white text drawn twice would.
                if (c > p[0])
                    p[0] = p[1] = p[2] = p[3] = c;
            }
        }
    });
    return out;
}

void PinFontFile(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_libraryMutex);
    g_pinnedFile = path;
}

std::string FindFontFile(StringView16 face, int weight, bool italic)
{
    std::lock_guard<std::mutex> lock(g_libraryMutex);
    return FindFileLocked(face, weight, italic).path;
}

} // namespace platform
