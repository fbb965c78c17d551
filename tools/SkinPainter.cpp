// The skin generator's painter.
#include "tools/SkinPainter.h"

#include "platform/Font.h"

#include <algorithm>
#include <cmath>

namespace tools {

SkinCanvas::SkinCanvas(int width, int height) : m_w(width), m_h(height), m_px(size_t(width) * height * 4, 0.f) {}

void SkinCanvas::Blend(int x, int y, Rgba c, float coverage)
{
    if (x < 0 || y < 0 || x >= m_w || y >= m_h || coverage <= 0)
        return;
    float a = std::clamp(c.a * coverage, 0.f, 1.f);
    float* p = &m_px[(size_t(y) * m_w + x) * 4];
    p[0] = c.r * a + p[0] * (1 - a);
    p[1] = c.g * a + p[1] * (1 - a);
    p[2] = c.b * a + p[2] * (1 - a);
    p[3] = a + p[3] * (1 - a);
}

void SkinCanvas::FillDistance(const std::function<float(float, float)>& distance, Rgba colour, float x0, float x1)
{
    for (int y = 0; y < m_h; ++y)
        for (int x = 0; x < m_w; ++x) {
            float px = x + 0.5f, py = y + 0.5f;
            if (px < x0 || px > x1)
                continue;
            Blend(x, y, colour, std::clamp(0.5f - distance(px, py), 0.f, 1.f));
        }
}

float RoundRectDistance(float x, float y, float left, float top, float right, float bottom, float radius)
{
    float cx = (left + right) / 2, cy = (top + bottom) / 2;
    float hx = (right - left) / 2 - radius, hy = (bottom - top) / 2 - radius;
    float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
    float outside = std::hypot(std::max(qx, 0.f), std::max(qy, 0.f));
    return outside + std::min(std::max(qx, qy), 0.f) - radius;
}

void SkinCanvas::FillRoundRect(float l, float t, float r, float b, float radius, Rgba colour)
{
    FillDistance([=](float x, float y) { return RoundRectDistance(x, y, l, t, r, b, radius); }, colour);
}

void SkinCanvas::StrokeRoundRect(float l, float t, float r, float b, float radius, float width, Rgba colour)
{
    // The stroke lies inside the rectangle's edge.
    FillDistance(
        [=](float x, float y) {
            float d = RoundRectDistance(x, y, l, t, r, b, radius);
            return std::max(d, -d - width);
        },
        colour);
}

void SkinCanvas::FillCircle(float cx, float cy, float r, Rgba colour)
{
    FillDistance([=](float x, float y) { return std::hypot(x - cx, y - cy) - r; }, colour);
}

void SkinCanvas::StrokeCircle(float cx, float cy, float r, float width, Rgba colour)
{
    FillDistance([=](float x, float y) { return std::fabs(std::hypot(x - cx, y - cy) - r) - width / 2; }, colour);
}

void SkinCanvas::StrokeLine(std::vector<PointF> pts, float width, Rgba colour)
{
    FillDistance(
        [pts, width](float x, float y) {
            float best = 1e9f;
            for (size_t i = 0; i + 1 < pts.size(); ++i) {
                float ax = pts[i].x, ay = pts[i].y, bx = pts[i + 1].x, by = pts[i + 1].y;
                float dx = bx - ax, dy = by - ay;
                float len2 = dx * dx + dy * dy;
                float t = len2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.f, 1.f) : 0.f;
                best = std::min(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
            }
            return best - width / 2;
        },
        colour);
}

void SkinCanvas::FillPolygon(const std::vector<PointF>& pts, Rgba colour)
{
    constexpr int kSamples = 4;
    for (int y = 0; y < m_h; ++y)
        for (int x = 0; x < m_w; ++x) {
            int inside = 0;
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    float px = x + (sx + 0.5f) / kSamples, py = y + (sy + 0.5f) / kSamples;
                    bool in = false;
                    for (size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
                        if ((pts[i].y > py) != (pts[j].y > py) &&
                            px < (pts[j].x - pts[i].x) * (py - pts[i].y) / (pts[j].y - pts[i].y) + pts[i].x)
                            in = !in;
                    }
                    inside += in;
                }
            Blend(x, y, colour, float(inside) / (kSamples * kSamples));
        }
}

void SkinCanvas::DrawText(platform::StringView16 text, float cx, float cy, int pixelHeight, int weight, Rgba colour)
{
    std::shared_ptr<platform::Font> font = platform::Font::Create({u"DejaVu Sans", -pixelHeight, weight, false});
    if (!font)
        return;
    platform::CoverageBitmap cov = font->RenderCoverage(text);
    // Centre the ink, not the cell: find the covered rows and columns.
    int minX = cov.width, maxX = -1, minY = cov.height, maxY = -1;
    for (int y = 0; y < cov.height; ++y)
        for (int x = 0; x < cov.width; ++x)
            if (cov.bgra[(size_t(y) * cov.width + x) * 4 + 2] > 0) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    if (maxX < 0)
        return;
    int ox = int(std::lround(cx - (minX + maxX + 1) / 2.f));
    int oy = int(std::lround(cy - (minY + maxY + 1) / 2.f));
    for (int y = minY; y <= maxY; ++y)
        for (int x = minX; x <= maxX; ++x)
            Blend(ox + x, oy + y, colour, cov.bgra[(size_t(y) * cov.width + x) * 4 + 2] / 255.f);
}

void SkinCanvas::FillGradient(int left, int top, int right, int bottom, Rgba a, Rgba b)
{
    for (int y = top; y < bottom; ++y) {
        float t = bottom - top > 1 ? float(y - top) / float(bottom - top - 1) : 0.f;
        Rgba c{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
        for (int x = left; x < right; ++x)
            Blend(x, y, c, 1.f);
    }
}

void SkinCanvas::ToMask()
{
    m_mask = true;
}

void SkinCanvas::ToMaskColumns(int x0, int x1)
{
    m_maskColumns.push_back({x0, x1});
}

bool SkinCanvas::ToImage(ImageBuffer8& out) const
{
    if (!AllocImage8(out, m_w, m_h))
        return false;
    for (size_t i = 0, n = size_t(m_w) * m_h; i < n; ++i) {
        const float* p = &m_px[i * 4];
        float a = p[3];
        int column = int(i % size_t(m_w));
        bool mask = m_mask;
        for (const auto& [x0, x1] : m_maskColumns)
            mask = mask || (column >= x0 && column < x1);
        if (mask) {
            uint8_t c = uint8_t(std::clamp(std::lround(a * 255.f), 0L, 255L));
            out.data[i * 4 + 0] = out.data[i * 4 + 1] = out.data[i * 4 + 2] = out.data[i * 4 + 3] = c;
            continue;
        }
        auto un = [a](float v) { return uint8_t(std::clamp(std::lround(a > 0 ? v / a : 0.f), 0L, 255L)); };
        out.data[i * 4 + 0] = un(p[2]);
        out.data[i * 4 + 1] = un(p[1]);
        out.data[i * 4 + 2] = un(p[0]);
        out.data[i * 4 + 3] = uint8_t(std::clamp(std::lround(a * 255.f), 0L, 255L));
    }
    return true;
}

} // namespace tools
