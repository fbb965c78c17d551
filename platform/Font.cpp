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

// A scalable face of the family, weight and slant (and characters, when given), with
// fontconfig's substitutions applied; null when out of memory.
FcPattern* MakePattern(const std::string& family, int weight, bool italic, const FcCharSet* chars)
{
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return nullptr;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    if (chars)
        FcPatternAddCharSet(pattern, FC_CHARSET, chars);
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight, 1, 1000)));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    return pattern;
}

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
    FcPattern* pattern = MakePattern(LinuxFamily(face), weight, italic, nullptr);
    if (!pattern)
        return found;
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

// A file whose face has the character, near the wanted family; empty when none has it.
FoundFile FindFallbackLocked(const std::string& family, char32_t c, int weight, bool italic)
{
    FoundFile found;
    if (!g_fontconfigReady)
        return found;
    FcCharSet* chars = FcCharSetCreate();
    if (!chars)
        return found;
    FcCharSetAddChar(chars, c);
    FcPattern* pattern = MakePattern(family, weight, italic, chars);
    if (!pattern) {
        FcCharSetDestroy(chars);
        return found;
    }
    FcResult result = FcResultNoMatch;
    // The sorted list puts the faces that have the character first; take the first that has it.
    FcFontSet* set = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
    if (set) {
        for (int i = 0; i < set->nfont && found.path.empty(); ++i) {
            FcCharSet* has = nullptr;
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &has) != FcResultMatch || !FcCharSetHasChar(has, c))
                continue;
            if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch || !file)
                continue;
            FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
            found.path = reinterpret_cast<const char*>(file);
            found.index = index;
        }
        FcFontSetDestroy(set);
    }
    FcCharSetDestroy(chars);
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
    std::string family; // the fontconfig family asked for, for fallback lookups
    FT_Face face = nullptr;
    bool pinned = false;
    int weight = 400;
    bool italic = false;
    bool emboldenSynthetic = false;
    FT_Pos emboldenStrength = 0;
    FontMetrics metrics;
    mutable std::mutex mutex;
    mutable std::unordered_map<char32_t, Glyph> glyphs;
    // Faces of other files that supply characters this face lacks, sized like it; opened on
    // first need. `missing` remembers characters no installed face has.
    struct Fallback {
        std::string path;
        FT_Face face = nullptr;
        bool emboldenSynthetic = false;
    };
    mutable std::vector<Fallback> fallbacks;
    mutable std::unordered_map<char32_t, bool> missing;

    ~Impl()
    {
        std::lock_guard<std::mutex> lock(g_libraryMutex);
        for (Fallback& f : fallbacks)
            FT_Done_Face(f.face);
        if (face)
            FT_Done_Face(face);
    }

    // Sets a face to this font's size and slant; false when it cannot be sized.
    bool PrepareFace(FT_Face f, bool& synthetic) const
    {
        FT_Size_RequestRec request {};
        request.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
        request.height = face->size->metrics.y_ppem * 64;
        if (!FT_IS_SCALABLE(f) || FT_Request_Size(f, &request) != 0)
            return false;
        if (italic && !(f->style_flags & FT_STYLE_FLAG_ITALIC)) {
            FT_Matrix shear { 0x10000, 0x3800, 0, 0x10000 };
            FT_Set_Transform(f, &shear, nullptr);
        }
        synthetic = weight >= 600 && !(f->style_flags & FT_STYLE_FLAG_BOLD);
        return true;
    }

    // The face that has the character: this one, an open fallback, or a new fallback; null
    // when none has it. Caller holds `mutex`.
    FT_Face FaceFor(char32_t c, bool& synthetic, FT_UInt& index) const
    {
        index = FT_Get_Char_Index(face, c);
        synthetic = emboldenSynthetic;
        if (index != 0 || pinned)
            return index != 0 ? face : nullptr;
        for (const Fallback& f : fallbacks) {
            index = FT_Get_Char_Index(f.face, c);
            if (index != 0) {
                synthetic = f.emboldenSynthetic;
                return f.face;
            }
        }
        if (missing.count(c) || fallbacks.size() >= 8)
            return nullptr;
        Fallback added;
        {
            std::lock_guard<std::mutex> lock(g_libraryMutex);
            const FoundFile file = FindFallbackLocked(family, c, weight, italic);
            if (!file.path.empty() && file.path != path)
                if (FT_New_Face(g_library, file.path.c_str(), file.index, &added.face) != 0)
                    added.face = nullptr;
            added.path = file.path;
        }
        if (added.face && PrepareFace(added.face, added.emboldenSynthetic)) {
            index = FT_Get_Char_Index(added.face, c);
            if (index != 0) {
                fallbacks.push_back(added);
                synthetic = added.emboldenSynthetic;
                return added.face;
            }
        }
        if (added.face) {
            std::lock_guard<std::mutex> lock(g_libraryMutex);
            FT_Done_Face(added.face);
        }
        if (missing.size() < 4096)
            missing.emplace(c, true);
        return nullptr;
    }

    // Caller holds `mutex`.
    const Glyph& GlyphFor(char32_t c) const
    {
        auto it = glyphs.find(c);
        if (it != glyphs.end())
            return it->second;
        Glyph g;
        bool synthetic = false;
        FT_UInt index = 0;
        FT_Face from = FaceFor(c, synthetic, index);
        if (!from) {
            from = face; // the face's own "missing" box
            index = 0;
            synthetic = emboldenSynthetic;
        }
        if (FT_Load_Glyph(from, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_NORMAL) == 0) {
            FT_GlyphSlot slot = from->glyph;
            FT_Pos advance = slot->advance.x;
            if (synthetic && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
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

namespace {

// Fonts made so far, by what was asked for. Fonts are immutable apart from their own glyph
// caches, so one object serves every caller; the oldest unused entry goes past the limit.
constexpr size_t kFontCacheLimit = 64;

struct CacheKey {
    String16 face;
    int height;
    int weight;
    bool italic;
    bool operator==(const CacheKey&) const = default;
};

struct CacheEntry {
    CacheKey key;
    std::shared_ptr<Font> font;
    uint64_t lastUse = 0;
};

std::mutex g_cacheMutex;
std::vector<CacheEntry> g_cache;
uint64_t g_cacheClock = 0;
uint64_t g_cacheGeneration = 0; // bumped when the pinned file changes

} // namespace

std::shared_ptr<Font> Font::Create(const FontSpec& wanted)
{
    if (wanted.height == 0)
        return nullptr;
    const CacheKey key { wanted.face, wanted.height, wanted.weight, wanted.italic };
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(g_cacheMutex);
        for (CacheEntry& e : g_cache) {
            if (e.key == key) {
                e.lastUse = ++g_cacheClock;
                return e.font;
            }
        }
        generation = g_cacheGeneration;
    }
    std::shared_ptr<Font> made = CreateUncached(wanted);
    if (!made)
        return nullptr;
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    if (generation != g_cacheGeneration)
        return made; // the pinned file changed meanwhile: do not keep a font of the old one
    for (CacheEntry& e : g_cache) {
        if (e.key == key) { // made by another thread meanwhile
            e.lastUse = ++g_cacheClock;
            return e.font;
        }
    }
    if (g_cache.size() >= kFontCacheLimit) {
        auto oldest = std::min_element(g_cache.begin(), g_cache.end(),
            [](const CacheEntry& a, const CacheEntry& b) { return a.lastUse < b.lastUse; });
        g_cache.erase(oldest);
    }
    g_cache.push_back({ key, made, ++g_cacheClock });
    return made;
}

void ClearFontCache()
{
    std::vector<CacheEntry> dropped;
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    dropped.swap(g_cache);
    ++g_cacheGeneration;
}

size_t FontCacheSize()
{
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    return g_cache.size();
}

std::shared_ptr<Font> Font::CreateUncached(const FontSpec& wanted)
{
    if (wanted.height == 0)
        return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->weight = wanted.weight;
    impl->italic = wanted.italic;
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
        impl->pinned = !g_pinnedFile.empty();
        impl->family = LinuxFamily(wanted.face);
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
    {
        std::lock_guard<std::mutex> lock(g_libraryMutex);
        g_pinnedFile = path;
    }
    ClearFontCache();
}

bool Font::HasGlyph(char32_t c, bool allowFallback) const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (FT_Get_Char_Index(impl_->face, c) != 0)
        return true;
    if (!allowFallback)
        return false;
    bool synthetic = false;
    FT_UInt index = 0;
    return impl_->FaceFor(c, synthetic, index) != nullptr;
}

bool Font::CanRender(StringView16 text) const
{
    for (char32_t c : CodePoints(text)) {
        // Line breaks and tabs are never drawn as glyphs.
        if (c == U'\r' || c == U'\n' || c == U'\t')
            continue;
        if (!HasGlyph(c))
            return false;
    }
    return true;
}

std::vector<std::string> Font::FallbackFiles() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    std::vector<std::string> files;
    for (const Impl::Fallback& f : impl_->fallbacks)
        files.push_back(f.path);
    return files;
}

std::string FindFontFile(StringView16 face, int weight, bool italic)
{
    std::lock_guard<std::mutex> lock(g_libraryMutex);
    return FindFileLocked(face, weight, italic).path;
}

} // namespace platform
