// A small anti-aliased painter for the skin generator: shapes given as signed distances (round
// rectangles, circles, rings, strokes along segments) and polygons, composited "over" into a
// float canvas that becomes an 8-bit B, G, R, A image with straight alpha, the form the
// program blends.
#pragma once

#include "imaging/ImageBuffer.h"
#include "platform/Text.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tools {

struct Rgba {
    float r = 0, g = 0, b = 0, a = 1; // 0..255 for colour, 0..1 for alpha
};
constexpr Rgba Grey(float v, float a = 1) { return {v, v, v, a}; }
constexpr Rgba Colour(uint32_t rgb, float a = 1)
{
    return {float((rgb >> 16) & 0xFF), float((rgb >> 8) & 0xFF), float(rgb & 0xFF), a};
}

struct PointF {
    float x, y;
};

class SkinCanvas {
public:
    SkinCanvas(int width, int height);
    int Width() const { return m_w; }
    int Height() const { return m_h; }

    // Coverage of each pixel centre from a signed distance in pixels (negative inside).
    void FillDistance(const std::function<float(float, float)>& distance, Rgba colour, float x0 = -1e9f,
                      float x1 = 1e9f);
    void FillRoundRect(float left, float top, float right, float bottom, float radius, Rgba colour);
    void StrokeRoundRect(float left, float top, float right, float bottom, float radius, float width, Rgba colour);
    void FillCircle(float cx, float cy, float r, Rgba colour);
    void StrokeCircle(float cx, float cy, float r, float width, Rgba colour);
    // A stroke with round ends through the points.
    void StrokeLine(std::vector<PointF> points, float width, Rgba colour);
    void FillPolygon(const std::vector<PointF>& points, Rgba colour);
    // Text through the platform font, centred on (cx, cy); coverage from the glyphs.
    void DrawText(platform::StringView16 text, float cx, float cy, int pixelHeight, int weight, Rgba colour);
    // Vertical gradient fill of a rectangle.
    void FillGradient(int left, int top, int right, int bottom, Rgba topColour, Rgba bottomColour);

    // As a mask image: (c, c, c, c) with c the coverage, for pictures the program inks through
    // their red byte.
    void ToMask();
    // The same for the columns [x0, x1) only: a strip whose frames are partly inked.
    void ToMaskColumns(int x0, int x1);
    bool ToImage(ImageBuffer8& out) const;

private:
    void Blend(int x, int y, Rgba c, float coverage);
    int m_w, m_h;
    std::vector<float> m_px; // premultiplied r, g, b (0..255 scaled by alpha) and a
    bool m_mask = false;
    std::vector<std::pair<int, int>> m_maskColumns;
};

// Signed distance to a rounded rectangle.
float RoundRectDistance(float x, float y, float left, float top, float right, float bottom, float radius);

} // namespace tools
