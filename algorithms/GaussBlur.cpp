// Separable integer Gaussian. Each pass divides by the sum of the weights it used, so taps
// outside the picture are dropped and the rest renormalise. The row pass and the column pass
// are fused through a ring of row-pass results, and output rows are independent, so any
// sharing of rows between threads gives the same bytes.
#include "algorithms/GaussBlur.h"
#include "algorithms/TargetClones.h"

#include "algorithms/PixelAccess.h"
#include "algorithms/ScratchCache.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

int BuildGaussKernel(double sigma, int* w)
{
    int L = 0;
    for (int i = 0; i < kGaussMaxTaps; ++i) {
        w[i] = static_cast<int>(std::pow(2.7188282, -(i * i) / (2 * sigma * sigma)) * 1024);
        if (w[i] == 0)
            break;
        L = i + 1;
    }
    for (int i = L; i < kGaussMaxTaps; ++i)
        w[i] = 0;
    if (L == 0) { // sigma too small for even the centre weight: leave the picture as it is
        w[0] = 2048;
        return 1;
    }
    int64_t S = w[0];
    for (int i = 1; i < L; ++i)
        S += 2 * static_cast<int64_t>(w[i]);
    for (int i = 0; i < L; ++i)
        w[i] = static_cast<int>(static_cast<int64_t>(w[i]) * 2048 / S);
    return L;
}

int GaussReduction(double sigma)
{
    if (!(sigma > 2.5))
        return 1;
    // Start next to the answer: counting up from 2 would take for ever on a huge or infinite
    // sigma from a stored record. Factors beyond any picture side are all alike to the caller.
    constexpr double kMaxFactor = 1 << 30;
    const double q = std::ceil(sigma / 2.5);
    if (!(q < kMaxFactor))
        return static_cast<int>(kMaxFactor);
    int b = std::max(2, static_cast<int>(q) - 1);
    while (b > 2 && sigma / (b - 1) <= 2.5)
        --b;
    while (sigma / b > 2.5)
        ++b;
    return b;
}

namespace {

// Truncating division by a fixed divisor through one 32 x 32 -> 64-bit multiply: exact for
// n < 2^40 / d, which holds for sums of 16-bit values times weights summing to at most 2048.
// Divisors of 256 or less (never met with Gaussian weights up to sigma 2.5) divide plainly.
struct ExactDivider {
    explicit ExactDivider(uint32_t divisor)
        : d(divisor), m(divisor > 256 ? static_cast<uint32_t>(((uint64_t{1} << 40) + divisor - 1) / divisor) : 0)
    {
    }
    uint32_t operator()(uint32_t n) const
    {
        return m ? static_cast<uint32_t>((static_cast<uint64_t>(n) * m) >> 40) : n / d;
    }
    uint32_t d, m;
};

// Divides each acc[j] into out[j]; the loop is chosen once so the common case vectorises.
template <class T>
ZD_TARGET_CLONES_TEMPLATE void DivideRow(const uint32_t* __restrict acc, T* __restrict out,
                                                                   int j0, int j1, ExactDivider div)
{
    if (div.m) {
        const uint64_t m = div.m;
        for (int j = j0; j < j1; ++j)
            out[j] = static_cast<T>((acc[j] * m) >> 40);
    } else {
        for (int j = j0; j < j1; ++j)
            out[j] = static_cast<T>(acc[j] / div.d);
    }
}

// acc[j] (=|+)= w x (a[j] + b[j]); b null: w x a[j].
template <class T>
ZD_TARGET_CLONES_TEMPLATE void AccumulateRow(uint32_t* __restrict acc, const T* __restrict a,
                                                                      const T* __restrict b, int j0, int j1,
                                                                      uint32_t w, bool first)
{
    if (first && !b) {
        for (int j = j0; j < j1; ++j)
            acc[j] = w * a[j];
    } else if (!b) {
        for (int j = j0; j < j1; ++j)
            acc[j] += w * a[j];
    } else if (first) {
        for (int j = j0; j < j1; ++j)
            acc[j] = w * (static_cast<uint32_t>(a[j]) + b[j]);
    } else {
        for (int j = j0; j < j1; ++j)
            acc[j] += w * (static_cast<uint32_t>(a[j]) + b[j]);
    }
}

template <class T>
struct View {
    T* data;
    int width, height;
};

template <class T, int C>
T* RowOf(const View<T>& v, int y)
{
    return v.data + static_cast<size_t>(y) * static_cast<size_t>(v.width) * C;
}

// Row pass over one line of n pixels of C channels.
template <class T, int C>
void GaussRowH(const T* __restrict in, T* __restrict out, int n, const int* w, int L, const ExactDivider& div,
               uint32_t* __restrict acc)
{
    const int K = L - 1;
    auto edge = [&](int i) {
        const int k0 = std::max(i - K, 0), k1 = std::min(i + K, n - 1);
        uint32_t ws = 0;
        for (int k = k0; k <= k1; ++k)
            ws += w[std::abs(k - i)];
        for (int c = 0; c < C; ++c) {
            uint32_t sum = 0;
            for (int k = k0; k <= k1; ++k)
                sum += static_cast<uint32_t>(w[std::abs(k - i)]) * in[k * C + c];
            out[i * C + c] = static_cast<T>(sum / ws);
        }
    };
    if (n <= 2 * K) {
        for (int i = 0; i < n; ++i)
            edge(i);
        return;
    }
    for (int i = 0; i < K; ++i) {
        edge(i);
        edge(n - 1 - i);
    }
    const int j0 = K * C, j1 = (n - K) * C;
    AccumulateRow<T>(acc, in, nullptr, j0, j1, static_cast<uint32_t>(w[0]), true);
    for (int k = 1; k <= K; ++k)
        AccumulateRow<T>(acc, in - k * C, in + k * C, j0, j1, static_cast<uint32_t>(w[k]), false);
    DivideRow<T>(acc, out, j0, j1, div);
}

// Column pass for one output row: rows[k + K] is the row-pass result of row y + k, or null
// outside the picture.
template <class T>
void GaussRowV(const T* const* rows, T* __restrict out, int count, const int* w, int K, const ExactDivider& interior,
               uint32_t* __restrict acc)
{
    const uint32_t w0 = static_cast<uint32_t>(w[0]);
    uint32_t ws = w0;
    AccumulateRow<T>(acc, rows[K], nullptr, 0, count, w0, true);
    for (int k = 1; k <= K; ++k) {
        const uint32_t wk = static_cast<uint32_t>(w[k]);
        const T* a = rows[K - k];
        const T* b = rows[K + k];
        if (a && b) {
            AccumulateRow<T>(acc, a, b, 0, count, wk, false);
            ws += 2 * wk;
        } else if (a || b) {
            AccumulateRow<T>(acc, a ? a : b, nullptr, 0, count, wk, false);
            ws += wk;
        }
    }
    // Rows near the top and bottom divide by the weights they used.
    DivideRow<T>(acc, out, 0, count, ws == interior.d ? interior : ExactDivider(ws));
}

// Blurs rows [y0, y1) of dst from src (different buffers, same size).
template <class T, int C>
bool CoreBlurRows(const View<T>& src, const View<T>& dst, const int* w, int L, int y0, int y1)
{
    const int K = L - 1, h = src.height, n = src.width;
    const size_t rowValues = static_cast<size_t>(n) * C;
    const int ringRows = 2 * K + 1;
    const size_t ringBytes = (rowValues * ringRows * sizeof(T) + 63) / 64 * 64;
    ScratchBlock scratch(ringBytes + rowValues * sizeof(uint32_t));
    if (!scratch)
        return false;
    T* const ringData = scratch.as<T>();
    uint32_t* const accData = reinterpret_cast<uint32_t*>(scratch.as<unsigned char>() + ringBytes);
    uint32_t interiorSum = static_cast<uint32_t>(w[0]);
    for (int k = 1; k <= K; ++k)
        interiorSum += 2 * static_cast<uint32_t>(w[k]);
    const ExactDivider interior(interiorSum);
    auto slot = [&](int r) { return ringData + static_cast<size_t>(r % ringRows) * rowValues; };
    int next = std::max(0, y0 - K);
    const T* taps[2 * kGaussMaxTaps + 1];
    for (int y = y0; y < y1; ++y) {
        const int need = std::min(h - 1, y + K);
        for (; next <= need; ++next)
            GaussRowH<T, C>(RowOf<T, C>(src, next), slot(next), n, w, L, interior, accData);
        for (int k = -K; k <= K; ++k)
            taps[k + K] = (y + k >= 0 && y + k < h) ? slot(y + k) : nullptr;
        GaussRowV<T>(taps, RowOf<T, C>(dst, y), static_cast<int>(rowValues), w, K, interior, accData);
    }
    return true;
}

template <class T, int C>
bool CoreBlur(const View<T>& src, const View<T>& dst, double sigma)
{
    int w[kGaussMaxTaps];
    const int L = BuildGaussKernel(sigma, w);
    const int64_t work = static_cast<int64_t>(src.width) * C * (2 * L);
    return ParallelRows(src.height, work, [&](int y0, int y1) { return CoreBlurRows<T, C>(src, dst, w, L, y0, y1); });
}

// Adds the b-pixel block sums of one row into sums (width blocks of C channels).
template <class T, int C, class Sum>
inline void AddBlockSums(const T* __restrict in, Sum* __restrict sums, int width, int b)
{
    for (int x = 0; x < width; ++x) {
        Sum block[C] = {};
        const T* p = in + static_cast<size_t>(x) * b * C;
        for (int i = 0; i < b; ++i)
            for (int c = 0; c < C; ++c)
                block[c] += p[i * C + c];
        for (int c = 0; c < C; ++c)
            sums[x * C + c] += block[c];
    }
}

// acc[j] (=|+)= in[j]: the b rows of a block row summed column by column, in full vectors.
template <class T>
ZD_TARGET_CLONES_TEMPLATE void AddColumns(uint32_t* __restrict acc, const T* __restrict in, size_t n, bool first)
{
    if (first) {
        for (size_t j = 0; j < n; ++j)
            acc[j] = in[j];
    } else {
        for (size_t j = 0; j < n; ++j)
            acc[j] += in[j];
    }
}

// Block sums from column sums: b neighbouring columns per block, C channels each.
template <int C>
ZD_TARGET_CLONES_TEMPLATE void BlockSumsOfColumns(const uint32_t* __restrict columns, uint32_t* __restrict sums,
                                                  int width, int b)
{
    for (int x = 0; x < width; ++x) {
        uint32_t block[C] = {};
        const uint32_t* p = columns + static_cast<size_t>(x) * b * C;
        for (int i = 0; i < b; ++i)
            for (int c = 0; c < C; ++c)
                block[c] += p[i * C + c];
        for (int c = 0; c < C; ++c)
            sums[x * C + c] = block[c];
    }
}

// b x b block means; right and bottom remainders are not used.
template <class T, int C>
bool Reduce(const View<T>& src, const View<T>& out, int b)
{
    // 32-bit sums hold a block of up to 256 x 256 values of 65535; larger blocks need 64 bits.
    const bool narrow = b <= 256;
    return ParallelRows(out.height, static_cast<int64_t>(src.width) * C * b, [&](int y0, int y1) {
        const size_t count = static_cast<size_t>(out.width) * C;
        // Integer sums in any order are the same sums: the rows of a block row are added
        // column by column first (whole vectors, b times the values), then each block's
        // columns once.
        const size_t used = static_cast<size_t>(out.width) * b * C;
        ScratchBlock scratch(count * sizeof(uint64_t) + (narrow ? used * sizeof(uint32_t) : 0));
        if (!scratch)
            return false;
        uint64_t* sums = scratch.as<uint64_t>();
        uint32_t* sums32 = scratch.as<uint32_t>();
        uint32_t* columns = reinterpret_cast<uint32_t*>(sums + count);
        const uint64_t area = static_cast<uint64_t>(b) * static_cast<uint64_t>(b);
        for (int y = y0; y < y1; ++y) {
            T* o = RowOf<T, C>(out, y);
            if (narrow) {
                for (int r = 0; r < b; ++r)
                    AddColumns<T>(columns, RowOf<T, C>(src, y * b + r), used, r == 0);
                BlockSumsOfColumns<C>(columns, sums32, out.width, b);
                // n / area in doubles truncates to the integer quotient: n + area < 2^53.
                const double areaD = static_cast<double>(area);
                for (size_t j = 0; j < count; ++j)
                    o[j] = static_cast<T>(static_cast<uint32_t>(static_cast<double>(sums32[j]) / areaD));
            } else {
                std::memset(sums, 0, sizeof(uint64_t) * count);
                for (int r = 0; r < b; ++r)
                    AddBlockSums<T, C>(RowOf<T, C>(src, y * b + r), sums, out.width, b);
                for (size_t j = 0; j < count; ++j)
                    o[j] = static_cast<T>(sums[j] / area);
            }
        }
        return true;
    });
}

// n / b truncating toward zero for |n| <= 65535 x b, b < 256, through a multiply.
struct SignedDivider {
    explicit SignedDivider(int divisor)
        : b(divisor), m(static_cast<uint32_t>(((uint64_t{1} << 32) + divisor - 1) / divisor))
    {
    }
    int operator()(int n) const
    {
        if (b >= 256)
            return n / b;
        const uint32_t a = static_cast<uint32_t>(n < 0 ? -n : n);
        const int q = static_cast<int>((static_cast<uint64_t>(a) * m) >> 32);
        return n < 0 ? -q : q;
    }
    int b;
    uint32_t m;
};

// n / b truncated toward zero, for |n| < 2^24 and 0 < b < 256, in single precision: n and b
// are exact floats and the quotient is correctly rounded, with an error below half a unit in
// its last place (at most 2^-9 under 2^16), while a quotient that is no integer lies at least
// 1/b > 2^-9 from the next one; so truncating it gives the integer quotient. Unlike the 64-bit
// multiply it vectorises.
inline int DivideSmall(int n, float b)
{
    return static_cast<int>(static_cast<float>(n) / b);
}

struct SmallDivider {
    float b;
    int operator()(int n) const { return DivideSmall(n, b); }
};

// The spread part of SpreadRow with either divider.
template <class T, int C, class Divider>
ZD_TARGET_CLONES_TEMPLATE void SpreadBlocks(const T* __restrict in, int* __restrict out, int smallWidth, int b,
                                            Divider div)
{
    for (int sx = 0; sx + 1 < smallWidth; ++sx) {
        int a[C], d[C];
        for (int c = 0; c < C; ++c) {
            a[c] = in[sx * C + c];
            d[c] = in[(sx + 1) * C + c] - a[c];
        }
        int* o = out + static_cast<size_t>(sx) * b * C;
        for (int f = 0; f < b; ++f)
            for (int c = 0; c < C; ++c)
                o[f * C + c] = a[c] + div(d[c] * f);
    }
}

// One reduced row spread to the full width: TL + (TR - TL) x fx / b for every column, where
// column x lies fx = x % b past its block's corner; past the last corner the row stays flat.
template <class T, int C>
void SpreadRow(const T* in, int* out, int width, int smallWidth, int b, const SignedDivider& div)
{
    if (b < 256)
        SpreadBlocks<T, C>(in, out, smallWidth, b, SmallDivider{static_cast<float>(b)});
    else
        SpreadBlocks<T, C>(in, out, smallWidth, b, div);
    const int flatFrom = std::max(0, smallWidth - 1) * b;
    const T* last = in + static_cast<size_t>(std::max(0, smallWidth - 1)) * C;
    for (int x = flatFrom; x < width; ++x)
        for (int c = 0; c < C; ++c)
            out[x * C + c] = last[c];
}

// top + (bottom - top) x fy / b over a whole row (b < 256).
template <class T>
ZD_TARGET_CLONES_TEMPLATE void BlendSpreadRows(const int* __restrict top,
                                                                        const int* __restrict bottom, T* __restrict out,
                                                                        int count, int fy, int b)
{
    const float fb = static_cast<float>(b);
    for (int j = 0; j < count; ++j)
        out[j] = static_cast<T>(top[j] + DivideSmall((bottom[j] - top[j]) * fy, fb));
}

// Back to the full size: each reduced pixel sits at the top-left corner of its block. The
// horizontal step is shared by the b rows of a block, and a block's bottom spread is the next
// block's top; the vertical step is one pass per row.
template <class T, int C>
bool Enlarge(const View<T>& small, const View<T>& out, int b)
{
    const SignedDivider div(b);
    const size_t count = static_cast<size_t>(out.width) * C;
    return ParallelRows(out.height, static_cast<int64_t>(count), [&](int y0, int y1) {
        ScratchBlock scratch(2 * count * sizeof(int));
        if (!scratch)
            return false;
        int* top = scratch.as<int>();
        int* bottom = top + count;
        int topFor = -1, bottomFor = -1;
        for (int y = y0; y < y1; ++y) {
            const int cy = std::min(y / b, small.height - 1);
            const int cy1 = cy + 1 < small.height ? cy + 1 : cy;
            const int fy = y % b;
            if (topFor != cy) {
                if (bottomFor == cy) {
                    std::swap(top, bottom);
                } else {
                    SpreadRow<T, C>(RowOf<T, C>(small, cy), top, out.width, small.width, b, div);
                }
                topFor = cy;
                bottomFor = -1;
            }
            if (bottomFor != cy1) {
                if (cy1 == cy)
                    std::memcpy(bottom, top, count * sizeof(int));
                else
                    SpreadRow<T, C>(RowOf<T, C>(small, cy1), bottom, out.width, small.width, b, div);
                bottomFor = cy1;
            }
            T* o = RowOf<T, C>(out, y);
            if (b < 256) {
                BlendSpreadRows<T>(top, bottom, o, static_cast<int>(count), fy, b);
            } else {
                for (size_t j = 0; j < count; ++j)
                    o[j] = static_cast<T>(top[j] + div((bottom[j] - top[j]) * fy));
            }
        }
        return true;
    });
}

// A work picture in scratch memory, kept warm for the next blur of the same size.
template <class T>
struct Owned {
    ScratchBlock mem;
    View<T> view{nullptr, 0, 0};
    bool Alloc(int w, int h, int C)
    {
        mem.Take(static_cast<size_t>(w) * h * C * sizeof(T));
        view = {mem.as<T>(), w, h};
        return static_cast<bool>(mem);
    }
};

// Factor and kernel sigma; the factor never makes the reduced picture empty.
void ChooseReduction(double sigma, int width, int height, int& b, double& kernelSigma)
{
    b = GaussReduction(sigma);
    kernelSigma = sigma / b;
    if (b > 1 && (width / b < 1 || height / b < 1)) {
        b = std::max(1, std::min(width, height));
        kernelSigma = std::min(sigma / b, 2.5);
    }
}

} // namespace

int SpreadDivide(int n, int b)
{
    return DivideSmall(n, static_cast<float>(b));
}

template <class T, int C>
static int BlurView(CGaussBlur& self, double sigma, const View<T>& src, const View<T>& dst, bool progress)
{
    int b;
    double ks;
    ChooseReduction(sigma, src.width, src.height, b, ks);
    self.m_reduction = b;
    self.m_sigma = ks;
    if (b == 1) {
        if (!CoreBlur<T, C>(src, dst, ks))
            return 0;
        if (progress)
            self.SetProgress(50);
        return 1;
    }
    Owned<T> reduced, blurred;
    const int rw = src.width / b, rh = src.height / b;
    if (!reduced.Alloc(rw, rh, C) || !blurred.Alloc(rw, rh, C))
        return 0;
    if (!Reduce<T, C>(src, reduced.view, b))
        return 0;
    if (progress)
        self.SetProgress(30);
    if (!CoreBlur<T, C>(reduced.view, blurred.view, ks))
        return 0;
    if (progress) {
        self.SetProgress(50);
        self.SetProgress(70);
    }
    if (!Enlarge<T, C>(blurred.view, dst, b))
        return 0;
    if (progress)
        self.SetProgress(100);
    return 1;
}

namespace {

// The checks every whole-buffer blur shares: no source fails, a radius below 0.1 copies (blurring
// by radius 0 would divide by zero in the kernel), and blurring in place reads from a private copy
// because rows are read after others were written. blur(src) does the rest.
template <class Buffer, class Blur>
int BlurFromSafeSource(double sigma, const Buffer& source, Buffer& destination,
                       int (*copyBuffer)(Buffer&, const Buffer&), void (*freeBuffer)(Buffer&), Blur blur)
{
    if (!source.data)
        return 0;
    if (!(sigma >= 0.1))
        return &source == &destination ? 1 : copyBuffer(destination, source);
    Buffer copy{};
    const Buffer* src = &source;
    if (&source == &destination) {
        if (!copyBuffer(copy, source))
            return 0;
        src = &copy;
    }
    const int ok = blur(*src);
    freeBuffer(copy);
    return ok;
}

} // namespace

int CGaussBlur::BlurImage16(double sigma, const ImageBuffer16& source, ImageBuffer16& destination)
{
    return BlurFromSafeSource(sigma, source, destination, CopyImage16, FreeImageBuffer, [&](const ImageBuffer16& src) {
        return AllocImage16(destination, src.width, src.height)
                   ? BlurView<uint16_t, 4>(*this, sigma, View<uint16_t>{Pixels16(src), src.width, src.height},
                                           View<uint16_t>{Pixels16(destination), destination.width, destination.height}, true)
                   : 0;
    });
}

int CGaussBlur::BlurImage8(double sigma, const ImageBuffer8& source, ImageBuffer8& destination)
{
    return BlurFromSafeSource(sigma, source, destination, CopyImage8, FreeImageBuffer, [&](const ImageBuffer8& src) {
        return AllocImage8(destination, src.width, src.height)
                   ? BlurView<uint8_t, 4>(*this, sigma, View<uint8_t>{src.data, src.width, src.height},
                                          View<uint8_t>{destination.data, destination.width, destination.height}, true)
                   : 0;
    });
}

int CGaussBlur::BlurPlane8(double sigma, const Plane8& source, Plane8& destination)
{
    return BlurFromSafeSource(sigma, source, destination, CopyPlane8, FreePlane8, [&](const Plane8& plane) {
        const Plane8* src = &plane;
        int b;
        double ks;
        ChooseReduction(sigma, src->width, src->height, b, ks);
        m_reduction = b;
        m_sigma = ks;
        int ok = 0;
        const View<uint8_t> sv{src->data, src->width, src->height};
        if (b == 1) {
            ok = AllocPlane8(destination, src->width, src->height) &&
                 CoreBlur<uint8_t, 1>(sv, View<uint8_t>{destination.data, destination.width, destination.height}, ks);
        } else {
            Plane8 reduced{}, blurred{};
            ok = AllocPlane8(reduced, src->width / b, src->height / b) &&
                 AllocPlane8(blurred, src->width / b, src->height / b) &&
                 Reduce<uint8_t, 1>(sv, View<uint8_t>{reduced.data, reduced.width, reduced.height}, b) &&
                 CoreBlur<uint8_t, 1>(View<uint8_t>{reduced.data, reduced.width, reduced.height},
                                      View<uint8_t>{blurred.data, blurred.width, blurred.height}, ks) &&
                 ResizePlane8(blurred, destination, src->width, src->height);
            FreePlane8(reduced);
            FreePlane8(blurred);
        }
        return ok ? 1 : 0;
    });
}

int CGaussBlur::Run()
{
    if (!m_pSource || !m_pDestination || !m_pParams)
        return 0;
    double sigma;
    std::memcpy(&sigma, m_pParams, sizeof sigma);
    return BlurImage16(sigma, *m_pSource, *m_pDestination);
}

int CGaussBlur::ProcessBand(BandTask& task)
{
    return BlurImage16(m_sigma, *task.bandSource, *task.bandDest);
}

// --- selection masks ---

MaskRect MaskBBox(const Plane8& plane)
{
    MaskRect r{plane.width, plane.height, 0, 0};
    if (!plane.data)
        return r;
    for (int y = 0; y < plane.height; ++y) {
        const uint8_t* row = plane.data + static_cast<size_t>(y) * plane.width;
        for (int x = 0; x < plane.width; ++x)
            if (row[x]) {
                r.left = std::min(r.left, x);
                r.right = std::max(r.right, x + 1);
                r.top = std::min(r.top, y);
                r.bottom = std::max(r.bottom, y + 1);
            }
    }
    return r;
}

namespace {

// Half-widths of the disc of radius r, row by row.
std::vector<int> DiscHalfWidths(int r)
{
    std::vector<int> hw(2 * r + 1);
    for (int dy = -r; dy <= r; ++dy) {
        int x = 0;
        while (x + 1 <= r && std::sqrt(static_cast<double>((x + 1) * (x + 1) + dy * dy)) <= r)
            ++x;
        hw[dy + r] = x;
    }
    return hw;
}

bool ZeroPlane(Plane8& dst, int w, int h)
{
    if (!AllocPlane8(dst, w, h))
        return false;
    std::memset(dst.data, 0, static_cast<size_t>(w) * h);
    return true;
}

} // namespace

int ExpandMask(const Plane8& source, Plane8& destination, int radius)
{
    if (!source.data)
        return 0;
    const int w = source.width, h = source.height;
    const MaskRect box = MaskBBox(source);
    Plane8 out{};
    if (box.right <= box.left || box.bottom <= box.top) {
        if (!ZeroPlane(out, w, h))
            return 0;
    } else {
        if (!CopyPlane8(out, source))
            return 0;
        const int r = std::max(radius, 0);
        const std::vector<int> hw = DiscHalfWidths(r);
        const int x0 = std::max(0, box.left - r), x1 = std::min(w, box.right + r);
        const int y0 = std::max(0, box.top - r), y1 = std::min(h, box.bottom + r);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const uint8_t own = source.data[static_cast<size_t>(y) * w + x];
                if (own == 255)
                    continue;
                int best = own;
                for (int dy = -r; dy <= r && best < 255; ++dy) {
                    const int yy = y + dy;
                    if (yy < 0 || yy >= h)
                        continue;
                    const uint8_t* row = source.data + static_cast<size_t>(yy) * w;
                    const int xa = std::max(0, x - hw[dy + r]), xb = std::min(w - 1, x + hw[dy + r]);
                    for (int xx = xa; xx <= xb; ++xx)
                        best = std::max<int>(best, row[xx]);
                }
                out.data[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(best);
            }
    }
    FreePlane8(destination);
    destination = out;
    return 1;
}

int ShrinkMask(const Plane8& source, Plane8& destination, int radius, int releaseIfEmpty)
{
    if (!source.data)
        return 0;
    const int w = source.width, h = source.height;
    const MaskRect box = MaskBBox(source);
    const int r = std::max(radius, 0);
    Plane8 out{};
    if (!ZeroPlane(out, w, h))
        return 0;
    bool any = false;
    if (!(box.right - box.left < 2 * r || box.bottom - box.top < 2 * r) && box.right > box.left) {
        const std::vector<int> hw = DiscHalfWidths(r);
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x) {
                if (!source.data[static_cast<size_t>(y) * w + x])
                    continue;
                int best = 255;
                for (int dy = -r; dy <= r && best > 0; ++dy) {
                    const int yy = y + dy;
                    if (yy < 0 || yy >= h)
                        continue;
                    const uint8_t* row = source.data + static_cast<size_t>(yy) * w;
                    const int xa = std::max(0, x - hw[dy + r]), xb = std::min(w - 1, x + hw[dy + r]);
                    for (int xx = xa; xx <= xb; ++xx)
                        best = std::min<int>(best, row[xx]);
                }
                out.data[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(best);
                any = any || best;
            }
    }
    FreePlane8(destination);
    destination = out;
    if (!any && releaseIfEmpty)
        FreePlane8(destination);
    return 1;
}

int MaskBorder(const Plane8& source, Plane8& destination, int width)
{
    if (!source.data)
        return 0;
    const int b = width / 2;
    Plane8 A{}, B{};
    bool ok = b > 0 ? ExpandMask(source, A, b) : CopyPlane8(A, source);
    ok = ok && (width - b > 0 ? ShrinkMask(source, B, width - b, 1) : CopyPlane8(B, source));
    Plane8 out{};
    ok = ok && AllocPlane8(out, source.width, source.height);
    bool any = false;
    if (ok) {
        const size_t n = static_cast<size_t>(source.width) * source.height;
        for (size_t i = 0; i < n; ++i) {
            const int bv = B.data ? B.data[i] : 0; // a released erosion counts as all 0
            out.data[i] = static_cast<uint8_t>(std::abs(A.data[i] - bv));
            any = any || out.data[i];
        }
    }
    FreePlane8(A);
    FreePlane8(B);
    if (!ok) {
        FreePlane8(out);
        return 0;
    }
    FreePlane8(destination);
    destination = out;
    if (!any)
        FreePlane8(destination);
    return 1;
}

int FeatherMask(double sigma, const Plane8& source, Plane8& destination)
{
    CGaussBlur blur;
    return blur.BlurPlane8(sigma, source, destination);
}
