// The program's icon and the project file's icon. The mark is the one of the window icon and the
// title (a ring in the accent around a light centre) on a dark tile; from 32 pixels up the centre
// opens into an aperture. Small sizes keep whole-pixel edges and strokes of at least 1.5 pixels.
#include "tools/SkinImagesIcons.h"

#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>

namespace tools {

namespace {

constexpr Rgba kTileTop = Colour(0x363636);
constexpr Rgba kTileBottom = Colour(0x1C1C1C);
constexpr Rgba kTileEdge = Colour(0x4A4A4A);
constexpr Rgba kAccent = Colour(0x4682C8);
constexpr Rgba kLight = Colour(0xDCDCDC);
constexpr float kPi = 3.14159265f;

Rgba WithAlphaOf(Rgba c, float a)
{
    c.a = a;
    return c;
}

float Snap(float v)
{
    return std::round(v);
}

IconShape RoundRect(IconShape::Kind kind, float l, float t, float r, float b, float radius, Rgba top, Rgba bottom,
                    float width = 0, float cut = 0)
{
    IconShape s;
    s.kind = kind;
    s.left = l, s.top = t, s.right = r, s.bottom = b, s.radius = radius;
    s.colour = top, s.bottomColour = bottom, s.width = width, s.cut = cut;
    return s;
}

IconShape Circle(IconShape::Kind kind, float cx, float cy, float radius, float width, Rgba colour)
{
    IconShape s;
    s.kind = kind;
    s.cx = cx, s.cy = cy, s.radius = radius, s.width = width, s.colour = colour;
    return s;
}

IconShape Points(IconShape::Kind kind, std::vector<PointF> points, float width, Rgba colour)
{
    IconShape s;
    s.kind = kind;
    s.points = std::move(points);
    s.width = width;
    s.colour = colour;
    return s;
}

// The mark centred on (cx, cy) with the ring's radius r: the ring, and a light centre that opens
// into an aperture of six blades where there are pixels enough.
void AddMark(std::vector<IconShape>& out, float cx, float cy, float r, float ringWidth, bool aperture)
{
    out.push_back(Circle(IconShape::Kind::Ring, cx, cy, r, ringWidth, kAccent));
    if (!aperture) {
        out.push_back(Circle(IconShape::Kind::Disc, cx, cy, r * 0.42f, 0, kLight));
        return;
    }
    // The opening: a hexagon; each of its sides runs on past a corner to the ring, as the edge
    // of one blade.
    const float inner = r - ringWidth / 2;
    const float h = r * 0.40f;
    std::vector<PointF> hex;
    for (int i = 0; i < 6; ++i) {
        const float a = kPi / 6 + i * kPi / 3;
        hex.push_back({cx + h * std::cos(a), cy + h * std::sin(a)});
    }
    out.push_back(Points(IconShape::Kind::Polygon, hex, 0, kLight));
    const float bladeWidth = std::max(1.5f, r / 22);
    for (int i = 0; i < 6; ++i) {
        const PointF a = hex[i], b = hex[(i + 1) % 6];
        const float dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
        const float ux = dx / len, uy = dy / len;
        // From b along the side until the ring's inner edge: |b + t u - c| = inner.
        const float bx = b.x - cx, by = b.y - cy;
        const float p = bx * ux + by * uy, q = bx * bx + by * by - inner * inner;
        const float t = -p + std::sqrt(std::max(0.f, p * p - q));
        out.push_back(Points(IconShape::Kind::Stroke, {b, {b.x + ux * t, b.y + uy * t}}, bladeWidth,
                             WithAlphaOf(kLight, 0.55f)));
    }
}

std::vector<IconShape> AppIconShapes(int size)
{
    const float s = float(size);
    const float m = std::max(1.f, Snap(s / 16));
    const float edge = std::max(1.f, Snap(s / 128));
    std::vector<IconShape> out;
    out.push_back(RoundRect(IconShape::Kind::Fill, m, m, s - m, s - m, (s - 2 * m) * 0.18f, kTileTop, kTileBottom));
    out.push_back(RoundRect(IconShape::Kind::Edge, m, m, s - m, s - m, (s - 2 * m) * 0.18f, kTileEdge, kTileEdge, edge));
    const float ringWidth = std::max(2.f, s * 0.085f);
    const float r = size < 32 ? s * 0.30f : s * 0.29f;
    AddMark(out, s / 2, s / 2, r, ringWidth, size >= 32);
    return out;
}

std::vector<IconShape> ProjectIconShapes(int size)
{
    // A page with its corner folded, in the tile's greys, with the mark on it.
    const float s = float(size);
    const float l = Snap(s * 0.16f), r = s - l, t = std::max(1.f, Snap(s / 16)), b = s - t;
    const float fold = Snap((r - l) * 0.30f);
    const float edge = std::max(1.f, Snap(s / 128));
    const float radius = std::max(1.f, s / 40);
    std::vector<IconShape> out;
    out.push_back(RoundRect(IconShape::Kind::Fill, l, t, r, b, radius, kTileTop, kTileBottom, 0, fold));
    out.push_back(RoundRect(IconShape::Kind::Edge, l, t, r, b, radius, kTileEdge, kTileEdge, edge, fold));
    out.push_back(Points(IconShape::Kind::Polygon, {{r - fold, t}, {r - fold, t + fold}, {r, t + fold}}, 0,
                         Colour(0x5A5A5A)));
    const float ringWidth = size < 22 ? 1.5f : std::max(2.f, s * 0.06f);
    AddMark(out, (l + r) / 2, t + (b - t) * 0.60f, (r - l) * 0.30f, ringWidth, size >= 48);
    return out;
}

// The signed distance to a rounded rectangle with its top-right corner cut.
float ShapeDistance(const IconShape& s, float x, float y)
{
    float d = RoundRectDistance(x, y, s.left, s.top, s.right, s.bottom, s.radius);
    if (s.cut > 0)
        d = std::max(d, ((x - y) - (s.right - s.cut - s.top)) / std::sqrt(2.f));
    return d;
}

std::string Hex(Rgba c)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", int(std::lround(c.r)), int(std::lround(c.g)),
                  int(std::lround(c.b)));
    return buf;
}

std::string Num(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", double(v));
    std::string text = buf;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text == "-0" ? "0" : text;
}

std::string Opacity(const char* attribute, Rgba c)
{
    return c.a < 1 ? std::string(" ") + attribute + "=\"" + Num(c.a) + "\"" : std::string();
}

// The outline of a rounded rectangle with its top-right corner cut, as an SVG path.
std::string ShapePath(float l, float t, float r, float b, float radius, float cut)
{
    const std::string arc = "A" + Num(radius) + " " + Num(radius) + " 0 0 1 ";
    std::string d = "M" + Num(l + radius) + " " + Num(t);
    if (cut > 0) {
        d += " L" + Num(r - cut) + " " + Num(t) + " L" + Num(r) + " " + Num(t + cut);
    } else {
        d += " L" + Num(r - radius) + " " + Num(t) + " " + arc + Num(r) + " " + Num(t + radius);
    }
    d += " L" + Num(r) + " " + Num(b - radius) + " " + arc + Num(r - radius) + " " + Num(b);
    d += " L" + Num(l + radius) + " " + Num(b) + " " + arc + Num(l) + " " + Num(b - radius);
    d += " L" + Num(l) + " " + Num(t + radius) + " " + arc + Num(l + radius) + " " + Num(t) + " Z";
    return d;
}

std::string PointList(const std::vector<PointF>& points)
{
    std::string text;
    for (const PointF& p : points)
        text += (text.empty() ? "" : " ") + Num(p.x) + "," + Num(p.y);
    return text;
}

} // namespace

const std::vector<DesktopIcon>& DesktopIcons()
{
    static const std::vector<DesktopIcon> icons = {
        {"zendra", "apps", AppIconShapes},
        {"application-x-zendra-project", "mimetypes", ProjectIconShapes},
    };
    return icons;
}

const std::vector<int>& DesktopIconSizes()
{
    static const std::vector<int> sizes = {16, 22, 24, 32, 48, 64, 128, 256};
    return sizes;
}

bool RenderIcon(const std::vector<IconShape>& shapes, int size, ImageBuffer8& out)
{
    SkinCanvas c(size, size);
    for (const IconShape& s : shapes) {
        switch (s.kind) {
        case IconShape::Kind::Fill:
            // Row by row, so that each row takes its own colour of the gradient.
            for (int y = 0; y < size; ++y) {
                const float f = std::clamp((y + 0.5f - s.top) / (s.bottom - s.top), 0.f, 1.f);
                const Rgba row{s.colour.r + (s.bottomColour.r - s.colour.r) * f,
                               s.colour.g + (s.bottomColour.g - s.colour.g) * f,
                               s.colour.b + (s.bottomColour.b - s.colour.b) * f, s.colour.a};
                c.FillDistance(
                    [&](float x, float py) { return std::max(ShapeDistance(s, x, py), std::fabs(py - (y + 0.5f)) - 0.5f); },
                    row);
            }
            break;
        case IconShape::Kind::Edge:
            c.FillDistance(
                [&](float x, float y) {
                    const float d = ShapeDistance(s, x, y);
                    return std::max(d, -d - s.width);
                },
                s.colour);
            break;
        case IconShape::Kind::Ring: c.StrokeCircle(s.cx, s.cy, s.radius, s.width, s.colour); break;
        case IconShape::Kind::Disc: c.FillCircle(s.cx, s.cy, s.radius, s.colour); break;
        case IconShape::Kind::Polygon: c.FillPolygon(s.points, s.colour); break;
        case IconShape::Kind::Stroke: c.StrokeLine(s.points, s.width, s.colour); break;
        }
    }
    return c.ToImage(out);
}

std::string IconSvg(const std::vector<IconShape>& shapes, int size)
{
    const std::string n = std::to_string(size);
    std::string defs, body;
    int gradients = 0;
    for (const IconShape& s : shapes) {
        switch (s.kind) {
        case IconShape::Kind::Fill: {
            const std::string id = "g" + std::to_string(++gradients);
            defs += "    <linearGradient id=\"" + id + "\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"" + Num(s.top) +
                    "\" x2=\"0\" y2=\"" + Num(s.bottom) + "\">\n      <stop offset=\"0\" stop-color=\"" + Hex(s.colour) +
                    "\"/>\n      <stop offset=\"1\" stop-color=\"" + Hex(s.bottomColour) + "\"/>\n    </linearGradient>\n";
            body += "  <path d=\"" + ShapePath(s.left, s.top, s.right, s.bottom, s.radius, s.cut) + "\" fill=\"url(#" +
                    id + ")\"" + Opacity("fill-opacity", s.colour) + "/>\n";
            break;
        }
        case IconShape::Kind::Edge: {
            // The picture's edge lies inside the shape; an SVG stroke is centred on its path.
            const float h = s.width / 2;
            const float cut = s.cut > 0 ? s.cut - s.width + s.width / std::sqrt(2.f) : 0;
            body += "  <path d=\"" +
                    ShapePath(s.left + h, s.top + h, s.right - h, s.bottom - h, std::max(0.f, s.radius - h), cut) +
                    "\" fill=\"none\" stroke=\"" + Hex(s.colour) + "\" stroke-width=\"" + Num(s.width) + "\"" +
                    Opacity("stroke-opacity", s.colour) + "/>\n";
            break;
        }
        case IconShape::Kind::Ring:
            body += "  <circle cx=\"" + Num(s.cx) + "\" cy=\"" + Num(s.cy) + "\" r=\"" + Num(s.radius) +
                    "\" fill=\"none\" stroke=\"" + Hex(s.colour) + "\" stroke-width=\"" + Num(s.width) + "\"" +
                    Opacity("stroke-opacity", s.colour) + "/>\n";
            break;
        case IconShape::Kind::Disc:
            body += "  <circle cx=\"" + Num(s.cx) + "\" cy=\"" + Num(s.cy) + "\" r=\"" + Num(s.radius) + "\" fill=\"" +
                    Hex(s.colour) + "\"" + Opacity("fill-opacity", s.colour) + "/>\n";
            break;
        case IconShape::Kind::Polygon:
            body += "  <polygon points=\"" + PointList(s.points) + "\" fill=\"" + Hex(s.colour) + "\"" +
                    Opacity("fill-opacity", s.colour) + "/>\n";
            break;
        case IconShape::Kind::Stroke:
            body += "  <polyline points=\"" + PointList(s.points) + "\" fill=\"none\" stroke=\"" + Hex(s.colour) +
                    "\" stroke-width=\"" + Num(s.width) + "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"" +
                    Opacity("stroke-opacity", s.colour) + "/>\n";
            break;
        }
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + n +
           "\" height=\"" + n + "\" viewBox=\"0 0 " + n + " " + n + "\">\n" + (defs.empty() ? "" : "  <defs>\n" + defs + "  </defs>\n") +
           body + "</svg>\n";
}

bool WriteDesktopIcons(const std::u16string& folder, std::string& error)
{
    const std::u16string hicolor = platform::JoinPath(folder, u"hicolor");
    for (const DesktopIcon& icon : DesktopIcons()) {
        const std::u16string name = platform::Utf8ToUtf16(icon.name), context = platform::Utf8ToUtf16(icon.context);
        for (int size : DesktopIconSizes()) {
            const std::u16string dir = platform::JoinPath(
                platform::JoinPath(hicolor, platform::Utf8ToUtf16(std::to_string(size) + "x" + std::to_string(size))),
                context);
            ImageBuffer8 image;
            const bool ok = platform::CreateFolders(dir) && RenderIcon(icon.shapes(size), size, image) &&
                            CodecSaveImage8(image, platform::JoinPath(dir, name + u".png").c_str(), true);
            FreeImageBuffer(image);
            if (!ok) {
                error = "cannot write the " + std::to_string(size) + " pixel " + icon.name + ".png";
                return false;
            }
        }
        const std::u16string dir = platform::JoinPath(platform::JoinPath(hicolor, u"scalable"), context);
        const std::string svg = IconSvg(icon.shapes(DesktopIconSizes().back()), DesktopIconSizes().back());
        if (!platform::CreateFolders(dir) ||
            !platform::WriteWholeFileAtomic(platform::JoinPath(dir, name + u".svg"),
                                            std::span(reinterpret_cast<const uint8_t*>(svg.data()), svg.size()))) {
            error = std::string("cannot write ") + icon.name + ".svg";
            return false;
        }
    }
    return true;
}

} // namespace tools
