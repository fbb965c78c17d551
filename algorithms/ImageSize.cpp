// Resizers. Integer divisions truncate toward zero and (int) of a real truncates, as the
// stored results of earlier versions expect.
#include "algorithms/ImageSize.h"
#include "algorithms/TargetClones.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/PixelAccess.h"
#include "algorithms/ResEnhance.h"
#include "algorithms/ScratchCache.h"
#include "algorithms/X2Enlarge.h"
#include "algorithms/X3Enlarge.h"
#include "imaging/ConvolutionKernel.h"
#include "imaging/Document.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <tuple>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>
#include <vector>

namespace {

struct OwnedImage {
    ImageBuffer16 img{};
    ~OwnedImage() { FreeImageBuffer(img); }
};

template <class T>
std::unique_ptr<T[]> NewArray(size_t n)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[n]);
}

} // namespace

void CImageSize::ReportFraction(int64_t num, int64_t den)
{
    if (den <= 0)
        return;
    SetProgress(static_cast<int>(m_windowLow + (m_windowHigh - m_windowLow) * num / den));
}

int CImageSize::Run()
{
    if (!CopyParamRecord(m_params, m_pParams))
        return 0;
    m_windowLow = 0;
    m_windowHigh = 100;
    if (m_pDocument)
        return ResizeDocument();
    if (!m_pSource || !m_pDestination)
        return 0;
    return ResizeImage(*m_pSource, *m_pDestination, m_params.width, m_params.height);
}

int CImageSize::ResizeImage(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height)
{
    switch (m_params.method) {
    case ResizeNearestMethod: return ResizeNearest(source, destination, width, height);
    case ResizeBilinearMethod: return ResizeBilinear(source, destination, width, height);
    case ResizeBicubicMethod: return ResizeCubic(source, destination, width, height, 0.33f, 0.73f);
    case ResizeSmartMethod: return SmartResize(source, destination, width, height);
    case ResizeDoubleMethod: return ResizeDouble(source, destination);
    default: return 0;
    }
}

// --- nearest and bilinear ---

int CImageSize::ResizeNearest(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height)
{
    if (!source.data || width <= 0 || height <= 0 || &source == &destination)
        return 0;
    if (!AllocImage16(destination, width, height))
        return 0;
    const uint64_t sw = source.width, sh = source.height;
    auto xs = NewArray<uint32_t>(width);
    if (!xs)
        return 0;
    for (int j = 0; j < width; ++j)
        xs[j] = static_cast<uint32_t>(j * sw / width);
    // Row ranges skipped by a cancel leave rows unwritten: not a result.
    return ParallelRows(height, static_cast<int64_t>(width) * 2, [&](int y0, int y1) {
        for (int i = y0; i < y1; ++i) {
            const uint64_t* in = reinterpret_cast<const uint64_t*>(Row16(source, static_cast<int>(i * sh / height)));
            uint64_t* out = reinterpret_cast<uint64_t*>(Row16(destination, i));
            for (int j = 0; j < width; ++j)
                out[j] = in[xs[j]];
        }
        return true;
    }) ? 1 : 0;
}

int CImageSize::ResizeBilinear(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height)
{
    if (!source.data || width <= 0 || height <= 0 || &source == &destination)
        return 0;
    const int sw = source.width, sh = source.height;
    if (width <= sw || height <= sh)
        return Shrink5x5(source, destination, width, height);
    struct Tap { int i0, i1, f; };
    auto axis = [](int n, int m) {
        std::vector<Tap> t(m);
        for (int j = 0; j < m; ++j) {
            const double x = static_cast<double>(j) * n / m;
            const int x0 = static_cast<int>(x);
            t[j] = x0 < n - 1 ? Tap{x0, x0 + 1, static_cast<int>((x - x0) * 256)} : Tap{x0, x0, 0};
        }
        return t;
    };
    const std::vector<Tap> cols = axis(sw, width), rows = axis(sh, height);
    if (!AllocImage16(destination, width, height))
        return 0;
    // Row ranges skipped by a cancel leave rows unwritten: not a result.
    return ParallelRows(height, static_cast<int64_t>(width) * 8, [&](int y0, int y1) {
        for (int i = y0; i < y1; ++i) {
            const Tap r = rows[i];
            const uint16_t* a = Row16(source, r.i0);
            const uint16_t* b = Row16(source, r.i1);
            uint16_t* out = Row16(destination, i);
            for (int j = 0; j < width; ++j) {
                const Tap c = cols[j];
                for (int ch = 0; ch < 4; ++ch) {
                    const int p00 = a[c.i0 * 4 + ch], p10 = a[c.i1 * 4 + ch];
                    const int p01 = b[c.i0 * 4 + ch], p11 = b[c.i1 * 4 + ch];
                    const int top = p00 + (((p10 - p00) * c.f) >> 8);
                    const int bottom = p01 + (((p11 - p01) * c.f) >> 8);
                    out[j * 4 + ch] = static_cast<uint16_t>(top + (((bottom - top) * r.f) >> 8));
                }
            }
        }
        return true;
    }) ? 1 : 0;
}

// --- 5x5 supersampling ---

void BuildSharpenMatrix5x5(Matrix5x5& m, int amount)
{
    const double a = amount / 60.0;
    const double b = a / 32;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) {
            const bool edgeRow = i == 0 || i == 4, edgeCol = j == 0 || j == 4;
            if (edgeRow && edgeCol)
                m[i][j] = -b;
            else if (edgeRow || edgeCol)
                m[i][j] = (i == 2 || j == 2) ? -3 * b : -2 * b;
            else
                m[i][j] = (a + 1) / 9;
        }
}

void CImageSize::SampleSupersampled5x5(const ImageBuffer16& src, int tw, int th, const Matrix5x5& m, int x, int y,
                                       double e, uint16_t* out)
{
    const int sw = src.width, sh = src.height;
    double acc[4] = {0, 0, 0, 0};
    for (int i = 0; i < 5; ++i) {
        const double sy = ((i - 2) * e + y) * sh / th;
        int r0 = static_cast<int>(sy), r1 = r0 + 1;
        const int wy = static_cast<int>((sy - r0) * 256);
        if (sy < 0)
            r0 = r1 = 0;
        r0 = std::min(r0, sh - 1);
        r1 = std::min(r1, sh - 1);
        const uint16_t* ra = Row16(src, r0);
        const uint16_t* rb = Row16(src, r1);
        for (int j = 0; j < 5; ++j) {
            const double w = m[i][j];
            if (w == 0)
                continue; // adds nothing; the plain matrix uses only its centre
            const double sx = ((j - 2) * e + x) * sw / tw;
            int c0 = static_cast<int>(sx), c1 = c0 + 1;
            const int wx = static_cast<int>((sx - c0) * 256);
            if (sx < 0)
                c0 = c1 = 0;
            c0 = std::min(c0, sw - 1);
            c1 = std::min(c1, sw - 1);
            for (int ch = 0; ch < 4; ++ch) {
                const int a = ra[c0 * 4 + ch], b = ra[c1 * 4 + ch];
                const int c = rb[c0 * 4 + ch], d = rb[c1 * 4 + ch];
                const int top = a + (((b - a) * wx) >> 8);
                const int bottom = c + (((d - c) * wx) >> 8);
                acc[ch] += w * (top + (((bottom - top) * wy) >> 8));
            }
        }
    }
    for (int ch = 0; ch < 4; ++ch)
        out[ch] = ClampU16(static_cast<int64_t>(std::clamp(acc[ch] + 0.5, -1.0, 70000.0)));
}

int CImageSize::Supersample(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height,
                            const Matrix5x5& m, double spacing)
{
    if (!source.data || width <= 0 || height <= 0 || &source == &destination)
        return 0;
    if (!AllocImage16(destination, width, height))
        return 0;
    for (int i = 0; i < height; ++i) {
        uint16_t* out = Row16(destination, i);
        for (int x = 0; x < width; ++x)
            SampleSupersampled5x5(source, width, height, m, x, i, spacing, out + x * 4);
        if (i % 40 == 10 && m_windowLow != -1) {
            ReportFraction(i, height);
            if (IsAlgorithmCancelled())
                return 1; // the caller knows it cancelled; the rows done so far stand
        }
    }
    return 1;
}

int CImageSize::Shrink5x5(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height)
{
    Matrix5x5 m;
    BuildSharpenMatrix5x5(m, 0);
    return Supersample(source, destination, width, height, m, 0.5);
}

// --- bicubic ---

float MitchellNetravaliWeight(float t, float f, float B, float C)
{
    const float x = std::fabs(t / f);
    if (x < 1)
        return (12 - 9 * B - 6 * C) * x * x * x + (12 * B + 6 * C - 18) * x * x + (6 - 2 * B);
    if (x < 2)
        return (-B - 6 * C) * x * x * x + (6 * B + 30 * C) * x * x + (-12 * B - 48 * C) * x + (8 * B + 24 * C);
    return 0;
}

namespace {

// (ta x a + tb x b) >> 8 for ta + tb = 256 in 16-bit lanes: with a = 256 ah + al, the sum is
// 256 (ta ah + tb bh) + (ta al + tb bl), both parts at most 256 x 255, so
// hi + (lo >> 8) is the same quotient and vectorises twice as wide as 32-bit products.
inline uint16_t Blend256(uint16_t a, uint16_t b, uint16_t ta, uint16_t tb)
{
    const uint16_t hi = static_cast<uint16_t>(static_cast<uint16_t>(ta * (a >> 8)) + static_cast<uint16_t>(tb * (b >> 8)));
    const uint16_t lo =
        static_cast<uint16_t>(static_cast<uint16_t>(ta * (a & 255)) + static_cast<uint16_t>(tb * (b & 255)));
    return static_cast<uint16_t>(hi + (lo >> 8));
}

} // namespace

ZD_TARGET_CLONES void BlendRows16(uint16_t* __restrict out, const uint16_t* a, const uint16_t* b, size_t count, int ta,
                                  int tb)
{
    if (ta >= 0 && tb >= 0 && ta + tb == 256) {
        const uint16_t wa = static_cast<uint16_t>(ta), wb = static_cast<uint16_t>(tb);
        for (size_t i = 0; i < count; ++i)
            out[i] = Blend256(a[i], b[i], wa, wb);
        return;
    }
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<uint16_t>((static_cast<uint32_t>(ta) * a[i] + static_cast<uint32_t>(tb) * b[i]) >> 8);
}

namespace {

// v limited to 0..65535 and rounded.
inline uint16_t RoundLimited(float v)
{
    v = v < 0.0f ? 0.0f : v;
    v = v > 65535.0f ? 65535.0f : v;
    return static_cast<uint16_t>(static_cast<int>(v + 0.5f));
}

// Eight values of RoundLimited(p x a - n x b) in vector types: GCC keeps the scalar loop's
// selects as branches (they could trap), so the eight lanes are written out. Each lane does
// the same single-precision steps as the scalar form, so the results are the same.
typedef float Float8 __attribute__((vector_size(32)));
typedef int32_t Int8 __attribute__((vector_size(32)));
typedef uint16_t Half8 __attribute__((vector_size(16)));

inline void CombineEight(uint16_t* out, const uint16_t* p, const uint16_t* n, float a, float b)
{
    Half8 hp, hn;
    std::memcpy(&hp, p, sizeof hp);
    std::memcpy(&hn, n, sizeof hn);
    // Through 32-bit integers: one widening step, then one conversion.
    Float8 v = __builtin_convertvector(__builtin_convertvector(hp, Int8), Float8) * a -
               __builtin_convertvector(__builtin_convertvector(hn, Int8), Float8) * b;
    v = v < 0.0f ? 0.0f : v;
    v = v > 65535.0f ? 65535.0f : v;
    const Half8 r = __builtin_convertvector(__builtin_convertvector(v + 0.5f, Int8), Half8);
    std::memcpy(out, &r, sizeof r);
}

// v = P x L / (L - M) - N x M / (L - M), rounded and limited to 0..65535.
ZD_TARGET_CLONES void CombineSlots(uint16_t* __restrict out, const uint16_t* __restrict p,
                                   const uint16_t* __restrict n, size_t count, float a, float b)
{
    size_t j = 0;
    for (; j + 8 <= count; j += 8)
        CombineEight(out + j, p + j, n + j, a, b);
    for (; j < count; ++j)
        out[j] = RoundLimited(p[j] * a - n[j] * b);
}

} // namespace

int TransposeImage16(const ImageBuffer16& source, ImageBuffer16& destination)
{
    if (!source.data || &source == &destination || !AllocImage16(destination, source.height, source.width))
        return 0;
    const uint64_t* in = reinterpret_cast<const uint64_t*>(source.data);
    uint64_t* out = reinterpret_cast<uint64_t*>(destination.data);
    const int w = source.width, h = source.height;
    constexpr int T = 32; // tiles keep both sides in cache
    return ParallelRows((w + T - 1) / T, static_cast<int64_t>(h) * T, [&](int t0, int t1) {
        for (int bx = t0 * T; bx < std::min(w, t1 * T); bx += T)
            for (int by = 0; by < h; by += T)
                for (int x = bx; x < std::min(w, bx + T); ++x)
                    for (int y = by; y < std::min(h, by + T); ++y)
                        out[static_cast<size_t>(x) * h + y] = in[static_cast<size_t>(y) * w + x];
        return true;
    }) ? 1 : 0;
}

namespace {

// How one output line is made from source lines: the lines of positive and of negative weight
// are each paired in arrival order and then reduced pairwise, every step an 8-bit blend; the two
// results are combined in single precision. The same plan serves the row pass and the column pass.
struct CubicOp {
    int a, b; // operands: >= 0 a source line, < 0 the result ~operand of an earlier op
    int t;    // weight of a, of 256
};

struct CubicPlan {
    std::vector<CubicOp> ops;
    int pos = 0, neg = 0;     // operands holding the two lists' results
    bool hasPos = false, hasNeg = false;
    bool combine = false;     // both present and L > M: v = P a - N b
    float a = 0, b = 0;
};

// The operand holding the blend of a and b with weight t of a: a blend of weight 256 or 0 gives
// a or b back to the bit (t x (v >> 8) + (v & 255) x t >> 8 = v for t = 256), so it is not
// done at all; a tap of weight 0 at the kernel's edge costs nothing then.
int PlanBlend(int a, int b, int t, std::vector<CubicOp>& ops)
{
    if (t == 256)
        return a;
    if (t == 0)
        return b;
    ops.push_back({a, b, t});
    return ~static_cast<int>(ops.size() - 1);
}

// Adds the ops for one list; returns its result operand and total.
std::pair<int, int> PlanList(const std::vector<std::pair<int, float>>& lines, std::vector<CubicOp>& ops)
{
    std::vector<std::pair<int, int>> slots; // operand, total
    for (size_t i = 0; i + 1 < lines.size(); i += 2) {
        const float wa = lines[i].second, wb = lines[i + 1].second;
        const int t = wa + wb > 0 ? static_cast<int>(wa * 256 / (wa + wb)) : 128;
        slots.push_back({PlanBlend(lines[i].first, lines[i + 1].first, t, ops), static_cast<int>((wa + wb) * 256)});
    }
    if (lines.size() % 2)
        slots.push_back({lines.back().first, static_cast<int>(lines.back().second * 256)});
    while (slots.size() > 1) {
        std::vector<std::pair<int, int>> next;
        for (size_t m = 0; m + 1 < slots.size(); m += 2) {
            const int64_t a = slots[m].second, b = slots[m + 1].second;
            const int t = a + b > 0 ? static_cast<int>(a * 256 / (a + b)) : 128;
            next.push_back({PlanBlend(slots[m].first, slots[m + 1].first, t, ops), static_cast<int>(a + b)});
        }
        if (slots.size() % 2)
            next.push_back(slots.back());
        slots.swap(next);
    }
    return slots.empty() ? std::pair<int, int>{0, 0} : slots[0];
}

std::vector<CubicPlan> PlanCubic(int sourceLines, int targetLines, float B, float C)
{
    const float r = static_cast<float>(sourceLines) / static_cast<float>(targetLines);
    const float f = std::max(r * 1.05f, 1.0f);
    const float g = 2 * f;
    std::vector<CubicPlan> plans(targetLines);
    std::vector<std::pair<int, float>> pos, neg;
    float c = 0; // line centres accumulate by adding r, in single precision
    for (int i = 0; i < targetLines; ++i, c += r) {
        CubicPlan& plan = plans[i];
        const int first = static_cast<int>(std::max(0.0f, c - g));
        const int last = static_cast<int>(std::min(static_cast<float>(sourceLines - 1), c + g));
        if (last - first + 1 <= 1) {
            plan.hasPos = true;
            plan.pos = first;
            continue;
        }
        pos.clear();
        neg.clear();
        for (int k = first; k <= last; ++k) {
            const float w = MitchellNetravaliWeight(static_cast<float>(k) - c, f, B, C);
            if (w > 0)
                pos.push_back({k, w});
            else
                neg.push_back({k, std::fabs(w)});
        }
        int L = 0, M = 0;
        if (!pos.empty()) {
            std::tie(plan.pos, L) = PlanList(pos, plan.ops);
            plan.hasPos = true;
        }
        if (!neg.empty()) {
            std::tie(plan.neg, M) = PlanList(neg, plan.ops);
            plan.hasNeg = true;
        }
        if (plan.hasPos && plan.hasNeg && L - M > 0) {
            plan.combine = true;
            const float fl = static_cast<float>(L), fm = static_cast<float>(M);
            plan.a = fl / (fl - fm);
            plan.b = fm / (fl - fm);
        } else if (!plan.hasPos) {
            plan.pos = plan.neg; // no positive weight at all: the negative list stands
            plan.hasPos = true;
        }
    }
    return plans;
}


// The plans of the column pass flattened for one row: the row's pixels and the slots share one
// scratch line, so every operand is a pixel index into it.
struct FlatOp {
    uint32_t a, b, d, t;
};
struct FlatOutput {
    uint32_t opEnd; // ops of this output end here
    uint32_t pos, neg;
    bool combine;
    float a, b;
};

void FlattenPlans(const std::vector<CubicPlan>& plans, int sourceWidth, std::vector<FlatOp>& ops,
                  std::vector<FlatOutput>& outputs)
{
    const uint32_t slotBase = static_cast<uint32_t>(sourceWidth);
    auto index = [&](int operand) { return operand >= 0 ? static_cast<uint32_t>(operand) : slotBase + static_cast<uint32_t>(~operand); };
    for (const CubicPlan& plan : plans) {
        for (size_t o = 0; o < plan.ops.size(); ++o)
            ops.push_back({index(plan.ops[o].a), index(plan.ops[o].b), slotBase + static_cast<uint32_t>(o),
                           static_cast<uint32_t>(plan.ops[o].t)});
        outputs.push_back({static_cast<uint32_t>(ops.size()), index(plan.pos), index(plan.neg), plan.combine, plan.a,
                           plan.b});
    }
}

// The column pass over R rows at once: their pixels are interleaved column by column into one
// scratch line (R pixels per column), so every blend works on 4 x R values in a row.
template <int R>
ZD_TARGET_CLONES_TEMPLATE void CubicColumnsRows(const uint16_t* const* in,
                                                                        uint16_t* const* out, int sourceWidth,
                                                                        uint16_t* __restrict line, const FlatOp* ops,
                                                                        const FlatOutput* outputs, int width)
{
    constexpr int V = 4 * R;
    for (int k = 0; k < sourceWidth; ++k)
        for (int r = 0; r < R; ++r)
            std::memcpy(line + static_cast<size_t>(k) * V + r * 4, in[r] + static_cast<size_t>(k) * 4, 8);
    uint16_t result[V];
    uint32_t o = 0;
    for (int x = 0; x < width; ++x) {
        const FlatOutput& f = outputs[x];
        for (; o < f.opEnd; ++o) {
            const FlatOp op = ops[o];
            const uint16_t* __restrict a = line + static_cast<size_t>(op.a) * V;
            const uint16_t* __restrict b = line + static_cast<size_t>(op.b) * V;
            uint16_t* __restrict d = line + static_cast<size_t>(op.d) * V;
            const uint16_t ta = static_cast<uint16_t>(op.t), tb = static_cast<uint16_t>(256 - op.t);
            for (int i = 0; i < V; ++i)
                d[i] = Blend256(a[i], b[i], ta, tb);
        }
        const uint16_t* __restrict p = line + static_cast<size_t>(f.pos) * V;
        if (f.combine) {
            const uint16_t* __restrict n = line + static_cast<size_t>(f.neg) * V;
            if constexpr (V % 8 == 0) {
                for (int i = 0; i < V; i += 8)
                    CombineEight(result + i, p + i, n + i, f.a, f.b);
            } else {
                for (int i = 0; i < V; ++i)
                    result[i] = RoundLimited(p[i] * f.a - n[i] * f.b);
            }
        } else {
            std::memcpy(result, p, sizeof result);
        }
        for (int r = 0; r < R; ++r)
            std::memcpy(out[r] + static_cast<size_t>(x) * 4, result + r * 4, 8);
    }
}

size_t MaxOps(const std::vector<CubicPlan>& plans)
{
    size_t m = 1;
    for (const CubicPlan& p : plans)
        m = std::max(m, p.ops.size());
    return m;
}

} // namespace

namespace {

// Values per strip of the vertical pass: the plan's slots for one strip stay in the first-level
// cache while every blend of the plan runs over it.
constexpr size_t kCubicStrip = 1024;

// One output line of the vertical pass from source lines `n` values apart. The result is either
// a source line or a slot of `pool` (returned as is, no copy), or combined into `out`.
// Values [s, s + len) of one output line of the vertical pass (len at most kCubicStrip), from
// source lines `n` values apart, into out + s.
void CubicStrip(const CubicPlan& plan, const uint16_t* source, size_t n, size_t s, size_t len, uint16_t* pool,
                uint16_t* out)
{
    auto at = [&](int operand) {
        return operand >= 0 ? source + static_cast<size_t>(operand) * n + s
                            : pool + static_cast<size_t>(~operand) * kCubicStrip;
    };
    for (size_t o = 0; o < plan.ops.size(); ++o)
        BlendRows16(pool + o * kCubicStrip, at(plan.ops[o].a), at(plan.ops[o].b), len, plan.ops[o].t,
                    256 - plan.ops[o].t);
    if (plan.combine)
        CombineSlots(out + s, at(plan.pos), at(plan.neg), len, plan.a, plan.b);
    else
        std::memcpy(out + s, at(plan.pos), len * 2);
}

// A line that is a plain copy of a source line is read where it lies.
inline bool IsSourceLine(const CubicPlan& plan)
{
    return plan.ops.empty() && !plan.combine;
}


inline size_t Rounded64(size_t bytes)
{
    return (bytes + 63) / 64 * 64;
}

// Hands out chunks 0, 1, 2, ... to whichever band asks next. Every band of a run takes chunks
// until none are left, so a helper held up by the rest of the machine leaves its share to the
// others instead of the whole run waiting on it. Each chunk writes only its own rows, so who
// takes which does not change a byte.
class ChunkQueue {
public:
    explicit ChunkQueue(int count) : m_count(count) {}
    bool Take(int& chunk)
    {
        chunk = m_next.fetch_add(1, std::memory_order_relaxed);
        return chunk < m_count;
    }

private:
    std::atomic<int> m_next{0};
    const int m_count;
};

} // namespace

bool ResampleRowsCubic(uint16_t* destination, const uint16_t* source, size_t n, int sourceRows, int targetRows,
                       float B, float C)
{
    if (sourceRows <= 0 || targetRows <= 0)
        return false;
    const std::vector<CubicPlan> plans = PlanCubic(sourceRows, targetRows, B, C);
    const size_t maxOps = MaxOps(plans);
    return ParallelRows(targetRows, static_cast<int64_t>(n) * static_cast<int64_t>(maxOps + 1), [&](int y0, int y1) {
        auto pool = NewArray<uint16_t>(kCubicStrip * maxOps);
        if (!pool)
            return false;
        for (int i = y0; i < y1; ++i) {
            uint16_t* out = destination + static_cast<size_t>(i) * n;
            if (IsSourceLine(plans[i])) {
                std::memcpy(out, source + static_cast<size_t>(plans[i].pos) * n, n * 2);
                continue;
            }
            for (size_t s = 0; s < n; s += kCubicStrip)
                CubicStrip(plans[i], source, n, s, std::min(kCubicStrip, n - s), pool.get(), out);
        }
        return true;
    });
}

bool ResampleColumnsCubic(ImageBuffer16& destination, const ImageBuffer16& source, int targetWidth, float B, float C)
{
    if (!source.data || targetWidth <= 0 || !AllocImage16(destination, targetWidth, source.height))
        return false;
    const std::vector<CubicPlan> plans = PlanCubic(source.width, targetWidth, B, C);
    const size_t maxOps = MaxOps(plans);
    std::vector<FlatOp> ops;
    std::vector<FlatOutput> outputs;
    FlattenPlans(plans, source.width, ops, outputs);
    constexpr int kRows = 8;
    const size_t lineValues = (static_cast<size_t>(source.width) + maxOps) * 4 * kRows;
    return ParallelRows(source.height, static_cast<int64_t>(targetWidth) * 4 * static_cast<int64_t>(maxOps + 1),
                        [&](int y0, int y1) {
                            auto line = NewArray<uint16_t>(lineValues);
                            if (!line)
                                return false;
                            const uint16_t* in[kRows];
                            uint16_t* out[kRows];
                            int y = y0;
                            for (; y + kRows <= y1; y += kRows) {
                                for (int r = 0; r < kRows; ++r) {
                                    in[r] = Row16(source, y + r);
                                    out[r] = Row16(destination, y + r);
                                }
                                CubicColumnsRows<kRows>(in, out, source.width, line.get(), ops.data(),
                                                        outputs.data(), targetWidth);
                            }
                            for (; y < y1; ++y) {
                                in[0] = Row16(source, y);
                                out[0] = Row16(destination, y);
                                CubicColumnsRows<1>(in, out, source.width, line.get(), ops.data(), outputs.data(),
                                                    targetWidth);
                            }
                            return true;
                        });
}

int CImageSize::ResizeCubic(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height, float B,
                            float C)
{
    if (!source.data || width <= 0 || height <= 0 || &source == &destination)
        return 0;
    const int sw = source.width, sh = source.height;
    // Vertical pass then horizontal pass, as transposing, resampling rows and transposing back
    // would give, but eight output rows at a time: their vertical results go to per-thread
    // lines and straight on through the horizontal pass, so no work picture exists at all.
    const std::vector<CubicPlan> rowPlans = PlanCubic(sh, height, B, C);
    const std::vector<CubicPlan> colPlans = PlanCubic(sw, width, B, C);
    std::vector<FlatOp> ops;
    std::vector<FlatOutput> outputs;
    FlattenPlans(colPlans, sw, ops, outputs);
    if (!AllocImage16(destination, width, height))
        return 0;
    constexpr int kRows = 16;
    const size_t n = static_cast<size_t>(sw) * 4;
    const size_t rowOps = MaxOps(rowPlans), colOps = MaxOps(colPlans);
    const size_t scratch = (static_cast<size_t>(sw) + colOps) * 4 * kRows;
    const int groups = (height + kRows - 1) / kRows;
    const int64_t work = static_cast<int64_t>(kRows) * (static_cast<int64_t>(n) * static_cast<int64_t>(rowOps + 1) +
                                                        static_cast<int64_t>(width) * 4 * static_cast<int64_t>(colOps + 1));
    ChunkQueue queue(groups);
    const bool ok = ParallelRows(groups, work, [&](int, int) {
        const size_t poolBytes = Rounded64(kCubicStrip * rowOps * 2), linesBytes = Rounded64(n * kRows * 2);
        // Scratch from the process cache: a repeated run reuses warm pages, and the program
        // gives them back when idle.
        ScratchBlock block(poolBytes + linesBytes + scratch * 2);
        auto* buffer = block.as<unsigned char>();
        if (!buffer)
            return false;
        uint16_t* pool = reinterpret_cast<uint16_t*>(buffer);
        uint16_t* lines = reinterpret_cast<uint16_t*>(buffer + poolBytes);
        uint16_t* line = reinterpret_cast<uint16_t*>(buffer + poolBytes + linesBytes);
        const uint16_t* in[kRows];
        uint16_t* out[kRows];
        for (int g; queue.Take(g);) {
            const int y = g * kRows, count = std::min(kRows, height - y);
            for (int r = 0; r < count; ++r) {
                const CubicPlan& plan = rowPlans[y + r];
                in[r] = IsSourceLine(plan) ? Row16(source, plan.pos) : lines + r * n;
                out[r] = Row16(destination, y + r);
            }
            // Strip by strip across the group's rows: the source lines they share stay in cache
            // for all of them.
            for (size_t s = 0; s < n; s += kCubicStrip)
                for (int r = 0; r < count; ++r)
                    if (!IsSourceLine(rowPlans[y + r]))
                        CubicStrip(rowPlans[y + r], Pixels16(source), n, s, std::min(kCubicStrip, n - s), pool,
                                   lines + r * n);
            if (count == kRows) {
                CubicColumnsRows<kRows>(in, out, sw, line, ops.data(), outputs.data(), width);
            } else {
                for (int r = 0; r < count; ++r)
                    CubicColumnsRows<1>(in + r, out + r, sw, line, ops.data(), outputs.data(), width);
            }
        }
        return true;
    });
    if (!ok)
        return 0;
    ReportFraction(40, 100);
    ReportFraction(50, 100);
    ReportFraction(90, 100);
    ReportFraction(100, 100);
    return 1;
}

// --- area averaging ---

namespace {

struct AreaTap {
    int first, last;
    double wFirst, wLast, total;
    // Weights all 0 or 1 (integer ratios without widening): integer sums give the same
    // truncated quotients as the real ones, and vectorise.
    bool integral;
    uint32_t count;
    int from, to;   // integral: the samples of weight 1
    uint64_t magic; // integral: ceil(2^32 / count); exact: ceil(2^32 / divisor)
    // Weights that are small binary fractions (any ratio of the form a / 2^k, such as 2x, 1.5x,
    // 0.75x): scaled by 2^s they are integers, every product and sum of the real form is then
    // exact, and its truncated quotient equals the integer quotient (see ExactWeights).
    bool exact;
    uint32_t wf, wm, wl, divisor; // the integer weights of first, middle and last samples
    int shift;                    // log2 of a divisor that is a power of two, else -1
};

// Whether the real form of a box equals (wf x first + wm x middle + wl x last) / divisor in
// integers, divided through the multiply by `magic`.
//  - With every weight w_k = W_k / 2^s (W_k < 2^20 integers) each product w_k x v (v < 2^16)
//    has at most 36 significant bits and every partial sum is a multiple of 2^-s below 2^53 x
//    2^-s: the sum S and the total T are exact, S / T = N / D with N = sum W_k v_k, D = sum W_k.
//  - The quotient rounds with an error below N / D x 2^-53 <= 2^-37; when N / D is no integer
//    it is at least 1 / D > 2^-37 below the next one, so truncating the rounded quotient gives
//    floor(N / D).
//  - floor(N / D) = N x ceil(2^32 / D) >> 32 while N x e < 2^32, e = ceil(2^32 / D) x D - 2^32
//    (checked for the largest N, 65535 x D).
void ExactWeights(AreaTap& t)
{
    t.exact = false;
    t.shift = -1;
    if (t.integral || !(t.total > 0))
        return;
    for (int s = 0; s <= 20; ++s) {
        const double f = std::ldexp(t.wFirst, s), l = std::ldexp(t.wLast, s);
        if (f != std::floor(f) || l != std::floor(l))
            continue;
        uint64_t wf = static_cast<uint64_t>(f), wl = static_cast<uint64_t>(l), wm = uint64_t{1} << s;
        const uint64_t inner = t.last - t.first > 1 ? static_cast<uint64_t>(t.last - t.first - 1) : 0;
        uint64_t d = wf + (t.last > t.first ? wl : 0) + inner * wm;
        if (d == 0 || d >= (uint64_t{1} << 32) || std::ldexp(static_cast<double>(d), -s) != t.total)
            return;
        // Only the weights in use share the divisor: a box of one sample is the sample itself.
        uint64_t g = std::gcd(wf, d);
        if (t.last > t.first)
            g = std::gcd(g, wl);
        if (inner > 0)
            g = std::gcd(g, wm);
        wf /= g, wm /= g, wl /= g, d /= g;
        const uint64_t magic = ((uint64_t{1} << 32) + d - 1) / d;
        const uint64_t e = magic * d - (uint64_t{1} << 32);
        if (d >= 65536 || 65535 * d * e >= (uint64_t{1} << 32))
            return;
        t.exact = true;
        t.wf = static_cast<uint32_t>(wf);
        t.wm = static_cast<uint32_t>(wm);
        t.wl = static_cast<uint32_t>(wl);
        t.divisor = static_cast<uint32_t>(d);
        t.magic = magic;
        t.shift = (d & (d - 1)) == 0 ? std::countr_zero(d) : -1;
        return;
    }
}

std::vector<AreaTap> AreaAxis(int n, int m, double widen)
{
    std::vector<AreaTap> taps(m);
    for (int j = 0; j < m; ++j) {
        const double start = std::max(0.0, (j - 0.5 - widen) * n / m);
        const double end = std::min(static_cast<double>(n - 1), (j + 0.5 + widen) * n / m);
        AreaTap t;
        t.first = static_cast<int>(start);
        t.last = static_cast<int>(end);
        t.wFirst = 1 - (start - t.first);
        t.wLast = end - t.last;
        if (t.first == t.last)
            t.wFirst = t.wLast;
        t.total = 0;
        for (int k = t.first; k <= t.last; ++k)
            t.total += k == t.first ? t.wFirst : k == t.last ? t.wLast : 1.0;
        auto unit = [](double w) { return w == 0.0 || w == 1.0; };
        t.integral = unit(t.wFirst) && unit(t.wLast) && t.total > 0 && t.total < 256;
        t.count = static_cast<uint32_t>(t.total);
        t.from = t.wFirst == 0.0 ? t.first + 1 : t.first;
        t.to = t.first != t.last && t.wLast == 0.0 ? t.last - 1 : t.last;
        t.magic = t.count ? ((uint64_t{1} << 32) + t.count - 1) / t.count : 0;
        ExactWeights(t);
        taps[j] = t;
    }
    return taps;
}

inline double AreaWeight(const AreaTap& t, int k)
{
    return k == t.first ? t.wFirst : k == t.last ? t.wLast : 1.0;
}

// Boxes of C whole samples side by side (box i is samples iC..iC + C - 1): sum / C, the
// division through a multiply (exact: sum <= 65535 x C and C < 256).
template <int C>
ZD_TARGET_CLONES_TEMPLATE void AreaBoxRun(const uint16_t* __restrict in, uint16_t* __restrict out, int boxes)
{
    constexpr uint64_t magic = ((uint64_t{1} << 32) + C - 1) / C;
    for (int i = 0; i < boxes; ++i)
        for (int c = 0; c < 4; ++c) {
            uint32_t sum = 0;
            for (int k = 0; k < C; ++k)
                sum += in[(i * C + k) * 4 + c];
            out[i * 4 + c] = static_cast<uint16_t>(C == 1 ? sum : C == 2 ? sum >> 1 : C == 4 ? sum >> 2
                                                                 : (sum * magic) >> 32);
        }
}

// Output columns [begin, end) of a row: boxes of whole samples, each starting where the one
// before ended, with the same count (1 to 4), are one run for AreaBoxRun; count 0 is any other
// box, done one at a time.
// Output columns [begin, end) of a row: boxes of whole samples, each starting where the one
// before ended, with the same count (1 to 4), are one run for AreaBoxRun; count kPairs is a run
// of boxes of one or two samples in binary-fraction weights whose divisor is a power of two (as
// in enlarging by 2 or 4), for AreaPairsPass; count 0 is any other box, done one at a time.
constexpr int kPairs = -1;

struct AreaRun {
    int begin, end;
    int count;
};

// A box as (wa x in[a] + wb x in[b]) >> shift.
struct AreaPair {
    uint32_t a, b, wa, wb, shift;
};

bool AsPair(const AreaTap& t, AreaPair& p)
{
    if (t.exact && t.shift >= 0 && t.last - t.first <= 1) {
        p = {static_cast<uint32_t>(t.first), static_cast<uint32_t>(t.last), t.wf, t.last > t.first ? t.wl : 0,
             static_cast<uint32_t>(t.shift)};
        return true;
    }
    return false;
}

std::vector<AreaRun> AreaRuns(const std::vector<AreaTap>& taps, std::vector<AreaPair>& pairs)
{
    std::vector<AreaRun> runs;
    pairs.assign(taps.size(), AreaPair{});
    for (int j = 0; j < static_cast<int>(taps.size()); ++j) {
        const AreaTap& t = taps[j];
        int count = t.integral && t.count <= 4 && t.to - t.from + 1 == static_cast<int>(t.count)
                        ? static_cast<int>(t.count) : 0;
        if (count == 0 && AsPair(t, pairs[j]))
            count = kPairs;
        if (!runs.empty() && runs.back().count == count && runs.back().end == j &&
            (count <= 0 || taps[j - 1].to + 1 == t.from))
            runs.back().end = j + 1;
        else
            runs.push_back({j, j + 1, count});
    }
    return runs;
}

ZD_TARGET_CLONES void AreaPairsPass(const uint16_t* __restrict in, uint16_t* __restrict out,
                                    const AreaPair* __restrict pairs, int begin, int end)
{
    // One pixel's four channels as one small vector.
    typedef uint16_t Pixel __attribute__((vector_size(8)));
    typedef uint32_t Wide __attribute__((vector_size(16)));
    for (int j = begin; j < end; ++j) {
        const AreaPair p = pairs[j];
        Pixel a, b;
        std::memcpy(&a, in + static_cast<size_t>(p.a) * 4, 8);
        std::memcpy(&b, in + static_cast<size_t>(p.b) * 4, 8);
        const Wide sum = __builtin_convertvector(a, Wide) * p.wa + __builtin_convertvector(b, Wide) * p.wb;
        const Pixel r = __builtin_convertvector(sum >> p.shift, Pixel);
        std::memcpy(out + static_cast<size_t>(j) * 4, &r, 8);
    }
}

// One row along its length, every value as the weighted sum in order of the samples over the
// total weight, truncated. A box of total weight 0 (only when enlarging by 1.5 or more) takes
// its first sample.
ZD_TARGET_CLONES void AreaTapsPass(const uint16_t* __restrict in, uint16_t* __restrict out, const AreaTap* cols,
                                   int begin, int end)
{
    for (int j = begin; j < end; ++j) {
        const AreaTap& t = cols[j];
        if (t.integral) {
            uint64_t sum[4] = {0, 0, 0, 0};
            for (int k = t.from; k <= t.to; ++k)
                for (int c = 0; c < 4; ++c)
                    sum[c] += in[k * 4 + c];
            for (int c = 0; c < 4; ++c)
                out[j * 4 + c] = static_cast<uint16_t>((sum[c] * t.magic) >> 32);
            continue;
        }
        const uint16_t* p = in + static_cast<size_t>(t.first) * 4;
        if (t.exact && t.divisor == 1 && t.first == t.last) { // the sample itself
            std::memcpy(out + j * 4, p, 8);
            continue;
        }
        if (t.exact) {
            uint32_t sum[4];
            for (int c = 0; c < 4; ++c)
                sum[c] = t.wf * p[c];
            for (int k = t.first + 1; k < t.last; ++k)
                for (int c = 0; c < 4; ++c)
                    sum[c] += t.wm * in[k * 4 + c];
            if (t.last > t.first)
                for (int c = 0; c < 4; ++c)
                    sum[c] += t.wl * in[t.last * 4 + c];
            if (t.shift >= 0) {
                for (int c = 0; c < 4; ++c)
                    out[j * 4 + c] = static_cast<uint16_t>(sum[c] >> t.shift);
            } else {
                for (int c = 0; c < 4; ++c)
                    out[j * 4 + c] = static_cast<uint16_t>((sum[c] * t.magic) >> 32);
            }
            continue;
        }
        if (!(t.total > 0)) {
            for (int c = 0; c < 4; ++c)
                out[j * 4 + c] = p[c];
            continue;
        }
        // The first sample's weight is wFirst even when it is also the last.
        double acc[4];
        for (int c = 0; c < 4; ++c)
            acc[c] = t.wFirst * p[c];
        for (int k = t.first + 1; k < t.last; ++k)
            for (int c = 0; c < 4; ++c)
                acc[c] += in[k * 4 + c];
        if (t.last > t.first)
            for (int c = 0; c < 4; ++c)
                acc[c] += t.wLast * in[t.last * 4 + c];
        for (int c = 0; c < 4; ++c)
            out[j * 4 + c] = static_cast<uint16_t>(acc[c] / t.total);
    }
}

void AreaRowPass(const uint16_t* in, uint16_t* out, const AreaTap* cols, const std::vector<AreaRun>& runs,
                 const AreaPair* pairs)
{
    for (const AreaRun& r : runs) {
        const uint16_t* from = in + static_cast<size_t>(cols[r.begin].from) * 4;
        uint16_t* to = out + static_cast<size_t>(r.begin) * 4;
        switch (r.count) {
        case 1: AreaBoxRun<1>(from, to, r.end - r.begin); break;
        case 2: AreaBoxRun<2>(from, to, r.end - r.begin); break;
        case 3: AreaBoxRun<3>(from, to, r.end - r.begin); break;
        case 4: AreaBoxRun<4>(from, to, r.end - r.begin); break;
        case kPairs: AreaPairsPass(in, out, pairs, r.begin, r.end); break;
        default: AreaTapsPass(in, out, cols, r.begin, r.end); break;
        }
    }
}

ZD_TARGET_CLONES void AccumulateWeighted(double* __restrict acc,
                                                                          const uint16_t* __restrict in, size_t n,
                                                                          double w, bool first)
{
    if (first) {
        for (size_t j = 0; j < n; ++j)
            acc[j] = 0 + w * in[j];
    } else {
        for (size_t j = 0; j < n; ++j)
            acc[j] += w * in[j];
    }
}

ZD_TARGET_CLONES void AccumulateCount(uint32_t* __restrict acc,
                                                                       const uint16_t* __restrict in, size_t n,
                                                                       bool first)
{
    if (first) {
        for (size_t j = 0; j < n; ++j)
            acc[j] = in[j];
    } else {
        for (size_t j = 0; j < n; ++j)
            acc[j] += in[j];
    }
}

ZD_TARGET_CLONES void AccumulateScaled(uint32_t* __restrict acc, const uint16_t* __restrict in, size_t n, uint32_t w,
                                       bool first)
{
    if (first) {
        for (size_t j = 0; j < n; ++j)
            acc[j] = w * in[j];
    } else {
        for (size_t j = 0; j < n; ++j)
            acc[j] += w * in[j];
    }
}

// (wa x a + wb x b) / divisor for an exact box of two lines, by a shift or through the multiply.
ZD_TARGET_CLONES void TwoLines(uint16_t* __restrict out, const uint16_t* __restrict a, const uint16_t* __restrict b,
                               size_t n, uint32_t wa, uint32_t wb, int shift, uint64_t magic)
{
    if (shift >= 0) {
        for (size_t j = 0; j < n; ++j)
            out[j] = static_cast<uint16_t>((wa * a[j] + wb * b[j]) >> shift);
    } else {
        for (size_t j = 0; j < n; ++j)
            out[j] = static_cast<uint16_t>((static_cast<uint64_t>(wa * a[j] + wb * b[j]) * magic) >> 32);
    }
}

// acc / count for count < 256 through a multiply: exact because acc <= 65535 x count.
ZD_TARGET_CLONES void FinishCount(uint16_t* __restrict out,
                                                                   const uint32_t* __restrict acc, size_t n,
                                                                   uint32_t count)
{
    if ((count & (count - 1)) == 0) { // a power of two: the same quotient by a shift
        const int shift = std::countr_zero(count);
        for (size_t j = 0; j < n; ++j)
            out[j] = static_cast<uint16_t>(acc[j] >> shift);
        return;
    }
    const uint64_t m = ((uint64_t{1} << 32) + count - 1) / count;
    for (size_t j = 0; j < n; ++j)
        out[j] = static_cast<uint16_t>((acc[j] * m) >> 32);
}

ZD_TARGET_CLONES void FinishWeighted(uint16_t* __restrict out,
                                                                      const double* __restrict acc,
                                                                      const uint16_t* __restrict fallback, size_t n,
                                                                      double total)
{
    if (total > 0) {
        for (size_t j = 0; j < n; ++j)
            out[j] = static_cast<uint16_t>(acc[j] / total);
    } else {
        for (size_t j = 0; j < n; ++j)
            out[j] = fallback[j];
    }
}

// Whether an axis is a plain halving: box 0 is sample 0 alone and box j > 0 the two whole
// samples 2j - 1 and 2j (what exact 2x ratios give without widening).
bool IsHalvingAxis(const std::vector<AreaTap>& taps)
{
    for (size_t j = 0; j < taps.size(); ++j) {
        const AreaTap& t = taps[j];
        const int from = j == 0 ? 0 : static_cast<int>(2 * j - 1);
        if (!t.integral || t.count != (j == 0 ? 1u : 2u) || t.from != from || t.to != static_cast<int>(2 * j))
            return false;
    }
    return !taps.empty();
}

// (x + y) >> 1 in 16 bits without overflow: x + y = 2 (x & y) + (x ^ y).
typedef uint16_t Lanes16 __attribute__((vector_size(32)));
typedef uint64_t Pixels4 __attribute__((vector_size(32)));

inline uint16_t FloorMean(uint16_t x, uint16_t y)
{
    return static_cast<uint16_t>((x & y) + ((x ^ y) >> 1));
}

// One output row of a halving from source rows a and b (b == a for a single row): the row
// pass halves each pair of samples, the column pass halves the two results, both truncating,
// so the bytes are those of the two passes apart. Four pixels at a time.
ZD_TARGET_CLONES void HalveRowPair(const uint16_t* __restrict a, const uint16_t* __restrict b,
                                   uint16_t* __restrict out, int m)
{
    for (int c = 0; c < 4; ++c)
        out[c] = FloorMean(a[c], b[c]);
    int j = 1;
    for (; j + 4 <= m; j += 4) {
        Pixels4 a0, a1, b0, b1;
        const size_t at = static_cast<size_t>(2 * j - 1) * 4;
        std::memcpy(&a0, a + at, 32);
        std::memcpy(&a1, a + at + 16, 32);
        std::memcpy(&b0, b + at, 32);
        std::memcpy(&b1, b + at + 16, 32);
        // Written out rather than called: a vector-returning helper outside the clones would
        // change the calling convention between them.
        const Lanes16 ea = reinterpret_cast<Lanes16>(__builtin_shufflevector(a0, a1, 0, 2, 4, 6));
        const Lanes16 oa = reinterpret_cast<Lanes16>(__builtin_shufflevector(a0, a1, 1, 3, 5, 7));
        const Lanes16 eb = reinterpret_cast<Lanes16>(__builtin_shufflevector(b0, b1, 0, 2, 4, 6));
        const Lanes16 ob = reinterpret_cast<Lanes16>(__builtin_shufflevector(b0, b1, 1, 3, 5, 7));
        const Lanes16 ha = (ea & oa) + ((ea ^ oa) >> 1);
        const Lanes16 hb = (eb & ob) + ((eb ^ ob) >> 1);
        const Lanes16 r = (ha & hb) + ((ha ^ hb) >> 1);
        std::memcpy(out + static_cast<size_t>(j) * 4, &r, 32);
    }
    for (; j < m; ++j)
        for (int c = 0; c < 4; ++c) {
            const size_t at = static_cast<size_t>(2 * j - 1) * 4 + c;
            out[j * 4 + c] = FloorMean(FloorMean(a[at], a[at + 4]), FloorMean(b[at], b[at + 4]));
        }
}

} // namespace

int CImageSize::AreaAverage(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height)
{
    if (!source.data || width <= 0 || height <= 0 || &source == &destination)
        return 0;
    const int sw = source.width, sh = source.height;
    const double widen = (100 - m_params.areaValue) / 400.0;
    const std::vector<AreaTap> cols = AreaAxis(sw, width, widen), rows = AreaAxis(sh, height, widen);
    std::vector<AreaPair> pairs;
    const std::vector<AreaRun> runs = AreaRuns(cols, pairs);
    if (!AllocImage16(destination, width, height))
        return 0;
    if (m_fastPaths && IsHalvingAxis(cols) && IsHalvingAxis(rows)) {
        const int lo = m_windowLow, hi = m_windowHigh;
        constexpr int kChunk = 32;
        ChunkQueue queue((height + kChunk - 1) / kChunk);
        // The general path's work figure, so both share rows out alike.
        const int64_t work = static_cast<int64_t>(width) * 16 + static_cast<int64_t>(sw) * 4 * sh / height;
        if (!ParallelRows(height, work, [&](int y0, int) {
                for (int c; queue.Take(c);)
                    for (int i = c * kChunk; i < std::min(height, (c + 1) * kChunk); ++i) {
                        if (y0 == 0 && i % 100 == 10)
                            SetProgress(lo + (hi - lo) * i / height);
                        HalveRowPair(Row16(source, i == 0 ? 0 : 2 * i - 1), Row16(source, 2 * i),
                                     Row16(destination, i), width);
                    }
                return true;
            }))
            return 0;
        return SharpenAfterArea(destination);
    }
    // Both passes fused: each range of output rows keeps the row-pass results of the source rows
    // its boxes need in a ring of lines, so no work picture of target width x source height is
    // made, and every row-pass line is computed once per range from rows still in cache.
    int span = 1;
    for (const AreaTap& t : rows)
        span = std::max(span, t.last - t.first + 1);
    const int lo = m_windowLow, hi = m_windowHigh;
    const size_t n = static_cast<size_t>(width) * 4;
    const int64_t work = static_cast<int64_t>(n) * 4 + static_cast<int64_t>(sw) * 4 * sh / height;
    constexpr int kChunk = 32; // output rows; a chunk recomputes at most the one line it shares
    ChunkQueue queue((height + kChunk - 1) / kChunk);
    const bool ok = ParallelRows(height, work, [&](int y0, int) {
        const size_t ringBytes = Rounded64(n * static_cast<size_t>(span) * 2), sumBytes = Rounded64(n * 4);
        ScratchBlock block(ringBytes + sumBytes + n * 8);
        auto* buffer = block.as<unsigned char>();
        if (!buffer)
            return false;
        uint16_t* ring = reinterpret_cast<uint16_t*>(buffer);
        uint32_t* sums = reinterpret_cast<uint32_t*>(buffer + ringBytes);
        double* acc = reinterpret_cast<double*>(buffer + ringBytes + sumBytes);
        std::vector<int> held(static_cast<size_t>(span), -1);
        // Lines first..last of a box are distinct in the ring, as no box is longer than it.
        auto line = [&](int k) {
            uint16_t* l = ring + static_cast<size_t>(k % span) * n;
            if (held[k % span] != k) {
                AreaRowPass(Row16(source, k), l, cols.data(), runs, pairs.data());
                held[k % span] = k;
            }
            return l;
        };
        for (int c; queue.Take(c);)
            for (int i = c * kChunk; i < std::min(height, (c + 1) * kChunk); ++i) {
                if (y0 == 0 && i % 100 == 10) // only the first band reports, its chunks rise
                    SetProgress(lo + (hi - lo) * i / height);
                const AreaTap& t = rows[i];
                if (t.integral && t.count == 1) {
                    std::memcpy(Row16(destination, i), line(t.from), n * 2);
                    continue;
                }
                if (t.integral && t.count == 2) {
                    const uint16_t* a = line(t.from);
                    TwoLines(Row16(destination, i), a, line(t.to), n, 1, 1, 1, 0);
                    continue;
                }
                if (t.integral) {
                    bool first = true;
                    for (int k = t.from; k <= t.to; ++k) {
                        AccumulateCount(sums, line(k), n, first);
                        first = false;
                    }
                    FinishCount(Row16(destination, i), sums, n, t.count);
                    continue;
                }
                if (t.exact && t.first == t.last && t.divisor == 1) {
                    std::memcpy(Row16(destination, i), line(t.first), n * 2);
                    continue;
                }
                if (t.exact && t.last == t.first + 1) {
                    const uint16_t* a = line(t.first);
                    TwoLines(Row16(destination, i), a, line(t.last), n, t.wf, t.wl, t.shift, t.magic);
                    continue;
                }
                if (t.exact) {
                    for (int k = t.first; k <= t.last; ++k)
                        AccumulateScaled(sums, line(k), n, k == t.first ? t.wf : k == t.last ? t.wl : t.wm,
                                         k == t.first);
                    FinishCount(Row16(destination, i), sums, n, t.divisor);
                    continue;
                }
                for (int k = t.first; k <= t.last; ++k)
                    AccumulateWeighted(acc, line(k), n, AreaWeight(t, k), k == t.first);
                FinishWeighted(Row16(destination, i), acc, line(t.first), n, t.total);
            }
        return true;
    });
    // A cancel skips row ranges and leaves their rows unwritten: no result then.
    if (!ok)
        return 0;
    return SharpenAfterArea(destination);
}

int CImageSize::SharpenAfterArea(ImageBuffer16& destination)
{
    const int width = destination.width, height = destination.height;
    const int a = m_params.sharpenAmount;
    if (a == 0)
        return 1;
    // Unsharp step: darkening at half the strength of brightening.
    static const int32_t kBlur[9] = {4, 6, 4, 6, 8, 6, 4, 6, 4};
    ConvolutionKernel k;
    k.weights = kBlur;
    k.divisor = 48;
    k.width = k.height = 3;
    k.centreX = k.centreY = 1;
    OwnedImage blurred;
    if (!k.ApplyImage16(destination, blurred.img))
        return 0;
    for (int y = 1; y < height - 1; ++y) {
        uint16_t* p = Row16(destination, y);
        const uint16_t* q = Row16(blurred.img, y);
        for (int x = 1; x < width - 1; ++x)
            for (int c = 0; c < 3; ++c) {
                const int64_t d = static_cast<int64_t>(p[x * 4 + c]) - q[x * 4 + c];
                int64_t t = (d < 0 ? -d : d) * a / 100;
                if (d < 0)
                    t = -(t / 2);
                p[x * 4 + c] = ClampU16(p[x * 4 + c] + t);
            }
    }
    return 1;
}

// --- smart and double ---

int CImageSize::SmartResize(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height)
{
    if (!source.data || width <= 0 || height <= 0 || &source == &destination)
        return 0;
    const int sw = source.width, sh = source.height;
    const double sx = static_cast<double>(width) / sw, sy = static_cast<double>(height) / sh;
    const double s = std::max(sx, sy);
    if (width == sw && height == sh)
        return CopyImage16(destination, source);
    if (s == 1)
        return Shrink5x5(source, destination, width, height);
    if (s < 1) {
        if (sx <= 0.5)
            return AreaAverage(source, destination, width, height);
        Matrix5x5 m;
        BuildSharpenMatrix5x5(m, m_params.sharpenAmount);
        return Supersample(source, destination, width, height, m, 0.666666 - m_params.areaValue * 0.00333333);
    }
    if (!AllocImage16(destination, width, height))
        return 0;
    const int lo = m_windowLow, hi = m_windowHigh;
    OwnedImage band, tripled, kept, resized, enhanced;
    for (int b = 0; 100 * b < sh; ++b) {
        const int r0 = 100 * b, r1 = std::min(100 * (b + 1), sh);
        const int start = static_cast<int>(lo + static_cast<int64_t>(hi - lo) * r0 / sh);
        const int end = static_cast<int>(std::min<int64_t>(hi, lo + static_cast<int64_t>(hi - lo) * 100 * (b + 1) / sh));
        SetProgress(start);
        // Three rows of context above and below, three white opaque columns on each side.
        if (!AllocImage16(band.img, sw + 6, 106))
            return 0;
        std::fill(Pixels16(band.img), Pixels16(band.img) + PixelCount(band.img) * 4, uint16_t{0xFFFF});
        for (int k = 0; k < 106; ++k) {
            const int from = std::clamp(100 * (b + 1) + k - 103, 0, sh - 1);
            std::memcpy(Row16(band.img, k) + 12, Row16(source, from), static_cast<size_t>(sw) * 8);
        }
        CX3Enlarge x3;
        x3.SetParent(this, 0, 0);
        if (!x3.Enlarge(band.img, tripled.img))
            return 0;
        SetProgress((start + 2 * end) / 3);
        const int rows = r1 - r0;
        if (!AllocImage16(kept.img, 3 * sw, 3 * rows))
            return 0;
        for (int k = 0; k < 3 * rows; ++k)
            std::memcpy(Row16(kept.img, k), Row16(tripled.img, 9 + k) + 9 * 4, static_cast<size_t>(sw) * 3 * 8);
        const int t0 = static_cast<int>(static_cast<int64_t>(height) * r0 / sh);
        const int t1 = static_cast<int>(static_cast<int64_t>(height) * r1 / sh);
        if (t1 <= t0)
            return 0;
        CImageSize bilinear;
        bilinear.SetParent(this, 0, 0);
        if (!bilinear.ResizeBilinear(kept.img, resized.img, width, t1 - t0))
            return 0;
        const ImageBuffer16* result = &resized.img;
        if (m_params.enhance) {
            CResEnhance re;
            re.SetParent(this, 0, 0);
            if (!re.Enhance(0.66 * s + 0.33, resized.img, enhanced.img))
                return 0;
            result = &enhanced.img;
        }
        for (int k = 0; k < t1 - t0; ++k)
            std::memcpy(Row16(destination, t0 + k), Row16(*result, k), static_cast<size_t>(width) * 8);
        SetProgress(end);
    }
    return 1;
}

int CImageSize::ResizeDouble(const ImageBuffer16& source, ImageBuffer16& destination)
{
    if (!source.data || &source == &destination)
        return 0;
    if (!AllocImage16(destination, source.width * 2, source.height * 2))
        return 0;
    C2XEnlarge x2;
    x2.SetParent(this, m_windowLow, m_windowHigh);
    x2.SetSource(const_cast<ImageBuffer16*>(&source));
    x2.SetDestination(&destination);
    return x2.Run();
}

// --- whole document ---

int CImageSize::ResizeDocument()
{
    CZDDoc& doc = *m_pDocument;
    const int method = m_params.method;
    if (method < ResizeNearestMethod || method > ResizeDoubleMethod)
        return 0;
    // Doubling doubles every layer whatever was asked, so the document follows the layers.
    const int width = method == ResizeDoubleMethod ? 2 * doc.width : m_params.width;
    const int height = method == ResizeDoubleMethod ? 2 * doc.height : m_params.height;
    if (width == doc.width && height == doc.height)
        return 1;
    if (width <= 0 || height <= 0 || doc.width <= 0 || doc.height <= 0)
        return 0;
    CZDDoc backup;
    if (!backup.CopyFrom(doc))
        return 0;
    const double sx = static_cast<double>(width) / doc.width, sy = static_cast<double>(height) / doc.height;
    auto scaled = [](int v, double s) { return static_cast<int>(v * s + 0.5); };
    bool ok = true;
    const int count = doc.LayerCount();
    const int g = count > 0 ? 80 / count : 80;
    for (int k = 0; ok && k < count; ++k) {
        CZDLayer& layer = *doc.GetLayer(k);
        m_windowLow = k * g;
        m_windowHigh = (k + 1) * g;
        if (!layer.pixels.data)
            continue;
        // Layers that would shrink to nothing keep one pixel.
        const int lw = k == 0 ? width : std::max(1, scaled(layer.pixels.width, sx));
        const int lh = k == 0 ? height : std::max(1, scaled(layer.pixels.height, sy));
        ImageBuffer16 out{};
        ok = ResizeImage(layer.pixels, out, lw, lh) != 0;
        Plane8 mask{};
        if (ok && layer.mask.data)
            ok = ResizePlane8(layer.mask, mask, out.width, out.height) != 0;
        if (!ok) {
            FreeImageBuffer(out);
            FreePlane8(mask);
            break;
        }
        platform::ScopedLock docLock(doc.lock);
        platform::ScopedLock layerLock(layer.lock);
        if (layer.pixels.byteSize == out.byteSize) {
            std::memcpy(layer.pixels.data, out.data, out.byteSize);
            layer.pixels.width = out.width;
            layer.pixels.height = out.height;
            layer.pixels.pixelCount = out.pixelCount;
            FreeImageBuffer(out);
        } else {
            FreeImageBuffer(layer.pixels);
            layer.pixels = out;
        }
        if (mask.data) {
            FreePlane8(layer.mask);
            layer.mask = mask;
        }
        if (k > 0) {
            layer.x = scaled(layer.x, sx);
            layer.y = scaled(layer.y, sy);
        }
    }
    m_windowLow = 0;
    m_windowHigh = 100;
    if (ok) {
        platform::ScopedLock docLock(doc.lock);
        doc.width = width;
        doc.height = height;
    }
    SetProgress(80);
    if (ok && doc.selection.data) {
        Plane8 sel{};
        ok = ResizePlane8(doc.selection, sel, width, height) != 0;
        if (ok) {
            platform::ScopedLock docLock(doc.lock);
            FreePlane8(doc.selection);
            doc.selection = sel;
        }
    }
    SetProgress(90);
    for (size_t i = 0; ok && i < doc.masks.size(); ++i) {
        MaskItem& item = *doc.masks[i];
        if (!item.plane.data)
            continue;
        Plane8 plane{};
        ok = ResizePlane8(item.plane, plane, std::max(1, scaled(item.plane.width, sx)),
                          std::max(1, scaled(item.plane.height, sy))) != 0;
        if (ok) {
            platform::ScopedLock docLock(doc.lock);
            FreePlane8(item.plane);
            item.plane = plane;
            item.x = scaled(item.x, sx);
            item.y = scaled(item.y, sy);
        }
    }
    if (!ok) {
        platform::ScopedLock docLock(doc.lock);
        doc.CopyFrom(backup);
        return 0;
    }
    doc.modified = 1;
    return 1;
}
