// Edge-directed tripling. The tables below are the sampling patterns of the 16 directions and
// of the refinement along them; every integer division truncates toward zero.
#include "algorithms/X3Enlarge.h"

#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmRandom.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/IterAntiBlur.h"
#include "algorithms/PixelAccess.h"
#include "imaging/ColourTables.h"
#include "imaging/ConvolutionKernel.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

struct Sample {
    int ax, ay, bx, by, p; // A toward B by p %; p = 0: A itself
};

// Samples at -1, +1, -2 and +2 steps for each direction.
const Sample kDirections[16][4] = {
    {{-1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {-2, 0, 0, 0, 0}, {2, 0, 0, 0, 0}},
    {{-1, 0, -1, 1, 25}, {1, 0, 1, -1, 25}, {-2, 0, -2, 1, 50}, {2, 0, 2, -1, 50}},
    {{-1, 0, -1, 1, 50}, {1, 0, 1, -1, 50}, {-2, 1, 0, 0, 0}, {2, -1, 0, 0, 0}},
    {{-1, 0, -1, 1, 75}, {1, 0, 1, -1, 75}, {-2, 1, -2, 2, 50}, {2, -1, 2, -2, 50}},
    {{-1, 1, 0, 0, 0}, {1, -1, 0, 0, 0}, {-2, 2, 0, 0, 0}, {2, -2, 0, 0, 0}},
    {{-1, 1, 0, 1, 25}, {1, -1, 0, -1, 25}, {-2, 2, -1, 2, 50}, {1, -2, 2, -2, 50}},
    {{-1, 1, 0, 1, 50}, {1, -1, 0, -1, 50}, {-1, 2, 0, 0, 0}, {1, -2, 0, 0, 0}},
    {{-1, 1, 0, 1, 75}, {1, -1, 0, -1, 75}, {-1, 2, 0, 2, 50}, {0, -2, 1, -2, 50}},
    {{0, -1, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, -2, 0, 0, 0}, {0, 2, 0, 0, 0}},
    {{0, -1, -1, -1, 25}, {0, 1, 1, 1, 25}, {0, -2, -1, -2, 50}, {0, 2, 1, 2, 50}},
    {{0, -1, -1, -1, 50}, {0, 1, 1, 1, 50}, {-1, -2, 0, 0, 0}, {1, 2, 0, 0, 0}},
    {{0, -1, -1, -1, 75}, {0, 1, 1, 1, 75}, {-1, -2, -2, -2, 50}, {1, 2, 2, 2, 50}},
    {{-1, -1, 0, 0, 0}, {1, 1, 0, 0, 0}, {-2, -2, 0, 0, 0}, {2, 2, 0, 0, 0}},
    {{-1, -1, -1, 0, 25}, {1, 1, 1, 0, 25}, {-2, -2, -2, -1, 50}, {2, 2, 2, 1, 50}},
    {{-1, -1, -1, 0, 50}, {1, 1, 1, 0, 50}, {-2, -1, 0, 0, 0}, {2, 1, 0, 0, 0}},
    {{-1, -1, -1, 0, 75}, {1, 1, 1, 0, 75}, {-2, -1, -2, 0, 50}, {2, 1, 2, 0, 50}},
};

struct Pair {
    int ax, ay, bx, by;
};
const Pair kRising[7] = {{0, 0, -1, 1}, {2, -1, 1, 0}, {1, 0, 0, 1}, {0, 1, -1, 2}, {2, 0, 1, 1}, {1, 1, 0, 2}, {1, -1, 0, 0}};
const Pair kFalling[7] = {{-1, 0, 0, 1}, {0, 1, 1, 2}, {-1, -1, 0, 0}, {0, 0, 1, 1}, {1, 1, 2, 2}, {0, -1, 1, 0}, {1, 0, 2, 1}};
const Pair kHorizontal[6] = {{-1, 0, 0, 0}, {0, 0, 1, 0}, {1, 0, 2, 0}, {-1, 1, 0, 1}, {0, 1, 1, 1}, {1, 1, 2, 1}};
const Pair kVertical[6] = {{0, -1, 0, 0}, {0, 0, 0, 1}, {0, 1, 0, 2}, {1, -1, 1, 0}, {1, 0, 1, 1}, {1, 1, 1, 2}};

// A refinement sample: (sum of weight x value at offset) >> shift.
struct Tap {
    int w, dx, dy;
};
struct RefSample {
    Tap t[2];
    int shift;
};
constexpr Tap R{1, 1, 0}, L{1, -1, 0}, U{1, 0, -1}, D{1, 0, 1}, UR{1, 1, -1}, UL{1, -1, -1}, DR{1, 1, 1}, DL{1, -1, 1};
constexpr Tap None{0, 0, 0};
constexpr Tap W3(Tap t) { return {3, t.dx, t.dy}; }
constexpr Tap At(int dx, int dy) { return {1, dx, dy}; }
constexpr RefSample One(Tap a) { return {{a, None}, 0}; }
constexpr RefSample Half(Tap a, Tap b) { return {{a, b}, 1}; }
constexpr RefSample Quarter(Tap a, Tap b) { return {{a, b}, 2}; }

// b, c (near) and e, f (far) for each direction.
const RefSample kRefine[16][4] = {
    {One(R), One(L), One(At(-2, 0)), One(At(2, 0))},
    {Quarter(W3(R), UR), Quarter(DL, W3(L)), Half(At(-2, 0), At(-2, 1)), Half(At(2, 0), At(2, -1))},
    {Half(R, UR), Half(L, DL), One(At(-2, 1)), One(At(2, -1))},
    {Quarter(R, W3(UR)), Quarter(L, W3(DL)), Half(At(-2, 2), At(-2, 1)), Half(At(2, -1), At(2, -2))},
    {One(UR), One(DL), One(DL), One(UR)},
    {Quarter(U, W3(UR)), Quarter(D, W3(DL)), Half(At(2, -2), At(1, -2)), Half(At(-1, 2), At(-2, 2))},
    {Half(UR, U), Half(D, DL), One(At(1, -2)), One(At(-1, 2))},
    {Quarter(UR, W3(U)), Quarter(DL, W3(D)), Half(At(1, -2), At(0, -2)), Half(At(-1, 2), At(0, 2))},
    {One(D), One(U), One(At(0, -2)), One(At(0, 2))},
    {Quarter(DR, W3(D)), Quarter(UL, W3(U)), Half(At(-1, -2), At(0, -2)), Half(At(1, 2), At(0, 2))},
    {Half(D, DR), Half(UL, U), One(At(-1, -2)), One(At(1, 2))},
    {Quarter(D, W3(DR)), Quarter(U, W3(UL)), Half(At(-2, -2), At(-1, -2)), Half(At(1, 2), At(2, 2))},
    {One(DR), One(UL), One(UL), One(DR)},
    {Quarter(R, W3(DR)), Quarter(L, W3(UL)), Half(At(-2, -2), At(-2, -1)), Half(At(2, 2), At(2, 1))},
    {Half(R, DR), Half(L, UL), One(At(-2, -1)), One(At(2, 1))},
    {Quarter(DR, W3(R)), Quarter(W3(L), UL), Half(At(-2, 0), At(-2, -1)), Half(At(2, 0), At(2, 1))},
};

inline uint16_t Ch(uint64_t px, int c)
{
    return static_cast<uint16_t>(px >> (16 * c));
}

inline uint16_t& P16(Plane16& p, int x, int y)
{
    return p.data[static_cast<size_t>(y) * p.width + x];
}
inline uint16_t P16(const Plane16& p, int x, int y)
{
    return p.data[static_cast<size_t>(y) * p.width + x];
}

struct OwnedPlane16 {
    Plane16 p{};
    ~OwnedPlane16() { FreePlane16(p); }
};
struct OwnedImage16 {
    ImageBuffer16 img{};
    ~OwnedImage16() { FreeImageBuffer(img); }
};

} // namespace

uint64_t BlendPixelPercent(uint64_t a, uint64_t b, int p)
{
    uint64_t out = a & 0xFFFF000000000000ull;
    for (int c = 0; c < 3; ++c) {
        const int va = Ch(a, c), vb = Ch(b, c);
        out |= static_cast<uint64_t>(static_cast<uint16_t>(va + (vb - va) * p / 100)) << (16 * c);
    }
    return out;
}

void Enlarge3xRow(const Plane16& s, Plane16& t, int w, int h, int y)
{
    for (int x = 0; x < w; ++x) {
        const int p = P16(s, x, y);
        int v[3][3];
        if (x == 0 || y == 0 || x == w - 1 || y == h - 1) {
            for (auto& row : v)
                for (int& e : row)
                    e = p;
        } else {
            const int N = P16(s, x, y - 1), S = P16(s, x, y + 1), W = P16(s, x - 1, y), E = P16(s, x + 1, y);
            const int NW = P16(s, x - 1, y - 1), NE = P16(s, x + 1, y - 1);
            const int SW = P16(s, x - 1, y + 1), SE = P16(s, x + 1, y + 1);
            v[1][1] = p;
            v[0][1] = (2 * p + N) / 3;
            v[1][0] = (2 * p + W) / 3;
            v[1][2] = (2 * p + E) / 3;
            v[2][1] = (2 * p + S) / 3;
            v[0][0] = (NW + 2 * (W + 2 * p + N)) / 9;
            v[0][2] = (NE + 2 * (E + 2 * p + N)) / 9;
            v[2][0] = (SW + 2 * (W + 2 * p + S)) / 9;
            v[2][2] = (SE + 2 * (E + 2 * p + S)) / 9;
        }
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i)
                P16(t, 3 * x + i, 3 * y + j) = static_cast<uint16_t>(v[j][i]);
    }
}

// Each source row writes its own three target rows, so the rows go to the helpers.
bool Enlarge3xPlain(const Plane16& s, Plane16& t)
{
    const int w = s.width, h = s.height;
    return ParallelRows(h, int64_t(w) * 9, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            Enlarge3xRow(s, t, w, h, y);
        return true;
    });
}

float LocalExtremumRatio(int a, int b, int hi, int lo)
{
    if (b == hi || b == lo || hi == lo)
        return 0.01f;
    const float r = b < a ? static_cast<float>(hi - a) / static_cast<float>(hi - b)
                          : static_cast<float>(a - lo) / static_cast<float>(b - lo);
    return std::clamp(r, 0.01f, 1.0f);
}

CX3Enlarge::~CX3Enlarge()
{
    FreePlane16(m_codes);
}

int CX3Enlarge::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination)
        return 0;
    return Enlarge(*m_pSource, *m_pDestination);
}

int CX3Enlarge::ClassifyPixels(const ImageBuffer16& src)
{
    const int w = src.width, h = src.height;
    m_width = w;
    m_height = h;
    if (!AllocPlane16(m_codes, w, h))
        return 0;
    std::memset(m_codes.data, 0, static_cast<size_t>(w) * h * 2);
    auto px = [&](int x, int y) {
        uint64_t v;
        std::memcpy(&v, Row16(src, y) + static_cast<size_t>(x) * 4, 8);
        return v;
    };
    auto diff3 = [](uint64_t a, uint64_t b) {
        return std::abs(Ch(a, 0) - Ch(b, 0)) + std::abs(Ch(a, 1) - Ch(b, 1)) + std::abs(Ch(a, 2) - Ch(b, 2));
    };
    // Pass 1: direction of the smoothest line through the pixel.
    for (int y = 2; y <= h - 3; ++y)
        for (int x = 2; x <= w - 3; ++x) {
            const uint64_t c = px(x, y);
            int64_t best = -1;
            int bestD = 0;
            for (int d = 0; d < 16; ++d) {
                int64_t score = 0;
                for (const Sample& s : kDirections[d]) {
                    uint64_t v = px(x + s.ax, y + s.ay);
                    if (s.p)
                        v = BlendPixelPercent(v, px(x + s.bx, y + s.by), s.p);
                    score += diff3(v, c);
                }
                if (best < 0 || score < best) {
                    best = score;
                    bestD = d;
                }
            }
            m_codes.data[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>(bestD);
        }
    // Pass 2: orientation of each 2 x 2 block.
    for (int y = 1; y <= h - 3; ++y)
        for (int x = 1; x <= w - 3; ++x) {
            auto score = [&](const Pair* pairs, int n) {
                int64_t s = 0;
                for (int i = 0; i < n; ++i)
                    s += diff3(px(x + pairs[i].ax, y + pairs[i].ay), px(x + pairs[i].bx, y + pairs[i].by));
                return s / n;
            };
            const int64_t scores[4] = {score(kRising, 7), score(kFalling, 7), score(kHorizontal, 6), score(kVertical, 6)};
            int win = 0;
            for (int k = 1; k < 4; ++k)
                if (scores[k] < scores[win])
                    win = k;
            const int verdict = scores[1] < scores[0] ? 3 : 1;
            m_codes.data[static_cast<size_t>(y) * w + x] |= static_cast<uint16_t>((verdict << 8) | (win << 10));
        }
    // Pass 3: ridge weight from the 3 x 3 luminance.
    auto lum = [&](int x, int y) {
        const uint16_t* p = Row16(src, y) + static_cast<size_t>(x) * 4;
        return (3 * p[2] + 6 * p[1] + p[0]) / 10;
    };
    for (int y = 1; y <= h - 2; ++y)
        for (int x = 1; x <= w - 2; ++x) {
            int Y[3][3], lo = 65535, hi = 0;
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 3; ++i) {
                    Y[j][i] = lum(x + i - 1, y + j - 1);
                    lo = std::min(lo, Y[j][i]);
                    hi = std::max(hi, Y[j][i]);
                }
            const int range = hi - lo;
            if (range <= 500)
                continue;
            const int64_t c = Y[1][1];
            auto part = [&](int a, int b) {
                return static_cast<int64_t>(std::sqrt(static_cast<double>(std::max<int64_t>(0, (c - a) * (c - b)))));
            };
            const int64_t sum = part(Y[1][0], Y[1][2]) + part(Y[0][1], Y[2][1]) + part(Y[0][0], Y[2][2]) +
                                part(Y[2][0], Y[0][2]);
            const int weight = static_cast<int>(std::min<int64_t>(15, 8 * sum / range));
            m_codes.data[static_cast<size_t>(y) * w + x] |= static_cast<uint16_t>(weight << 12);
        }
    return 1;
}

void CX3Enlarge::SharpenRidgeCentres(const Plane16& s, Plane16& t)
{
    const int w = s.width, h = s.height;
    for (int y = 2; y <= h - 3; ++y)
        for (int x = 2; x <= w - 3; ++x) {
            const int z = RidgeWeight(Code(x, y));
            if (z < 1)
                continue;
            const int64_t b = P16(s, x, y);
            int64_t sum = 0;
            for (int j = -2; j <= 2; ++j)
                for (int i = -2; i <= 2; ++i)
                    sum += P16(s, x + i, y + j);
            const int64_t m = (sum - b) / 24;
            P16(t, 3 * x + 1, 3 * y + 1) = ClampU16((z * (3 * b - 2 * m) + (100 - z) * b) / 100);
        }
}

void CX3Enlarge::CornerFlags(int x, int y, bool f[4]) const
{
    f[0] = x >= 1 && y >= 1 && DiagonalVerdict(Code(x - 1, y - 1)) == 1;
    f[1] = y >= 1 && DiagonalVerdict(Code(x, y - 1)) == 3;
    f[2] = x >= 1 && DiagonalVerdict(Code(x - 1, y)) == 3;
    f[3] = DiagonalVerdict(Code(x, y)) == 1;
}

void CX3Enlarge::InterpolateBlock(const Plane16& s, Plane16& t, const std::vector<float>& ratio,
                                  const std::vector<int>& mean, int x, int y)
{
    const int w = s.width;
    auto at = [&](int i, int j) { return static_cast<int>(P16(s, i, j)); };
    const int c = at(x, y);
    const float r = ratio[static_cast<size_t>(y) * w + x];
    const int mc = mean[static_cast<size_t>(y) * w + x];
    int lo = P16(t, 3 * x + 1, 3 * y + 1), hi = lo;
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) {
            lo = std::min(lo, at(x + i, y + j));
            hi = std::max(hi, at(x + i, y + j));
        }
    bool flagged[4];
    CornerFlags(x, y, flagged);
    // Neighbour offsets and their block positions: up, left, right, down, then the corners.
    struct N {
        int dx, dy, tx, ty, corner;
    };
    static const N kN[8] = {{0, -1, 1, 0, -1}, {-1, 0, 0, 1, -1}, {1, 0, 2, 1, -1}, {0, 1, 1, 2, -1},
                            {-1, -1, 0, 0, 0}, {1, -1, 2, 0, 1}, {-1, 1, 0, 2, 2}, {1, 1, 2, 2, 3}};
    float kMiddle[4] = {0, 0, 0, 0};
    for (int n = 0; n < 8; ++n) {
        const N& nb = kN[n];
        if (nb.corner >= 0 && flagged[nb.corner])
            continue;
        const int qx = x + nb.dx, qy = y + nb.dy;
        const int q = at(qx, qy);
        const float rq = ratio[static_cast<size_t>(qy) * w + qx];
        const int mq = mean[static_cast<size_t>(qy) * w + qx];
        float k = 0.667f * r / (r + rq);
        if (q != c) {
            const float qc = static_cast<float>(q - c);
            const float W = (static_cast<float>(mq - c) / qc + 0.5f) * rq / r + (static_cast<float>(q - mc) / qc + 0.5f);
            if (W >= 0.01f)
                k = (r <= rq ? 1.0f : 1.4f) / W;
        }
        k = std::clamp(std::min(k, r), 0.01f, 1.0f);
        if (n < 4)
            kMiddle[n] = k;
        const float v = static_cast<float>(q - mc) * k + static_cast<float>(c);
        P16(t, 3 * x + nb.tx, 3 * y + nb.ty) = ClampU16(static_cast<int64_t>(v));
    }
    const float centre = (kMiddle[0] + kMiddle[1] + kMiddle[2] + kMiddle[3]) * 0.25f * static_cast<float>(c - mc) +
                         static_cast<float>(c);
    P16(t, 3 * x + 1, 3 * y + 1) = ClampU16(static_cast<int64_t>(centre));
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            uint16_t& v = P16(t, 3 * x + i, 3 * y + j);
            v = static_cast<uint16_t>(std::clamp<int>(v, lo, hi));
        }
}

int CX3Enlarge::InterpolateDirectional(Plane16& s, Plane16& t)
{
    const int w = s.width, h = s.height;
    std::vector<float> ratio(static_cast<size_t>(w) * h, 0.01f);
    std::vector<int> mean(static_cast<size_t>(w) * h, 0);
    auto mean3 = [&](int x, int y) {
        int sum = 0;
        for (int j = -1; j <= 1; ++j)
            for (int i = -1; i <= 1; ++i)
                sum += P16(s, x + i, y + j);
        return sum / 9;
    };
    for (int y = 1; y <= h - 2; ++y)
        for (int x = 1; x <= w - 2; ++x) {
            int lo = 65535, hi = 0;
            for (int j = -1; j <= 1; ++j)
                for (int i = -1; i <= 1; ++i) {
                    const int v = P16(t, 3 * (x + i) + 1, 3 * (y + j) + 1);
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            ratio[static_cast<size_t>(y) * w + x] = LocalExtremumRatio(P16(s, x, y), mean3(x, y), hi, lo);
        }
    // The sharpened centres become the values the blocks interpolate from.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            P16(s, x, y) = P16(t, 3 * x + 1, 3 * y + 1);
    for (int y = 1; y <= h - 2; ++y)
        for (int x = 1; x <= w - 2; ++x)
            mean[static_cast<size_t>(y) * w + x] = mean3(x, y);
    for (int y = 2; y <= h - 3; ++y)
        for (int x = 2; x <= w - 3; ++x)
            InterpolateBlock(s, t, ratio, mean, x, y);
    // Junctions where four blocks meet follow the 2 x 2 orientation.
    for (int y = 1; y <= h - 3; ++y)
        for (int x = 1; x <= w - 3; ++x) {
            const uint16_t code = Code(x, y);
            const int jx = 3 * x + 2, jy = 3 * y + 2;
            auto T = [&](int dx, int dy) -> uint16_t& { return P16(t, jx + dx, jy + dy); };
            auto avg = [&](int ax, int ay, int bx, int by) {
                return static_cast<uint16_t>((T(ax, ay) + T(bx, by)) / 2);
            };
            const int verdict = DiagonalVerdict(code);
            switch (BlockOrientation(code)) {
            case 0:
                T(0, 0) = avg(-1, 1, 1, -1);
                T(1, 1) = avg(2, 0, 0, 2);
                break;
            case 1:
                T(1, 0) = avg(2, 1, 0, -1);
                T(0, 1) = avg(-1, 0, 1, 2);
                break;
            case 2:
                if (verdict == 1) {
                    T(0, 0) = avg(1, 0, -1, 0);
                    T(1, 1) = avg(2, 1, 0, 1);
                } else if (verdict == 3) {
                    T(1, 0) = avg(0, 0, 2, 0);
                    T(0, 1) = avg(-1, 1, 1, 1);
                }
                break;
            case 3:
                if (verdict == 3) {
                    T(1, 0) = avg(1, 1, 1, -1);
                    T(0, 1) = avg(0, 0, 0, 2);
                } else if (verdict == 1) {
                    T(0, 0) = avg(0, 1, 0, -1);
                    T(1, 1) = avg(1, 0, 1, 2);
                }
                break;
            }
        }
    return 1;
}

void CX3Enlarge::RefineAlongDirection(const Plane16& copy, Plane16& t)
{
    const int tw = t.width, th = t.height;
    auto sample = [&](const RefSample& s, int x, int y) {
        int v = 0;
        for (const Tap& tap : s.t)
            if (tap.w)
                v += tap.w * P16(copy, x + tap.dx, y + tap.dy);
        return v >> s.shift;
    };
    for (int y = 4; y < th - 4; ++y)
        for (int x = 4; x < tw - 4; ++x) {
            const int d = DirectionIndex(Code(x / 3, y / 3));
            const RefSample* rs = kRefine[d];
            const int b = sample(rs[0], x, y), c = sample(rs[1], x, y);
            const int m = std::clamp<int>(P16(copy, x, y), std::min(b, c), std::max(b, c));
            int v;
            if (x % 3 == 1 || y % 3 == 1)
                v = (b + 2 * m + c) >> 2;
            else
                v = (sample(rs[3], x, y) + 2 * m + sample(rs[2], x, y) + b + c) / 6;
            P16(t, x, y) = static_cast<uint16_t>(v);
        }
}

int CX3Enlarge::EnlargeChannel(Plane16& s, Plane16& t)
{
    if (!Enlarge3xPlain(s, t))
        return 0;
    if (m_params.ridgeEnhance)
        SharpenRidgeCentres(s, t);
    if (!InterpolateDirectional(s, t))
        return 0;
    OwnedPlane16 copy;
    if (!CopyPlane16(copy.p, t))
        return 0;
    RefineAlongDirection(copy.p, t);
    return 1;
}

int CX3Enlarge::SmoothRidges(ImageBuffer16& img)
{
    OwnedImage16 copy;
    if (!CopyImage16(copy.img, img))
        return 0;
    const int w = m_width, h = m_height;
    for (int y = 1; y <= h - 2; ++y)
        for (int x = 1; x <= w - 2; ++x) {
            const int z = RidgeWeight(Code(x, y));
            if (z < 1)
                continue;
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 3; ++i) {
                    if (i == 1 && j == 1)
                        continue;
                    const int tx = 3 * x + i, ty = 3 * y + j;
                    uint16_t* out = Row16(img, ty) + static_cast<size_t>(tx) * 4;
                    for (int c = 0; c < 3; ++c) {
                        auto v = [&](int dx, int dy) {
                            return static_cast<int>(Row16(copy.img, ty + dy)[static_cast<size_t>(tx + dx) * 4 + c]);
                        };
                        const int blurred = (4 * v(0, 0) + 2 * (v(-1, 0) + v(1, 0) + v(0, -1) + v(0, 1)) + v(-1, -1) +
                                             v(1, -1) + v(-1, 1) + v(1, 1)) / 16;
                        out[c] = static_cast<uint16_t>((z * blurred + (15 - z) * v(0, 0)) / 15);
                    }
                }
        }
    return 1;
}

int BuildTexturePlane(const Plane8& grey, Plane8& tex)
{
    const int w = grey.width, h = grey.height;
    if (!AllocPlane8(tex, w, h))
        return 0;
    std::memset(tex.data, 128, static_cast<size_t>(w) * h);
    for (int y = 4; y < h - 4; ++y)
        for (int x = 4; x < w - 4; ++x) {
            int M = 0, N = 255, s = 0;
            for (int j = -4; j <= 4; ++j)
                for (int i = -4; i <= 4; ++i) {
                    const int v = grey.data[static_cast<size_t>(y + j) * w + x + i];
                    M = std::max(M, v);
                    N = std::min(N, v);
                    s += v;
                }
            if (N >= M)
                continue;
            const int t = ((M + N) / 2 + s / 81) / 2;
            int a = 0, b = 0;
            for (int j = -4; j <= 4; ++j)
                for (int i = -4; i <= 4; ++i) {
                    const int v = grey.data[static_cast<size_t>(y + j) * w + x + i];
                    a += v < t;
                    b += v > t;
                }
            tex.data[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(((81 - b) * 255 / 81 + a * 255 / 81) / 2);
        }
    CGaussBlur blur;
    return blur.BlurPlane8(1.0, tex, tex);
}

int EnhanceTexture(const ImageBuffer16& src, ImageBuffer16& tgt)
{
    Plane8 grey{}, tex{};
    const bool ok = ConvertImage16ToGrey8(src, grey) && BuildTexturePlane(grey, tex);
    FreePlane8(grey);
    if (!ok) {
        FreePlane8(tex);
        return 0;
    }
    int T[256];
    for (int k = 0; k < 256; ++k)
        T[k] = static_cast<int>(200 * std::pow(k / 256.0, 1.5));
    OwnedImage16 copy;
    if (!CopyImage16(copy.img, tgt)) {
        FreePlane8(tex);
        return 0;
    }
    const int w = src.width, h = src.height;
    for (int y = 1; y <= h - 2; ++y)
        for (int x = 1; x <= w - 2; ++x) {
            const int t = tex.data[static_cast<size_t>(y) * w + x];
            const int dist = 2 * std::abs(t - 128);
            const int u = 256 - dist, v = T[std::min(dist, 255)]; // t = 0 would index past the table
            if (u + v <= 0)
                continue;
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 3; ++i) {
                    const int tx = 3 * x + i, ty = 3 * y + j;
                    for (int c = 0; c < 3; ++c) {
                        auto at = [&](int dx, int dy) {
                            return static_cast<int64_t>(Row16(copy.img, ty + dy)[static_cast<size_t>(tx + dx) * 4 + c]);
                        };
                        const int64_t p = at(0, 0);
                        const int64_t M5 = std::max({p, at(-1, 0), at(0, -1), at(1, 0), at(0, 1)});
                        const int64_t N5 = std::min({p, at(-1, 0), at(0, -1), at(1, 0), at(0, 1)});
                        const int64_t pull = t <= 128 ? M5 : N5;
                        Row16(tgt, ty)[static_cast<size_t>(tx) * 4 + c] = static_cast<uint16_t>((p * u + pull * v) / (u + v));
                    }
                }
        }
    FreePlane8(tex);
    return 1;
}

int CX3Enlarge::ReduceBlur(ImageBuffer16& img)
{
    static const int32_t kKernel[25] = {0, 1, 2, 1, 0, 1, 4, 6, 4, 1, 2, 6, 9, 6, 2, 1, 4, 6, 4, 1, 0, 1, 2, 1, 0};
    IterAntiBlurParams p;
    p.weights = kKernel;
    p.width = p.height = 5;
    p.centreX = p.centreY = 2;
    p.divisor = 65;
    p.iterations = m_params.deblurStrength / 30;
    p.banded = 0;
    p.clampMode = 2;
    OwnedImage16 copy;
    if (!CopyImage16(copy.img, img))
        return 0;
    CIterAntiBlur deblur;
    deblur.SetParent(this, 0, 0);
    deblur.SetSource(&copy.img);
    deblur.SetDestination(&img);
    deblur.SetParams(&p);
    return deblur.Run();
}

void CX3Enlarge::FillGrainPlane(Plane16& noise)
{
    uint8_t magnitude[15903];
    int at = 0;
    for (int m = 1; m <= 31; ++m)
        for (int i = 0; i < 1025 - 32 * m; ++i)
            magnitude[at++] = static_cast<uint8_t>(m);
    const int64_t amount = m_params.grainAmount;
    for (size_t i = 0, n = static_cast<size_t>(noise.width) * noise.height; i < n; ++i) {
        const int64_t m = magnitude[AlgorithmRand() % 15872];
        const int64_t step = m * amount * 10 / 30;
        noise.data[i] = ClampU16(AlgorithmRand() & 1 ? 0x8000 + step : 0x8000 - step);
    }
}

int CX3Enlarge::AddGrain(ImageBuffer16& img)
{
    OwnedPlane16 noise;
    if (!AllocPlane16(noise.p, img.width, img.height))
        return 0;
    FillGrainPlane(noise.p);
    RgbToYCbCr16(img);
    uint16_t* p = Pixels16(img);
    for (size_t i = 0, n = PixelCount(img); i < n; ++i)
        p[i * 4 + 2] = ClampU16(static_cast<int64_t>(p[i * 4 + 2]) + noise.p.data[i] - 0x8000);
    YCbCrToRgb16(img);
    return 1;
}

int CX3Enlarge::Enlarge(const ImageBuffer16& src, ImageBuffer16& dst)
{
    if (!src.data || &src == &dst)
        return 0;
    m_width = src.width;
    m_height = src.height;
    m_targetWidth = 3 * m_width;
    m_targetHeight = 3 * m_height;
    OwnedPlane16 sp, tp;
    if (!AllocImage16(dst, m_targetWidth, m_targetHeight) || !AllocPlane16(sp.p, m_width, m_height) ||
        !AllocPlane16(tp.p, m_targetWidth, m_targetHeight) || !ClassifyPixels(src))
        return 0;
    uint16_t* out = Pixels16(dst);
    const size_t targetCount = PixelCount(dst);
    for (int c = 0; c < 4; ++c) {
        if (!ExtractChannel16(sp.p, src, c))
            return 0;
        if (c < 3) {
            if (!EnlargeChannel(sp.p, tp.p))
                return 0;
        } else if (!Enlarge3xPlain(sp.p, tp.p)) {
            return 0;
        }
        for (size_t i = 0; i < targetCount; ++i)
            out[i * 4 + c] = tp.p.data[i];
    }
    if (m_params.ridgeEnhance && !SmoothRidges(dst))
        return 0;
    if (m_params.soften) {
        static const int32_t kSoft[9] = {1, 1, 1, 1, 4, 1, 1, 1, 1};
        ConvolutionKernel k{kSoft, 12, 3, 3, 1, 1};
        OwnedImage16 soft;
        if (!k.ApplyImage16(dst, soft.img) || !CopyImage16(dst, soft.img))
            return 0;
    }
    if (m_params.textureEnhance && !EnhanceTexture(src, dst))
        return 0;
    if (m_params.deblurStrength && !ReduceBlur(dst))
        return 0;
    if (m_params.grainAmount && !AddGrain(dst))
        return 0;
    return 1;
}
