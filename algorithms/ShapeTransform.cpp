#include "algorithms/ShapeTransform.h"

#include "algorithms/PixelAccess.h"
#include "algorithms/RecordCopy.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct Pt {
    double x, y;
};

double Dist(Pt a, Pt b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

// Angle measure of P and Q seen from V: acos of the square root of the cosine, which keeps
// the order of angles up to a right angle. Zero distances and rounding past 0..1 would give
// NaN; they count as no spread.
double Spread(Pt P, Pt Q, Pt V)
{
    const double a = Dist(P, Q), b = Dist(P, V), c = Dist(Q, V);
    if (b == 0 || c == 0)
        return 0;
    const double k = std::clamp((c * c + b * b - a * a) / (2 * b * c), 0.0, 1.0);
    return std::acos(std::sqrt(k));
}

double SignedDistance(Pt P, Pt F, Pt G)
{
    const double len = Dist(F, G);
    return ((G.y - F.y) * (P.x - F.x) + (F.x - G.x) * (P.y - F.y)) / len;
}

QuadLine LineThrough(Pt F, Pt G)
{
    QuadLine l;
    l.A = G.y - F.y;
    l.B = F.x - G.x;
    l.C = -(F.y * l.B + F.x * l.A);
    return l;
}

int RoundHalfUp(double v)
{
    // Far points only need to stay far; the cast of a huge double is undefined.
    return static_cast<int>(std::clamp(v, -1e9, 1e9) + 0.5);
}

bool Opposite(double a, double b)
{
    return a * b < 0;
}

// Power for a crossing fraction u, so that u^p = 1/2. Only 0 < u < 1 gives a usable power.
bool Exponent(double u, double& p)
{
    if (!(u > 0 && u < 1))
        return false;
    p = std::log(0.5) / std::log(u);
    return std::isfinite(p) && p > 0;
}

} // namespace

void InitShapeTransformParams(ShapeTransformParams& params)
{
    params.size = sizeof(ShapeTransformParams);
    std::memset(reinterpret_cast<uint8_t*>(&params) + 4, 0, 48);
}

QuadPoint IntersectLines(double A1, double B1, double C1, double A2, double B2, double C2)
{
    const double det = A1 * B2 - B1 * A2;
    if (std::fabs(det) < 0.0001)
        return kNoCrossing;
    const double y = (C1 * A2 - C2 * A1) / det;
    const double x = std::fabs(A1) < 0.0001 ? (B2 * y + C2) / -A2 : (B1 * y + C1) / -A1;
    return {RoundHalfUp(x), RoundHalfUp(y)};
}

CShapeTransform::CShapeTransform()
{
    InitShapeTransformParams(m_params);
}

int CShapeTransform::Run()
{
    CopyRecordAtMost(m_params, Params());
    if (!Source() || !Destination())
        return 0;
    return TransformImage(*Source(), *Destination(), m_params);
}

int CShapeTransform::TransformImage(const ImageBuffer16& source, ImageBuffer16& destination,
                                    const ShapeTransformParams& params)
{
    CopyRecordAtMost(m_params, &params);
    if (!source.data || source.width <= 0 || source.height <= 0 || m_params.step == 0 ||
        m_params.outputWidth <= 0 || m_params.outputHeight <= 0)
        return 0;
    // The destination is reallocated; a source in the same record must be kept apart first.
    ImageBuffer16 own{};
    const ImageBuffer16* src = &source;
    if (&source == &destination) {
        if (!CopyImage16(own, source))
            return 0;
        src = &own;
    }
    if (!AllocImage16(destination, m_params.outputWidth, m_params.outputHeight)) {
        FreeImageBuffer(own);
        return 0;
    }
    std::memset(destination.data, 0, size_t(destination.byteSize));
    const int ok = PrepareQuad() && RenderQuad(*src, destination) ? 1 : 0;
    FreeImageBuffer(own);
    return ok;
}

int CShapeTransform::PrepareQuad()
{
    const ShapeTransformParams& p = m_params;
    const Pt c0{double(p.x0), double(p.y0)}, c1{double(p.x1), double(p.y1)};
    const Pt c2{double(p.x2), double(p.y2)}, c3{double(p.x3), double(p.y3)};
    // Coinciding neighbours leave an edge without a direction.
    if (Dist(c0, c1) == 0 || Dist(c1, c3) == 0 || Dist(c3, c2) == 0 || Dist(c2, c0) == 0)
        return 0;
    m_top = LineThrough(c0, c1);
    m_right = LineThrough(c1, c3);
    m_bottom = LineThrough(c3, c2);
    m_left = LineThrough(c2, c0);
    const QuadLine d12 = LineThrough(c1, c2), d03 = LineThrough(c0, c3);
    m_M = IntersectLines(d12.A, d12.B, d12.C, d03.A, d03.B, d03.C);
    if (m_M.x < 0 || m_M.y < 0 || m_M.x >= p.outputWidth || m_M.y >= p.outputHeight)
        return 0;
    const Pt M{double(m_M.x), double(m_M.y)};

    auto direction = [&](const QuadLine& a, const QuadLine& b, Pt far, QuadPoint& V, bool& usable,
                         double& distance, double& spread, Pt nearF, Pt nearG, Pt farF, Pt farG,
                         double& exponent) {
        V = IntersectLines(a.A, a.B, a.C, b.A, b.B, b.C);
        const Pt v{double(V.x), double(V.y)};
        spread = Spread(c0, far, v);
        distance = Dist(c0, v);
        usable = std::abs(V.x) <= 100000 && std::abs(V.y) <= 100000 && spread >= 0.05;
        double u;
        if (usable) {
            double num = Spread(c0, M, v);
            if (num <= 0)
                num = 0.01;
            u = num / spread;
        } else {
            const double sNear = SignedDistance(M, nearF, nearG), sFar = SignedDistance(M, farF, farG);
            if (Opposite(sNear, sFar) || sNear + sFar == 0)
                return false;
            u = sNear / (sFar + sNear);
        }
        return Exponent(u, exponent);
    };
    // Down: top and bottom meet at V1; across: right and left meet at V2.
    if (!direction(m_top, m_bottom, c2, m_V1, m_v1Usable, m_v1Distance, m_v1Spread, c0, c1, c3, c2, m_pV))
        return 0;
    if (!direction(m_right, m_left, c1, m_V2, m_v2Usable, m_v2Distance, m_v2Spread, c0, c2, c3, c1, m_pH))
        return 0;
    auto edge = [](Pt F, Pt G) {
        const double len = Dist(F, G);
        EdgeDistance e;
        e.a = (G.y - F.y) / len;
        e.b = (F.x - G.x) / len;
        e.c = -(e.a * F.x + e.b * F.y);
        return e;
    };
    m_dTop = edge(c0, c1);
    m_dLeft = edge(c0, c2);
    m_dBottom = edge(c3, c2);
    m_dRight = edge(c3, c1);
    auto vanishing = [&](QuadPoint V, double distance) {
        Vanishing v;
        v.x = V.x;
        v.y = V.y;
        if (distance > 0) {
            v.ux = (c0.x - v.x) / distance;
            v.uy = (c0.y - v.y) / distance;
        }
        return v;
    };
    m_vanV = vanishing(m_V1, m_v1Distance);
    m_vanH = vanishing(m_V2, m_v2Distance);
    return 1;
}

double CShapeTransform::Vanishing::SpreadTo(double px, double py) const
{
    // The same measure as Spread(corner 0, P, V), with the fixed side's direction kept.
    const double dx = px - x, dy = py - y, len = std::sqrt(dx * dx + dy * dy);
    if (len == 0 || (ux == 0 && uy == 0))
        return 0;
    const double k = std::clamp((ux * dx + uy * dy) / len, 0.0, 1.0);
    return std::acos(std::sqrt(k));
}

bool CShapeTransform::SampleAt(const ImageBuffer16& source, int mode, double x, double y, uint16_t* out) const
{
    const double dT = m_dTop(x, y), dB = m_dBottom(x, y), dL = m_dLeft(x, y), dR = m_dRight(x, y);
    if (Opposite(dT, dB) || Opposite(dL, dR)) {
        out[0] = out[1] = out[2] = out[3] = 0;
        return false;
    }
    auto fraction = [&](bool usable, const Vanishing& v, double spread, double dNear, double dFar) {
        if (usable) {
            const double a = v.SpreadTo(x, y);
            return a <= 0 ? 0.0 : a / spread;
        }
        return dNear + dFar == 0 ? 0.0 : dNear / (dNear + dFar);
    };
    const int w = source.width, h = source.height;
    const double fH = std::clamp(fraction(m_v2Usable, m_vanH, m_v2Spread, dL, dR), 0.0, 1.0);
    const double fV = std::clamp(fraction(m_v1Usable, m_vanV, m_v1Spread, dT, dB), 0.0, 1.0);
    // Fraction 1 is the last pixel, not the edge beyond it, so corners land on corner pixels.
    double X = (m_pH == 1 ? fH : std::pow(fH, m_pH)) * (w - 1);
    double Y = (m_pV == 1 ? fV : std::pow(fV, m_pV)) * (h - 1);
    // Pixel-exact positions that rounding pulled just below the integer.
    if (std::fabs(X - std::round(X)) < 1e-9)
        X = std::round(X);
    if (std::fabs(Y - std::round(Y)) < 1e-9)
        Y = std::round(Y);
    if (mode == 1) {
        const int c = static_cast<int>(X + 0.5), r = static_cast<int>(Y + 0.5);
        const uint16_t* s = Row16(source, std::min(r, h - 1)) + std::min(c, w - 1) * 4;
        std::copy_n(s, 4, out);
        return true;
    }
    // The 2 x 2 neighbourhood is held inside the source; the weights are measured from its
    // start, so the last column is reached with full weight rather than replaced by the one
    // before it.
    const int c = static_cast<int>(X), r = static_cast<int>(Y);
    const int cs = std::max(0, std::min(c, w - 2)), rs = std::max(0, std::min(r, h - 2));
    const int cn = std::min(cs + 1, w - 1), rn = std::min(rs + 1, h - 1);
    const int wx = std::min(256, static_cast<int>((X - cs) * 256));
    const int wy = std::min(256, static_cast<int>((Y - rs) * 256));
    const uint16_t* p00 = Row16(source, rs) + cs * 4;
    const uint16_t* p10 = Row16(source, rs) + cn * 4;
    const uint16_t* p01 = Row16(source, rn) + cs * 4;
    const uint16_t* p11 = Row16(source, rn) + cn * 4;
    for (int k = 0; k < 4; ++k) {
        const int top = (p00[k] * (256 - wx) + p10[k] * wx) >> 8;
        const int bottom = (p01[k] * (256 - wx) + p11[k] * wx) >> 8;
        out[k] = static_cast<uint16_t>((top * (256 - wy) + bottom * wy) >> 8);
    }
    return true;
}

bool CShapeTransform::RenderQuad(const ImageBuffer16& source, ImageBuffer16& destination)
{
    const int n = m_params.step;
    const int W = destination.width, H = destination.height;
    if (n == 0 || !source.data || !destination.data || W <= 0 || H <= 0)
        return false;
    // Rows in whole n-row blocks, so a replicated row's sample row belongs to the same range.
    auto rows = [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
            uint16_t* d = Row16(destination, r);
            const uint16_t* blockRow = Row16(destination, r - r % n);
            for (int c = 0; c < W; ++c, d += 4) {
                if (r % n || c % n) {
                    std::copy_n(blockRow + (c - c % n) * 4, 4, d);
                } else if (n == 1) {
                    // The +0.25 samples of the last column and row fall outside the quadrilateral;
                    // averaging only the inside ones keeps those pixels opaque.
                    int64_t sum[4] = {0, 0, 0, 0};
                    int count = 0;
                    uint16_t s[4];
                    for (auto [ox, oy] : {std::pair{0.0, 0.0}, {0.25, 0.0}, {0.0, 0.25}, {0.25, 0.25}})
                        if (SampleAt(source, 0, c + ox, r + oy, s)) {
                            ++count;
                            for (int k = 0; k < 4; ++k)
                                sum[k] += s[k];
                        }
                    for (int k = 0; k < 4; ++k)
                        d[k] = count ? static_cast<uint16_t>(sum[k] / count) : 0;
                } else {
                    SampleAt(source, 1, c, r, d);
                }
            }
        }
    };
    const int blocks = (H + n - 1) / n;
    auto blockRange = [&](int b0, int b1) {
        rows(b0 * n, std::min(H, b1 * n));
        return true;
    };
    if (n != 1)
        return ParallelRows(blocks, int64_t(W) * 4 / n, [&](int a, int b) { return blockRange(a, b); });
    // Final quality: progress after rows 0, 100, 200, ... in order.
    for (int r0 = 0; r0 < H; r0 += 100) {
        const int r1 = std::min(H, r0 + 100);
        if (!ParallelRows(r1 - r0, int64_t(W) * 40, [&](int a, int b) { return blockRange(r0 + a, r0 + b); }))
            return false;
        SetProgress(static_cast<int>(int64_t(r0) * 100 / H));
    }
    return true;
}
