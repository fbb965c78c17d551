#include "algorithms/InOutMatting.h"

#include "algorithms/GaussBlur.h"
#include "algorithms/LaplacianMatting.h"
#include "algorithms/PixelAccess.h"
#include "algorithms/RecordCopy.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr uint32_t kKnown = 0xFF000000u;

double Distance(double r1, double g1, double b1, double r2, double g2, double b2)
{
    auto L = [](double r, double g, double b) { return 0.2126 * r + 0.7152 * g + 0.0722 * b; };
    auto C1 = [](double r, double g, double b) { return 0.33 * r - 0.5 * g + 0.17 * b; };
    auto C2 = [](double r, double g, double b) { return 0.12 * r + 0.38 * g - 0.5 * b; };
    const double dl = 0.5 * (L(r1, g1, b1) - L(r2, g2, b2));
    const double d1 = C1(r1, g1, b1) - C1(r2, g2, b2), d2 = C2(r1, g1, b1) - C2(r2, g2, b2);
    return std::sqrt(dl * dl + d1 * d1 + d2 * d2);
}

uint32_t Pack8(const uint8_t* bgra)
{
    return kKnown | uint32_t(bgra[2]) << 16 | uint32_t(bgra[1]) << 8 | bgra[0];
}

int ColourCode(const uint16_t* p)
{
    return (SrgbEncodeTable[p[2]] >> 3) << 10 | (SrgbEncodeTable[p[1]] >> 3) << 5 | (SrgbEncodeTable[p[0]] >> 3);
}

// An 8-bit model colour in the working space, as B, G, R.
std::array<int, 3> Working(uint32_t c)
{
    const int R = SrgbDecodeTable[(c >> 16) & 0xFF], G = SrgbDecodeTable[(c >> 8) & 0xFF],
              B = SrgbDecodeTable[c & 0xFF];
    return {static_cast<int>(0.958839 * B + 0.041166 * G), G, static_cast<int>(0.715146 * R + 0.284856 * G)};
}

} // namespace

double ColourDistance16(const uint16_t* p, const uint16_t* q)
{
    return Distance(SrgbEncodeTable[p[2]], SrgbEncodeTable[p[1]], SrgbEncodeTable[p[0]], SrgbEncodeTable[q[2]],
                    SrgbEncodeTable[q[1]], SrgbEncodeTable[q[0]]);
}

double ColourDistance8(uint32_t a, uint32_t b)
{
    return Distance((a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF, (b >> 16) & 0xFF, (b >> 8) & 0xFF, b & 0xFF);
}

std::array<int, 3> UnmixColour(double a, const std::array<int, 3>& bg, const std::array<int, 3>& p)
{
    if (!(a >= 0.05 && a <= 0.95))
        return p;
    const double a2 = std::max(a, 0.3);
    double fc[3], d[3];
    for (int c = 0; c < 3; ++c) {
        fc[c] = bg[c] + (p[c] - bg[c]) / a2;
        d[c] = fc[c] - p[c];
    }
    // Differences (R - G, G - B, B - R) of B, G, R triples.
    auto D = [](const double* v, int i) { return i == 0 ? v[2] - v[1] : (i == 1 ? v[1] - v[0] : v[0] - v[2]); };
    const double pv[3] = {double(p[0]), double(p[1]), double(p[2])};
    double dd = 0, dot = 0;
    for (int i = 0; i < 3; ++i) {
        dd += D(d, i) * D(d, i);
        dot += D(pv, i) * D(d, i);
    }
    // No chroma along the unmixing direction (the pixel grey or the step flat): nothing to take out.
    if (dot == 0)
        return p;
    const double t = dd / -dot;
    if (t < 0)
        return p;
    std::array<int, 3> out;
    for (int c = 0; c < 3; ++c) {
        const double v = t > 1 ? fc[c] : (1 - t) * p[c] + t * fc[c];
        out[c] = static_cast<int>(std::clamp(v, 0.0, 65535.0));
    }
    return out;
}

bool CInOutMatting::BuildMarks(const ImageBuffer16& source)
{
    const size_t n = PixelCount(source);
    try {
        m_marks.assign(n, 0);
        m_foreground.assign(n, 0);
        m_background.assign(n, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const uint8_t* in = PlaneData8(*m_params.inside);
    const uint8_t* out = PlaneData8(*m_params.outside);
    for (size_t i = 0; i < n; ++i) {
        uint8_t c8[4];
        ConvertPixel16To8(Pixels16(source) + i * 4, c8);
        c8[3] = 255;
        if (in[i] > 128) {
            m_marks[i] = 128;
            m_foreground[i] = Pack8(c8);
        } else if (out[i] < 128) {
            m_marks[i] = 64;
            m_background[i] = Pack8(c8);
        }
    }
    return true;
}

bool CInOutMatting::BuildColourModels(const ImageBuffer16& source)
{
    const int w = m_width, h = m_height;
    const int a = std::max(16, std::max(w, h) / 30);
    const int tileRows = (h + a - 1) / a, tileCols = (w + a - 1) / a;
    std::vector<uint8_t> tables;
    std::vector<int> codes;
    try {
        tables.assign(size_t(tileRows) * tileCols * 32768, 0);
        codes.resize(size_t(w) * h);
    } catch (const std::bad_alloc&) {
        return false;
    }
    auto table = [&](int r, int c) { return tables.data() + (size_t(r) * tileCols + c) * 32768; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * w + x;
            codes[i] = ColourCode(Row16(source, y) + x * 4);
            if (m_marks[i] == 128)
                table(y / a, x / a)[codes[i]] |= 0x80;
            else if (m_marks[i] == 64)
                table(y / a, x / a)[codes[i]] |= 0x40;
        }
    // The two tiles each way whose centres lie around a position.
    auto tilePair = [a](int pos, int count, int& o, int& m) {
        const int t = pos - a / 2;
        if (t <= 0) {
            o = m = 0;
            return;
        }
        o = std::min(t / a, count - 1);
        m = o + 1 < count ? o + 1 : o;
    };
    for (int sweep = 0; sweep < 2; ++sweep)
        for (int y = 0; y < h; ++y) {
            int o, m;
            tilePair(y, tileRows, o, m);
            for (int x = 0; x < w; ++x) {
                const size_t i = size_t(y) * w + x;
                if (m_marks[i] != 0 || (m_foreground[i] && m_background[i]))
                    continue;
                int J, K;
                tilePair(x, tileCols, J, K);
                const int code = codes[i];
                uint8_t* t4[4] = {table(o, J), table(o, K), table(m, J), table(m, K)};
                const uint8_t F = t4[0][code] | t4[1][code] | t4[2][code] | t4[3][code];
                uint8_t c8[4];
                ConvertPixel16To8(Row16(source, y) + x * 4, c8);
                if (F & 0x80) {
                    m_foreground[i] = Pack8(c8);
                    for (uint8_t* t : t4)
                        t[code] |= 0x80;
                }
                if (F & 0x40) {
                    m_background[i] = Pack8(c8);
                    for (uint8_t* t : t4)
                        t[code] |= 0x40;
                }
            }
        }
    // A colour that is both subject and background here tells nothing: leave it to propagation.
    for (size_t i = 0; i < m_marks.size(); ++i)
        if (m_marks[i] == 0 && m_foreground[i] && m_background[i] &&
            ColourDistance8(m_foreground[i] & 0xFFFFFF, m_background[i] & 0xFFFFFF) < 24)
            m_foreground[i] = m_background[i] = 0;
    SetProgress(10);
    PropagateColours(m_background);
    PropagateColours(m_foreground);
    return true;
}

void CInOutMatting::PropagateColours(std::vector<uint32_t>& model)
{
    const int w = m_width, h = m_height;
    std::vector<int64_t> queue, next;
    auto known = [&](int x, int y) { return (model[size_t(y) * w + x] & kKnown) != 0; };
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x)
            if (m_marks[size_t(y) * w + x] == 0 && !known(x, y) &&
                (known(x - 1, y) || known(x + 1, y) || known(x, y - 1) || known(x, y + 1)))
                queue.push_back(int64_t(y) * w + x);
    // Each pixel is filled at most once and only a fill queues more, so the rounds end.
    while (!queue.empty()) {
        next.clear();
        for (int64_t i : queue) {
            const int x = int(i % w), y = int(i / w);
            if (m_marks[size_t(i)] != 0 || known(x, y))
                continue;
            int64_t sum[3] = {0, 0, 0}, count = 0;
            for (int yy = std::max(0, y - 2); yy <= std::min(h - 1, y + 2); ++yy)
                for (int xx = std::max(0, x - 2); xx <= std::min(w - 1, x + 2); ++xx) {
                    const uint32_t c = model[size_t(yy) * w + xx];
                    if (c & kKnown) {
                        sum[0] += (c >> 16) & 0xFF, sum[1] += (c >> 8) & 0xFF, sum[2] += c & 0xFF;
                        ++count;
                    }
                }
            if (count == 0)
                continue;
            model[size_t(i)] = kKnown | uint32_t(sum[0] / count) << 16 | uint32_t(sum[1] / count) << 8 |
                               uint32_t(sum[2] / count);
            const int nx[4] = {x - 1, x, x + 1, x}, ny[4] = {y, y - 1, y, y + 1};
            for (int k = 0; k < 4; ++k)
                if (nx[k] >= 0 && ny[k] >= 0 && nx[k] < w && ny[k] < h && !known(nx[k], ny[k]))
                    next.push_back(int64_t(ny[k]) * w + nx[k]);
        }
        queue.swap(next);
    }
}

bool CInOutMatting::EstimateAlpha(const ImageBuffer16& source, ImageBuffer16& destination)
{
    try {
        m_known = m_marks;
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (size_t i = 0; i < m_marks.size(); ++i) {
        uint16_t* d = Pixels16(destination) + i * 4;
        if (m_marks[i]) {
            d[3] = m_marks[i] == 128 ? 65535 : 0;
            m_known[i] = 255;
            continue;
        }
        uint8_t p8[4];
        ConvertPixel16To8(Pixels16(source) + i * 4, p8);
        const uint32_t P = Pack8(p8) & 0xFFFFFF, F = m_foreground[i] & 0xFFFFFF, B = m_background[i] & 0xFFFFFF;
        const double J = ColourDistance8(B, F), I = ColourDistance8(P, B), K = ColourDistance8(P, F);
        const bool fgKnown = (m_foreground[i] & kKnown) != 0, bgKnown = (m_background[i] & kKnown) != 0;
        double alpha;
        if (fgKnown != bgKnown) {
            // Only one model could be filled (no marks of the other kind): an unset colour is no
            // colour, so the pixel sides with the model it has.
            alpha = fgKnown ? 1.0 : 0.0;
        } else if (J == 0) {
            // No contrast between the models: side with the nearer one, halfway when neither.
            alpha = K < I ? 1.0 : (I < K ? 0.0 : 0.5);
        } else {
            const double c = (I * I + J * J - K * K) / (2 * J * J);
            alpha = std::clamp(((I / J + c) * 0.5 - 0.5) * 1.3 + 0.5, 0.0, 1.0);
        }
        d[3] = static_cast<uint16_t>(alpha * 65535);
    }
    return RefineColours(source, destination);
}

bool CInOutMatting::RefineColours(const ImageBuffer16& source, ImageBuffer16& destination)
{
    Plane8 high{}, eroded{};
    if (!AllocPlane8(high, m_width, m_height))
        return false;
    for (size_t i = 0; i < m_marks.size(); ++i)
        high.data[i] = static_cast<uint8_t>(Pixels16(destination)[i * 4 + 3] >> 8);
    // An eroded mask with nothing left comes back released: zero everywhere.
    const bool ok = ShrinkMask(high, eroded, 1, 1) != 0;
    if (ok)
        for (size_t i = 0; i < m_marks.size(); ++i) {
            if (m_marks[i])
                continue;
            const int w = eroded.data ? eroded.data[i] : 0;
            const uint16_t* s = Pixels16(source) + i * 4;
            uint16_t* d = Pixels16(destination) + i * 4;
            const std::array<int, 3> P{s[0], s[1], s[2]};
            const std::array<int, 3> F = Working(m_foreground[i]), Bg = Working(m_background[i]);
            const std::array<int, 3> U = UnmixColour(w / 255.0, Bg, P);
            for (int c = 0; c < 3; ++c)
                d[c] = ClampU16(w > 64 ? (int64_t(U[c]) * w + int64_t(F[c]) * (255 - w) + 64 * int64_t(P[c])) / 319
                                       : (int64_t(P[c]) * w + int64_t(F[c]) * (255 - w)) / 255);
        }
    FreePlane8(high);
    FreePlane8(eroded);
    return ok;
}

int CInOutMatting::Run()
{
    CopyRecordAtMost(m_params, Params());
    ImageBuffer16* src = Source();
    ImageBuffer16* dst = Destination();
    const Plane8 *in = m_params.inside, *out = m_params.outside;
    if (!src || !dst || src == dst || !src->data || !dst->data || !in || !out || !in->data || !out->data)
        return 0;
    m_width = src->width;
    m_height = src->height;
    if (m_width <= 0 || m_height <= 0 || dst->width != m_width || dst->height != m_height ||
        in->width != m_width || in->height != m_height || out->width != m_width || out->height != m_height)
        return 0;
    BuildGammaTables();
    if (!BuildMarks(*src))
        return 0;
    SetProgress(4);
    if (!BuildColourModels(*src))
        return 0;
    SetProgress(40);
    if (!EstimateAlpha(*src, *dst))
        return 0;
    SetProgress(60);

    Plane16 alpha{};
    Plane8 known{};
    if (!AllocPlane16(alpha, m_width, m_height) || !AllocPlane8(known, m_width, m_height)) {
        FreePlane16(alpha);
        FreePlane8(known);
        return 0;
    }
    for (size_t i = 0; i < m_marks.size(); ++i) {
        alpha.data[i] = Pixels16(*dst)[i * 4 + 3];
        known.data[i] = m_known[i];
    }
    LaplacianMattingParams lp;
    lp.guide = src;
    lp.alpha = &alpha;
    lp.known = &known;
    lp.iterations = std::clamp(m_params.refineIterations, 0, 1000);
    CDoubleLaplacian relax;
    relax.SetSource(src);
    relax.SetParams(&lp);
    relax.SetParent(this, 60, 100);
    const int ok = relax.Run();
    if (ok) {
        for (size_t i = 0; i < m_marks.size(); ++i)
            Pixels16(*dst)[i * 4 + 3] = alpha.data[i];
        m_foreground = {};
        m_background = {};
    }
    FreePlane16(alpha);
    FreePlane8(known);
    return ok;
}
