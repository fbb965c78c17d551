#include "platform/Metafile.h"

#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <libwmf/gd/gd.h>
#include <libwmf/ipa.h>
#include <libwmf/macro.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform {

namespace {

// libwmf keeps font and error state in process-wide tables set up on first use.
std::mutex g_wmfLock;

constexpr int kMaxSide = 16384;

// libwmf looks fonts up by their PostScript names; the standard faces map to DejaVu.
#define ZD_DEJAVU "/usr/share/fonts/truetype/dejavu/"
wmfMapping g_fontFiles[] = {
    {const_cast<char*>("Times-Roman"), const_cast<char*>(ZD_DEJAVU "DejaVuSerif.ttf"), FT_ENCODING_NONE},
    {const_cast<char*>("Times-Italic"), const_cast<char*>(ZD_DEJAVU "DejaVuSerif-Italic.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Times-Bold"), const_cast<char*>(ZD_DEJAVU "DejaVuSerif-Bold.ttf"), FT_ENCODING_NONE},
    {const_cast<char*>("Times-BoldItalic"), const_cast<char*>(ZD_DEJAVU "DejaVuSerif-BoldItalic.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Helvetica"), const_cast<char*>(ZD_DEJAVU "DejaVuSans.ttf"), FT_ENCODING_NONE},
    {const_cast<char*>("Helvetica-Oblique"), const_cast<char*>(ZD_DEJAVU "DejaVuSans-Oblique.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Helvetica-Bold"), const_cast<char*>(ZD_DEJAVU "DejaVuSans-Bold.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Helvetica-BoldOblique"), const_cast<char*>(ZD_DEJAVU "DejaVuSans-BoldOblique.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Courier"), const_cast<char*>(ZD_DEJAVU "DejaVuSansMono.ttf"), FT_ENCODING_NONE},
    {const_cast<char*>("Courier-Oblique"), const_cast<char*>(ZD_DEJAVU "DejaVuSansMono-Oblique.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Courier-Bold"), const_cast<char*>(ZD_DEJAVU "DejaVuSansMono-Bold.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Courier-BoldOblique"), const_cast<char*>(ZD_DEJAVU "DejaVuSansMono-BoldOblique.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Symbol"), const_cast<char*>(ZD_DEJAVU "DejaVuSans.ttf"), FT_ENCODING_NONE},
    {const_cast<char*>("ZapfDingbats"), const_cast<char*>(ZD_DEJAVU "DejaVuSans.ttf"), FT_ENCODING_NONE},
    {nullptr, nullptr, FT_ENCODING_NONE}};
char* g_fontDirs[] = {const_cast<char*>(ZD_DEJAVU), nullptr};
#undef ZD_DEJAVU

// The gd picture of a memory render belongs to the caller, and libwmf exports no call to free
// it: it is one pixel block, one block of row pointers and the image record, all malloc'ed.
void FreeGdImage(void* image)
{
    auto* im = static_cast<gdImagePtr>(image);
    if (!im)
        return;
    int* block = wmf_gd_image_pixels(image);
    free(block);
    free(im->tpixels);
    free(im);
}

int16_t ReadI16(const uint8_t* p)
{
    return static_cast<int16_t>(p[0] | (p[1] << 8));
}
uint32_t ReadU32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}
void PutI16(uint8_t* p, int v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

uint16_t ReadU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The parameters of one record (the words after its size and function), as far as the record
// holds them: counts that run past the record are refused before libwmf reads them.
struct Params {
    const uint8_t* p;
    uint64_t words;
    uint16_t Word(uint64_t i) const { return i < words ? ReadU16(p + 2 * i) : 0; }
};

// What a record's parameters must hold for the counts they state; false when a count, a string,
// a point list, a palette or a bitmap runs past the record.
bool ParamsFit(uint16_t function, const Params& r)
{
    switch (function) {
    case 0x0324: // Polygon
    case 0x0325: // Polyline
        return r.words >= 1 && 1 + 2 * uint64_t(r.Word(0)) <= r.words;
    case 0x0538: { // PolyPolygon: count of polygons, their point counts, the points
        if (r.words < 1)
            return false;
        const uint64_t polygons = r.Word(0);
        if (1 + polygons > r.words)
            return false;
        uint64_t points = 0;
        for (uint64_t i = 0; i < polygons; ++i)
            points += r.Word(1 + i);
        return 1 + polygons + 2 * points <= r.words;
    }
    case 0x0521: // TextOut: length, string (padded to words), y, x
        return r.words >= 1 && 1 + (uint64_t(r.Word(0)) + 1) / 2 + 2 <= r.words;
    case 0x0A32: { // ExtTextOut: y, x, length, options, [rectangle], string, [spacing]
        if (r.words < 4)
            return false;
        const uint64_t length = r.Word(2);
        const uint64_t rect = (r.Word(3) & 0x0006) ? 4 : 0;
        return 4 + rect + (length + 1) / 2 <= r.words;
    }
    case 0x00F7: // CreatePalette: start, count, entries
    case 0x0037: // SetPalEntries
    case 0x0038: // AnimatePalette
        return r.words >= 2 && 2 + 2 * uint64_t(r.Word(1)) <= r.words;
    case 0x0940: // DIBBitBlt
    case 0x0B41: // DIBStretchBlt
    case 0x0F43: // StretchDIBits
    case 0x0D33: { // SetDIBitsToDevice
        // The device-independent bitmap closes the record: its header, colours and rows must
        // lie inside it, and its size must be one a picture of ours could show.
        const uint64_t before = function == 0x0940 ? 8 : function == 0x0B41 ? 10 : function == 0x0F43 ? 11 : 9;
        // Without a bitmap (one reserved word more, nothing after) the two blits are pattern fills.
        if ((function == 0x0940 || function == 0x0B41) && r.words == before + 1)
            return true;
        if (r.words < before + 20)
            return false;
        const uint8_t* h = r.p + 2 * before;
        const uint64_t bytes = 2 * (r.words - before);
        const uint32_t size = ReadU32(h);
        if (size == 12) {
            const uint64_t w = ReadU16(h + 4), ht = ReadU16(h + 6), bits = ReadU16(h + 10);
            const uint64_t colours = bits <= 8 ? (uint64_t(1) << bits) : 0;
            return w && ht && w <= 16384 && ht <= 16384 && 12 + 3 * colours + ((w * bits + 31) / 32) * 4 * ht <= bytes;
        }
        if (size < 40 || size > bytes)
            return false;
        const int64_t w = int32_t(ReadU32(h + 4)), ht = std::abs(int64_t(int32_t(ReadU32(h + 8))));
        const uint64_t bits = ReadU16(h + 14);
        const uint32_t compression = ReadU32(h + 16);
        uint64_t colours = ReadU32(h + 32);
        if (colours == 0 && bits <= 8)
            colours = uint64_t(1) << bits;
        if (w <= 0 || ht <= 0 || w > 16384 || ht > 16384 || colours > 256 || size + 4 * colours > bytes)
            return false;
        // Compressed rows are at most their own size in bytes; plain ones exactly.
        return compression != 0 || size + 4 * colours + ((uint64_t(w) * bits + 31) / 32) * 4 * uint64_t(ht) <= bytes;
    }
    case 0x06FF: // CreateRegion: a header of 10 words, then scans
        return r.words >= 10;
    default:
        return true;
    }
}

// libwmf draws a wide pen through a brush picture of the pen's size and renders glyphs at the
// font's height, so a hostile file can ask for gigabytes. Nothing drawn can be wider than the
// whole window, so pen widths and font heights are limited by the smallest window extent the
// file sets (or the frame). Records must also lie inside the file, the file ends at its end
// record, and the header's size and largest record are set from the records themselves.
bool LimitRecords(std::vector<unsigned char>& wmf, int frameW, int frameH)
{
    constexpr size_t kFirstRecord = 22 + 18;
    int limit = std::max(frameW, frameH);
    uint64_t maxWords = 3;
    uint64_t records = 0;
    // First pass: check the record chain and find the smallest window extent.
    for (size_t at = kFirstRecord;;) {
        if (at + 6 > wmf.size() || ++records > kMaxMetafileRecords)
            return false;
        const uint64_t words = ReadU32(&wmf[at]);
        const uint16_t function = static_cast<uint16_t>(wmf[at + 4] | (wmf[at + 5] << 8));
        if (words < 3 || at + words * 2 > wmf.size())
            return false;
        if (!ParamsFit(function, Params { &wmf[at + 6], words - 3 }))
            return false;
        if (function == 0) {
            // The end record ends the file, whatever size it claims: nothing after it is played.
            wmf[at] = 3;
            wmf[at + 1] = wmf[at + 2] = wmf[at + 3] = 0;
            wmf.resize(at + 6);
            const uint32_t total = static_cast<uint32_t>((wmf.size() - 22) / 2);
            for (int i = 0; i < 4; ++i)
                wmf[22 + 6 + i] = static_cast<unsigned char>(total >> (8 * i));
            break;
        }
        maxWords = std::max(maxWords, words);
        if (function == 0x020C && words >= 5)
            limit = std::min(
                limit, std::max(std::abs(int(ReadI16(&wmf[at + 6]))), std::abs(int(ReadI16(&wmf[at + 8])))));
        at += static_cast<size_t>(words) * 2;
    }
    // gd stamps a square brush of the pen's width at every point of a line, and lines may run far
    // outside the picture: pens wider than 1/32 of the window cost too much for what they show.
    const int fontLimit = std::max(limit, 1);
    const int penLimit = std::max(limit / 32, 1);
    // libwmf sizes its record buffer by the header's largest-record field: make it the truth.
    wmf[22 + 12] = static_cast<unsigned char>(maxWords);
    wmf[22 + 13] = static_cast<unsigned char>(maxWords >> 8);
    wmf[22 + 14] = static_cast<unsigned char>(maxWords >> 16);
    wmf[22 + 15] = static_cast<unsigned char>(maxWords >> 24);
    for (size_t at = kFirstRecord;;) {
        const uint64_t words = ReadU32(&wmf[at]);
        const uint16_t function = static_cast<uint16_t>(wmf[at + 4] | (wmf[at + 5] << 8));
        if (function == 0)
            break;
        // CreatePenIndirect: style, width (x, y); CreateFontIndirect: height, width first.
        if ((function == 0x02FA && words >= 6) || (function == 0x02FB && words >= 5)) {
            for (size_t field : {size_t(0), size_t(1)}) {
                const size_t pos = at + 6 + (function == 0x02FA ? 2 : 0) + field * 2;
                const int v = ReadI16(&wmf[pos]);
                const int limit = function == 0x02FA ? penLimit : fontLimit;
                if (std::abs(v) > limit)
                    PutI16(&wmf[pos], v < 0 ? -limit : limit);
            }
        }
        at += static_cast<size_t>(words) * 2;
    }
    return true;
}

// Stands between libwmf's player and the gd device while a metafile plays. gd walks every row
// (and every edge) of a shape's whole extent, even far outside the picture, so a few bytes with
// huge coordinates kept it busy for minutes. Here every shape is brought near the picture first:
// rectangles are clamped, polygons clipped, lines cut, text wholly outside skipped; shapes that
// cannot be cut exactly (ellipses, arcs, rounded corners, bitmaps) count their whole extent and
// stop the play when they reach more than four picture sizes out. Every call's drawing is
// counted in pixel operations, and a file that asks for more than kMaxMetafileWork stops too.
// A stopped play fails (the file is refused).
class PlayGuard {
public:
    PlayGuard(wmfAPI* api, const wmfD_Rect& frame, int width, int height)
        : m_api(api), m_width(width), m_height(height)
    {
        m_left = frame.TL.x;
        m_top = frame.TL.y;
        m_toPixelX = width / double(frame.BR.x - frame.TL.x);
        m_toPixelY = height / double(frame.BR.y - frame.TL.y);
        // What may be drawn: the picture with a margin all round wider than any pen (pens are
        // limited to 1/32 of the window), so that what is cut off there never reaches the
        // picture. gd's fills cost the whole extent of a shape, so the margin stays narrow.
        const double margin = std::max(width, height) / 16.0 + 16;
        m_near = { -margin, -margin, width + margin, height + margin };
        // Shapes that cannot be cut may reach further (a circle the window crops); their whole
        // extent is counted.
        const double reach = 4.0 * std::max(width, height);
        m_far = { -reach, -reach, width + reach, height + reach };
        auto* functions = static_cast<wmfFunctionReference*>(api->function_reference);
        m_gd = *functions;
        api->user_data = this;
        // Only what the device draws itself (without a device function the player makes do
        // with the others, which are watched).
        auto watch = [](auto& slot, auto guard) {
            if (slot)
                slot = guard;
        };
        watch(functions->draw_polygon, &PlayGuard::Polygon);
        watch(functions->draw_polypolygon, &PlayGuard::PolyPolygon);
        watch(functions->poly_line, &PlayGuard::PolyLine);
        watch(functions->draw_line, &PlayGuard::Line);
        watch(functions->draw_rectangle, &PlayGuard::Rectangle);
        watch(functions->rop_draw, &PlayGuard::Rop);
        watch(functions->draw_ellipse, &PlayGuard::Ellipse);
        watch(functions->draw_arc, &PlayGuard::Arc);
        watch(functions->draw_pie, &PlayGuard::Pie);
        watch(functions->draw_chord, &PlayGuard::Chord);
        watch(functions->draw_pixel, &PlayGuard::Pixel);
        watch(functions->flood_interior, &PlayGuard::FloodInterior);
        watch(functions->flood_exterior, &PlayGuard::FloodExterior);
        watch(functions->bmp_draw, &PlayGuard::Bitmap);
        watch(functions->draw_text, &PlayGuard::Text);
        watch(functions->region_frame, &PlayGuard::RegionFrame);
        watch(functions->region_paint, &PlayGuard::RegionPaint);
    }

    bool Stopped() const { return m_stopped; }
    uint64_t Work() const { return m_work; }

private:
    struct Box {
        double x0, y0, x1, y1;
    };
    struct Point {
        double x, y; // pixels
    };

    static PlayGuard& Of(wmfAPI* api) { return *static_cast<PlayGuard*>(api->user_data); }

    Point ToPixels(const wmfD_Coord& c) const { return { (c.x - m_left) * m_toPixelX, (c.y - m_top) * m_toPixelY }; }
    wmfD_Coord ToPoints(const Point& p) const
    {
        return { float(m_left + p.x / m_toPixelX), float(m_top + p.y / m_toPixelY) };
    }
    bool Inside(const Point& p, const Box& b) const { return p.x >= b.x0 && p.x <= b.x1 && p.y >= b.y0 && p.y <= b.y1; }
    // The part of the picture a box covers, in pixels (0 when none).
    double VisibleArea(double x0, double y0, double x1, double y1) const
    {
        const double w = std::min<double>(std::max(x0, x1), m_width) - std::max(0.0, std::min(x0, x1));
        const double h = std::min<double>(std::max(y0, y1), m_height) - std::max(0.0, std::min(y0, y1));
        return w > 0 && h > 0 ? (w + 1) * (h + 1) : 0;
    }
    double PenPixels(wmfDC* dc) const
    {
        const double w = dc && dc->pen ? std::abs(dc->pen->width) * m_toPixelX : 1;
        return std::isfinite(w) ? std::max(1.0, w) : 1e9;
    }

    // Counts drawing; false once the play has to stop.
    bool Spend(double operations)
    {
        if (m_stopped)
            return false;
        if (!std::isfinite(operations) || operations < 0 || m_work + operations > double(kMaxMetafileWork))
            return Stop();
        m_work += uint64_t(operations) + 1;
        return true;
    }
    bool Stop()
    {
        m_stopped = true;
        m_api->err = wmf_E_Glitch;
        return false;
    }

    // A shape that cannot be cut exactly must not lie far from the picture.
    bool NotFar(const wmfD_Coord& a, const wmfD_Coord& b) const
    {
        return Inside(ToPixels(a), m_far) && Inside(ToPixels(b), m_far);
    }
    bool Near(const wmfD_Coord& a, const wmfD_Coord& b) const
    {
        return Inside(ToPixels(a), m_near) && Inside(ToPixels(b), m_near);
    }

    // Sutherland-Hodgman against the near box, in pixels.
    std::vector<Point> Clip(std::vector<Point> points) const
    {
        for (int side = 0; side < 4 && !points.empty(); ++side) {
            auto inside = [&](const Point& p) {
                switch (side) {
                case 0: return p.x >= m_near.x0;
                case 1: return p.x <= m_near.x1;
                case 2: return p.y >= m_near.y0;
                default: return p.y <= m_near.y1;
                }
            };
            auto cross = [&](const Point& a, const Point& b) {
                const double edge = side == 0 ? m_near.x0 : side == 1 ? m_near.x1 : side == 2 ? m_near.y0 : m_near.y1;
                const double t = side < 2 ? (edge - a.x) / (b.x - a.x) : (edge - a.y) / (b.y - a.y);
                return Point { a.x + t * (b.x - a.x), a.y + t * (b.y - a.y) };
            };
            std::vector<Point> out;
            out.reserve(points.size() + 4);
            for (size_t i = 0; i < points.size(); ++i) {
                const Point& current = points[i];
                const Point& previous = points[(i + points.size() - 1) % points.size()];
                if (inside(current)) {
                    if (!inside(previous))
                        out.push_back(cross(previous, current));
                    out.push_back(current);
                } else if (inside(previous)) {
                    out.push_back(cross(previous, current));
                }
            }
            points.swap(out);
        }
        return points;
    }

    // A polygon near the picture, its fill's cost counted (gd walks every row of its extent
    // and every edge on each); false when nothing of it remains or the play stops.
    bool NearPolygon(const wmfD_Coord* pt, size_t count, wmfDC* dc, std::vector<wmfD_Coord>& out)
    {
        std::vector<Point> points(count);
        for (size_t i = 0; i < count; ++i)
            points[i] = ToPixels(pt[i]);
        bool allNear = true;
        for (const Point& p : points)
            allNear = allNear && Inside(p, m_near);
        if (!allNear)
            points = Clip(std::move(points));
        if (points.empty() || points.size() > 0xFFFF)
            return points.empty() ? false : Stop();
        double y0 = points[0].y, y1 = y0, x0 = points[0].x, x1 = x0;
        out.resize(points.size());
        for (size_t i = 0; i < points.size(); ++i) {
            y0 = std::min(y0, points[i].y), y1 = std::max(y1, points[i].y);
            x0 = std::min(x0, points[i].x), x1 = std::max(x1, points[i].x);
            out[i] = allNear ? pt[i] : ToPoints(points[i]);
        }
        const double pen = PenPixels(dc);
        return Spend((y1 - y0 + 2) * (double(points.size()) + 8) + (x1 - x0 + 1) * (y1 - y0 + 1) +
                     (x1 - x0 + y1 - y0) * 2 * pen * pen);
    }

    // A line cut to the near box (Liang-Barsky); false when none of it is near.
    bool NearLine(Point& a, Point& b) const
    {
        double t0 = 0, t1 = 1;
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double p[4] = { -dx, dx, -dy, dy };
        const double q[4] = { a.x - m_near.x0, m_near.x1 - a.x, a.y - m_near.y0, m_near.y1 - a.y };
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0) {
                if (q[i] < 0)
                    return false;
                continue;
            }
            const double t = q[i] / p[i];
            if (p[i] < 0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
            if (t0 > t1)
                return false;
        }
        const Point from { a.x + t0 * dx, a.y + t0 * dy }, to { a.x + t1 * dx, a.y + t1 * dy };
        a = from;
        b = to;
        return true;
    }

    static void Polygon(wmfAPI* api, wmfPolyLine_t* poly)
    {
        PlayGuard& g = Of(api);
        std::vector<wmfD_Coord> points;
        if (!poly || !poly->pt || !g.NearPolygon(poly->pt, poly->count, poly->dc, points))
            return;
        wmfPolyLine_t near = *poly;
        near.pt = points.data();
        near.count = static_cast<U16>(points.size());
        g.m_gd.draw_polygon(api, &near);
    }

    static void PolyPolygon(wmfAPI* api, wmfPolyPoly_t* poly)
    {
        PlayGuard& g = Of(api);
        if (!poly || !poly->pt || !poly->count)
            return;
        std::vector<std::vector<wmfD_Coord>> polygons;
        for (U16 i = 0; i < poly->npoly; ++i) {
            std::vector<wmfD_Coord> points;
            if (poly->pt[i] && g.NearPolygon(poly->pt[i], poly->count[i], poly->dc, points))
                polygons.push_back(std::move(points));
            else if (g.Stopped())
                return;
        }
        if (polygons.empty())
            return;
        std::vector<wmfD_Coord*> lists;
        std::vector<U16> counts;
        for (auto& p : polygons) {
            lists.push_back(p.data());
            counts.push_back(static_cast<U16>(p.size()));
        }
        wmfPolyPoly_t near = *poly;
        near.pt = lists.data();
        near.count = counts.data();
        near.npoly = static_cast<U16>(lists.size());
        g.m_gd.draw_polypolygon(api, &near);
    }

    static void Line(wmfAPI* api, wmfDrawLine_t* line)
    {
        PlayGuard& g = Of(api);
        if (!line)
            return;
        Point a = g.ToPixels(line->from), b = g.ToPixels(line->to);
        if (!g.NearLine(a, b))
            return;
        const double pen = g.PenPixels(line->dc);
        if (!g.Spend((std::abs(b.x - a.x) + std::abs(b.y - a.y) + 1) * pen * pen))
            return;
        wmfDrawLine_t near = *line;
        near.from = g.ToPoints(a);
        near.to = g.ToPoints(b);
        g.m_gd.draw_line(api, &near);
    }

    static void PolyLine(wmfAPI* api, wmfPolyLine_t* poly)
    {
        PlayGuard& g = Of(api);
        if (!poly || !poly->pt || poly->count < 2)
            return;
        bool allNear = true;
        double length = 0;
        for (U16 i = 0; i < poly->count; ++i) {
            const Point p = g.ToPixels(poly->pt[i]);
            allNear = allNear && g.Inside(p, g.m_near);
            if (i > 0) {
                const Point q = g.ToPixels(poly->pt[i - 1]);
                length += std::abs(p.x - q.x) + std::abs(p.y - q.y);
            }
        }
        if (allNear) {
            const double pen = g.PenPixels(poly->dc);
            if (g.Spend((length + poly->count) * pen * pen))
                g.m_gd.poly_line(api, poly);
            return;
        }
        // Far out: drawn piece by piece, each cut near the picture.
        for (U16 i = 1; i < poly->count && !g.Stopped(); ++i) {
            wmfDrawLine_t piece { poly->dc, poly->pt[i - 1], poly->pt[i] };
            Line(api, &piece);
        }
    }

    static void Rectangle(wmfAPI* api, wmfDrawRectangle_t* rect)
    {
        PlayGuard& g = Of(api);
        if (!rect)
            return;
        wmfDrawRectangle_t near = *rect;
        if (rect->width != 0 || rect->height != 0) {
            // Rounded corners cannot be cut: the rectangle must not be far, and all of it counts.
            if (!g.NotFar(rect->TL, rect->BR))
                return void(g.Stop());
            const Point a = g.ToPixels(rect->TL), b = g.ToPixels(rect->BR);
            const double w = std::abs(b.x - a.x), h = std::abs(b.y - a.y), pen = g.PenPixels(rect->dc);
            if (g.Spend((w + 1) * (h + 1) + (w + h + 4) * 2 * pen * pen))
                g.m_gd.draw_rectangle(api, rect);
            return;
        } else if (!g.Near(rect->TL, rect->BR)) {
            Point a = g.ToPixels(rect->TL), b = g.ToPixels(rect->BR);
            a = { std::clamp(a.x, g.m_near.x0, g.m_near.x1), std::clamp(a.y, g.m_near.y0, g.m_near.y1) };
            b = { std::clamp(b.x, g.m_near.x0, g.m_near.x1), std::clamp(b.y, g.m_near.y0, g.m_near.y1) };
            near.TL = g.ToPoints(a);
            near.BR = g.ToPoints(b);
        }
        const Point a = g.ToPixels(near.TL), b = g.ToPixels(near.BR);
        const double pen = g.PenPixels(rect->dc);
        if (g.Spend(g.VisibleArea(a.x, a.y, b.x, b.y) + (std::abs(b.x - a.x) + std::abs(b.y - a.y) + 4) * 2 * pen * pen))
            g.m_gd.draw_rectangle(api, &near);
    }

    static void Rop(wmfAPI* api, wmfROP_Draw_t* rop)
    {
        PlayGuard& g = Of(api);
        if (!rop)
            return;
        wmfROP_Draw_t near = *rop;
        Point a = g.ToPixels(rop->TL), b = g.ToPixels(rop->BR);
        a = { std::clamp(a.x, g.m_near.x0, g.m_near.x1), std::clamp(a.y, g.m_near.y0, g.m_near.y1) };
        b = { std::clamp(b.x, g.m_near.x0, g.m_near.x1), std::clamp(b.y, g.m_near.y0, g.m_near.y1) };
        near.TL = g.ToPoints(a);
        near.BR = g.ToPoints(b);
        if (g.Spend(g.VisibleArea(a.x, a.y, b.x, b.y)))
            g.m_gd.rop_draw(api, &near);
    }

    // Ellipses, arcs, pies and chords: not far from the picture, or the play stops.
    bool ArcAllowed(wmfDrawArc_t* arc)
    {
        if (!arc)
            return false;
        if (!NotFar(arc->TL, arc->BR))
            return Stop();
        const Point a = ToPixels(arc->TL), b = ToPixels(arc->BR);
        const double pen = PenPixels(arc->dc);
        const double w = std::abs(b.x - a.x), h = std::abs(b.y - a.y);
        return Spend((w + 1) * (h + 1) + (h + 2) * 64 + (w + h + 4) * 2 * pen * pen);
    }
    static void Ellipse(wmfAPI* api, wmfDrawArc_t* arc)
    {
        PlayGuard& g = Of(api);
        if (!g.ArcAllowed(arc))
            return;
        if (!arc->dc || !arc->dc->brush || !arc->dc->pen || !g.m_gd.draw_pie || arc->dc->brush->lbStyle == BS_NULL)
            return g.m_gd.draw_ellipse(api, arc);
        // gd's device fills an ellipse as a chord from 0 to 360 degrees, which covers nothing: the
        // inside is filled as two half pies without an outline, then the outline drawn unfilled.
        wmfDC dc = *arc->dc;
        wmfPen pen = *dc.pen;
        wmfBrush brush = *dc.brush;
        WMF_PEN_SET_STYLE(&pen, PS_NULL);
        dc.pen = &pen;
        wmfDrawArc_t half = *arc;
        half.dc = &dc;
        // The device takes the angles of start and end as seen from the centre.
        half.start = { 1, 0 };
        half.end = { -1, 0 };
        g.m_gd.draw_pie(api, &half);
        half.start = { -1, 0 };
        half.end = { 1, -1e-3f };
        g.m_gd.draw_pie(api, &half);
        dc.pen = arc->dc->pen;
        WMF_BRUSH_SET_STYLE(&brush, BS_NULL);
        dc.brush = &brush;
        g.m_gd.draw_ellipse(api, &half);
    }
    static void Arc(wmfAPI* api, wmfDrawArc_t* arc)
    {
        if (Of(api).ArcAllowed(arc))
            Of(api).m_gd.draw_arc(api, arc);
    }
    static void Pie(wmfAPI* api, wmfDrawArc_t* arc)
    {
        if (Of(api).ArcAllowed(arc))
            Of(api).m_gd.draw_pie(api, arc);
    }
    static void Chord(wmfAPI* api, wmfDrawArc_t* arc)
    {
        if (Of(api).ArcAllowed(arc))
            Of(api).m_gd.draw_chord(api, arc);
    }

    static void Pixel(wmfAPI* api, wmfDrawPixel_t* pixel)
    {
        if (pixel && Of(api).Spend(1))
            Of(api).m_gd.draw_pixel(api, pixel);
    }

    // A flood fill may reach every pixel of the picture.
    static void FloodInterior(wmfAPI* api, wmfFlood_t* flood)
    {
        PlayGuard& g = Of(api);
        if (flood && g.Spend(4.0 * g.m_width * g.m_height))
            g.m_gd.flood_interior(api, flood);
    }
    static void FloodExterior(wmfAPI* api, wmfFlood_t* flood)
    {
        PlayGuard& g = Of(api);
        if (flood && g.Spend(4.0 * g.m_width * g.m_height))
            g.m_gd.flood_exterior(api, flood);
    }

    // A bitmap stretched over its place: gd visits every pixel of that place.
    static void Bitmap(wmfAPI* api, wmfBMP_Draw_t* bmp)
    {
        PlayGuard& g = Of(api);
        if (!bmp)
            return;
        const Point a = g.ToPixels(bmp->pt);
        const double w = bmp->crop.w * bmp->pixel_width * g.m_toPixelX, h = bmp->crop.h * bmp->pixel_height * g.m_toPixelY;
        const Point b { a.x + w, a.y + h };
        if (!std::isfinite(b.x) || !std::isfinite(b.y) || !g.Inside(a, g.m_far) || !g.Inside(b, g.m_far))
            return void(g.Stop());
        if (g.Spend(std::abs(w * h) + double(bmp->crop.w) * bmp->crop.h))
            g.m_gd.bmp_draw(api, bmp);
    }

    // Glyphs are rendered at the font's size wherever they land; text wholly outside the
    // picture is not drawn.
    static void Text(wmfAPI* api, wmfDrawText_t* text)
    {
        PlayGuard& g = Of(api);
        if (!text || !text->str)
            return;
        double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
        for (const wmfD_Coord& c : { text->bbox.TL, text->bbox.TR, text->bbox.BL, text->bbox.BR }) {
            const Point p = g.ToPixels(c);
            x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
        }
        if (std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1) &&
            (x1 < 0 || y1 < 0 || x0 > g.m_width || y0 > g.m_height))
            return;
        const double size = std::abs(text->font_height) * g.m_toPixelY + 1;
        if (g.Spend(double(std::strlen(text->str)) * size * size * 4))
            g.m_gd.draw_text(api, text);
    }

    // Lists of rectangles: each clamped near the picture.
    bool NearRegion(wmfPolyRectangle_t* region, std::vector<wmfD_Coord>& tl, std::vector<wmfD_Coord>& br)
    {
        if (!region || (!region->TL && region->count) || (!region->BR && region->count))
            return false;
        double cost = 0;
        tl.resize(region->count);
        br.resize(region->count);
        for (unsigned i = 0; i < region->count; ++i) {
            Point a = ToPixels(region->TL[i]), b = ToPixels(region->BR[i]);
            a = { std::clamp(a.x, m_near.x0, m_near.x1), std::clamp(a.y, m_near.y0, m_near.y1) };
            b = { std::clamp(b.x, m_near.x0, m_near.x1), std::clamp(b.y, m_near.y0, m_near.y1) };
            tl[i] = ToPoints(a);
            br[i] = ToPoints(b);
            cost += VisibleArea(a.x, a.y, b.x, b.y) + std::abs(b.x - a.x) + std::abs(b.y - a.y) + 4;
        }
        return Spend(cost);
    }
    static void RegionFrame(wmfAPI* api, wmfPolyRectangle_t* region)
    {
        PlayGuard& g = Of(api);
        std::vector<wmfD_Coord> tl, br;
        if (!g.NearRegion(region, tl, br))
            return;
        const double border = (std::abs(region->width) * g.m_toPixelX + 1) * (std::abs(region->height) * g.m_toPixelY + 1);
        if (!g.Spend(border * region->count))
            return;
        wmfPolyRectangle_t near = *region;
        near.TL = tl.data();
        near.BR = br.data();
        g.m_gd.region_frame(api, &near);
    }
    static void RegionPaint(wmfAPI* api, wmfPolyRectangle_t* region)
    {
        PlayGuard& g = Of(api);
        std::vector<wmfD_Coord> tl, br;
        if (!g.NearRegion(region, tl, br))
            return;
        wmfPolyRectangle_t near = *region;
        near.TL = tl.data();
        near.BR = br.data();
        g.m_gd.region_paint(api, &near);
    }

    wmfAPI* m_api;
    wmfFunctionReference m_gd;
    int m_width, m_height;
    double m_left = 0, m_top = 0, m_toPixelX = 1, m_toPixelY = 1;
    Box m_near {};
    Box m_far {};
    uint64_t m_work = 0;
    bool m_stopped = false;
};

} // namespace

bool RenderWindowsMetafile(const uint8_t* data, size_t size, int width, int height, uint32_t background,
                           std::vector<uint8_t>& bgr)
{
    bgr.clear();
    if (!data || size < 22 || size > 0x7FFFFFFF || width <= 0 || height <= 0 || width > kMaxSide ||
        height > kMaxSide)
        return false;
    if (data[0] != 0xD7 || data[1] != 0xCD || data[2] != 0xC6 || data[3] != 0x9A)
        return false;
    // libwmf measures in points from the frame's top-left corner.
    const int frameW = ReadI16(data + 10) - ReadI16(data + 6);
    const int frameH = ReadI16(data + 12) - ReadI16(data + 8);
    const int unitsPerInch = data[14] | (data[15] << 8);
    if (frameW <= 0 || frameH <= 0 || unitsPerInch <= 0)
        return false;
    wmfD_Rect frame;
    frame.TL.x = 0;
    frame.TL.y = 0;
    frame.BR.x = static_cast<float>(frameW * 72.0 / unitsPerInch);
    frame.BR.y = static_cast<float>(frameH * 72.0 / unitsPerInch);

    // libwmf reads from this copy only while the API object lives.
    std::vector<unsigned char> copy(data, data + size);
    if (!LimitRecords(copy, frameW, frameH))
        return false;
    std::lock_guard<std::mutex> lock(g_wmfLock);
    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_gd_function;
    options.fontdirs = g_fontDirs;
    options.font.ps = g_fontFiles;
    unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_FONTDIRS | WMF_OPT_FONTMAP | WMF_OPT_IGNORE_NONFATAL |
                          WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    wmfAPI* api = nullptr;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api)
            wmf_api_destroy(api);
        return false;
    }
    bool ok = false;
    wmfD_Rect box;
    if (wmf_mem_open(api, copy.data(), static_cast<long>(copy.size())) == wmf_E_None &&
        wmf_scan(api, 0, &box) == wmf_E_None) {
        wmf_gd_t* device = WMF_GD_GetData(api);
        device->type = wmf_gd_image;
        box = frame;
        device->bbox = frame;
        device->width = static_cast<unsigned>(width);
        device->height = static_cast<unsigned>(height);
        PlayGuard guard(api, frame, width, height);
        if (wmf_play(api, 0, &box) == wmf_E_None && !guard.Stopped() && device->gd_image) {
            const int* pixels = wmf_gd_image_pixels(device->gd_image);
            if (pixels) {
                bgr.resize(static_cast<size_t>(width) * height * 3);
                for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
                    // gd true colour: 7-bit alpha (0 opaque) above red, green, blue.
                    const uint32_t p = static_cast<uint32_t>(pixels[i]);
                    const uint32_t a = (p >> 24) & 0x7F;
                    for (int c = 0; c < 3; ++c) {
                        const uint32_t fg = (p >> (8 * c)) & 0xFF;
                        const uint32_t bg = (background >> (8 * c)) & 0xFF;
                        bgr[i * 3 + c] = static_cast<uint8_t>((fg * (127 - a) + bg * a + 63) / 127);
                    }
                }
                ok = true;
            }
        }
        FreeGdImage(device->gd_image);
        device->gd_image = nullptr;
        wmf_mem_close(api);
    }
    wmf_api_destroy(api);
    return ok;
}

} // namespace platform
