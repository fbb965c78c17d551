// The desktop's pictures of the program, drawn by the skin generator in the program's look: the
// program's icon ("zendra") and the project file's icon ("application-x-zendra-project"), as
// PNG at the icon theme's sizes and as SVG. Both come from one list of shapes, so the scalable
// icon is the same drawing as the pictures.
#pragma once

#include "imaging/ImageBuffer.h"
#include "tools/SkinPainter.h"

#include <string>
#include <vector>

namespace tools {

// One shape of an icon, in pixels of the icon's size.
struct IconShape {
    enum class Kind {
        Fill,   // a rounded rectangle, its colour running from `colour` (top) to `bottom`
        Edge,   // the inner edge of that rectangle, `width` wide
        Ring,   // a circle's outline of `width` centred on radius
        Disc,   // a filled circle
        Polygon,
        Stroke, // a line with round ends and joins through the points
    };
    Kind kind = Kind::Fill;
    float left = 0, top = 0, right = 0, bottom = 0, radius = 0;
    float cut = 0; // Fill, Edge: the top-right corner cut off along a 45 degree line this far in
    float cx = 0, cy = 0, width = 0;
    std::vector<PointF> points;
    Rgba colour, bottomColour;
};

struct DesktopIcon {
    const char* name;    // the icon theme's name
    const char* context; // the theme folder: "apps" or "mimetypes"
    std::vector<IconShape> (*shapes)(int size);
};

const std::vector<DesktopIcon>& DesktopIcons();
// The sizes of the PNG pictures; the largest is also the SVG's.
const std::vector<int>& DesktopIconSizes();

bool RenderIcon(const std::vector<IconShape>& shapes, int size, ImageBuffer8& out);
std::string IconSvg(const std::vector<IconShape>& shapes, int size);

// Writes <folder>/hicolor/<n>x<n>/<context>/<name>.png for every size and
// <folder>/hicolor/scalable/<context>/<name>.svg.
bool WriteDesktopIcons(const std::u16string& folder, std::string& error);

} // namespace tools
