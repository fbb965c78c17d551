#include "imaging/DocumentGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// One pixel layout for images (8 bytes) and planes (1 byte).
struct View {
    uint8_t* data;
    int width, height;
    size_t pixelBytes;
};

View Of(ImageBuffer16& i) { return {reinterpret_cast<uint8_t*>(i.data), i.width, i.height, 8}; }
View Of(Plane8& p) { return {p.data, p.width, p.height, 1}; }

int Alloc(ImageBuffer16& i, int w, int h) { return AllocImage16(i, w, h); }
int Alloc(Plane8& p, int w, int h) { return AllocPlane8(p, w, h); }
void Free(ImageBuffer16& i) { FreeImageBuffer(i); }
void Free(Plane8& p) { FreePlane8(p); p = Plane8{}; }

// new(x, y) = old(map(x, y)), into a new buffer that then replaces the old one.
template <class T, class Map>
int Remap(T& target, int newWidth, int newHeight, Map map)
{
    View src = Of(target);
    if (!src.data)
        return 0;
    T out;
    if (!Alloc(out, newWidth, newHeight))
        return 0;
    View dst = Of(out);
    // Whole pixels as one value, so the copy is a plain load and store.
    auto copyAll = [&](auto pixel) {
        using P = decltype(pixel);
        const P* s = reinterpret_cast<const P*>(src.data);
        P* d = reinterpret_cast<P*>(dst.data);
        // In square tiles: a turn reads the source down its columns, and a tile's source rows
        // stay in cache while the tile is written.
        constexpr int kTile = 32;
        for (int ty = 0; ty < newHeight; ty += kTile)
            for (int tx = 0; tx < newWidth; tx += kTile) {
                const int yEnd = std::min(newHeight, ty + kTile), xEnd = std::min(newWidth, tx + kTile);
                for (int y = ty; y < yEnd; ++y)
                    for (int x = tx; x < xEnd; ++x) {
                        auto [sx, sy] = map(x, y);
                        d[size_t(y) * newWidth + x] = s[size_t(sy) * src.width + sx];
                    }
            }
    };
    if (src.pixelBytes == 8)
        copyAll(uint64_t{});
    else
        copyAll(uint8_t{});
    Free(target);
    target = out;
    return 1;
}

template <class T>
int RotateRight(T& t)
{
    const int h = Of(t).height;
    return Remap(t, h, Of(t).width, [h](int x, int y) { return std::pair{y, h - 1 - x}; });
}

template <class T>
int RotateLeft(T& t)
{
    const int w = Of(t).width;
    return Remap(t, Of(t).height, w, [w](int x, int y) { return std::pair{w - 1 - y, x}; });
}

template <class T>
int FlipHorizontal(T& t)
{
    View v = Of(t);
    if (!v.data)
        return 0;
    uint8_t tmp[8];
    for (int y = 0; y < v.height; ++y) {
        uint8_t* row = v.data + size_t(y) * v.width * v.pixelBytes;
        for (int a = 0, b = v.width - 1; a < b; ++a, --b) {
            std::memcpy(tmp, row + a * v.pixelBytes, v.pixelBytes);
            std::memcpy(row + a * v.pixelBytes, row + b * v.pixelBytes, v.pixelBytes);
            std::memcpy(row + b * v.pixelBytes, tmp, v.pixelBytes);
        }
    }
    return 1;
}

template <class T>
int FlipVertical(T& t)
{
    View v = Of(t);
    if (!v.data)
        return 0;
    const size_t rowBytes = size_t(v.width) * v.pixelBytes;
    std::vector<uint8_t> tmp(rowBytes);
    for (int a = 0, b = v.height - 1; a < b; ++a, --b) {
        uint8_t* ra = v.data + a * rowBytes;
        uint8_t* rb = v.data + b * rowBytes;
        std::memcpy(tmp.data(), ra, rowBytes);
        std::memcpy(ra, rb, rowBytes);
        std::memcpy(rb, tmp.data(), rowBytes);
    }
    return 1;
}

ZDRect Ordered(const ZDRect& r)
{
    return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
            std::max(r.top, r.bottom)};
}

// rect with its corners in order, cut to a width x height canvas; false when nothing is left.
bool ClipToCanvas(const ZDRect& rect, int width, int height, ZDRect& r)
{
    r = Ordered(rect);
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, width - 1);
    r.bottom = std::min(r.bottom, height - 1);
    return r.left <= r.right && r.top <= r.bottom;
}

template <class T>
int Crop(T& t, const ZDRect& rect)
{
    View v = Of(t);
    if (!v.data)
        return 0;
    ZDRect r;
    if (!ClipToCanvas(rect, v.width, v.height, r))
        return 0;
    const int w = r.right - r.left + 1, h = r.bottom - r.top + 1;
    T out;
    if (!Alloc(out, w, h))
        return 0;
    View d = Of(out);
    for (int y = 0; y < h; ++y)
        std::memcpy(d.data + size_t(y) * w * d.pixelBytes,
                    v.data + (size_t(y + r.top) * v.width + r.left) * v.pixelBytes, size_t(w) * v.pixelBytes);
    Free(t);
    t = out;
    return 1;
}

enum class Turn { Right, Left, Horizontal, Vertical };

// New offset of a w x h piece at (x, y) on a W x H canvas.
void Move(Turn turn, int W, int H, int w, int h, int32_t& x, int32_t& y)
{
    const int32_t ox = x, oy = y;
    switch (turn) {
    case Turn::Right: x = H - oy - h; y = ox; break;
    case Turn::Left: x = oy; y = W - ox - w; break;
    case Turn::Horizontal: x = W - ox - w; break;
    case Turn::Vertical: y = H - oy - h; break;
    }
}

template <class T>
int Apply(Turn turn, T& t)
{
    switch (turn) {
    case Turn::Right: return RotateRight(t);
    case Turn::Left: return RotateLeft(t);
    case Turn::Horizontal: return FlipHorizontal(t);
    case Turn::Vertical: return FlipVertical(t);
    }
    return 0;
}

int TurnDocument(CZDDoc& doc, Turn turn)
{
    std::lock_guard guard(doc.lock);
    const int W = doc.width, H = doc.height;
    for (size_t i = 0; i < doc.layers.size(); ++i) {
        CZDLayer& layer = *doc.layers[i];
        std::lock_guard layerGuard(layer.lock);
        const int w = layer.pixels.width, h = layer.pixels.height;
        if (layer.pixels.data && !Apply(turn, layer.pixels))
            return 0;
        if (layer.mask.data && !Apply(turn, layer.mask))
            return 0;
        if (i != 0)
            Move(turn, W, H, w, h, layer.x, layer.y);
    }
    if (doc.selection.data && !Apply(turn, doc.selection))
        return 0;
    for (auto& m : doc.masks) {
        const int w = m->plane.width, h = m->plane.height;
        if (m->plane.data && !Apply(turn, m->plane))
            return 0;
        Move(turn, W, H, w, h, m->x, m->y);
    }
    if (turn == Turn::Right || turn == Turn::Left)
        std::swap(doc.width, doc.height);
    return 1;
}

} // namespace

int RotateImage16Right(ImageBuffer16& image) { return RotateRight(image); }
int RotateImage16Left(ImageBuffer16& image) { return RotateLeft(image); }
int FlipImage16Horizontal(ImageBuffer16& image) { return FlipHorizontal(image); }
int FlipImage16Vertical(ImageBuffer16& image) { return FlipVertical(image); }
int CropImage16(ImageBuffer16& image, const ZDRect& rect) { return Crop(image, rect); }
int RotatePlane8Right(Plane8& plane) { return RotateRight(plane); }
int RotatePlane8Left(Plane8& plane) { return RotateLeft(plane); }
int FlipPlane8Horizontal(Plane8& plane) { return FlipHorizontal(plane); }
int FlipPlane8Vertical(Plane8& plane) { return FlipVertical(plane); }
int CropPlane8(Plane8& plane, const ZDRect& rect) { return Crop(plane, rect); }

int RotateDocumentRight(CZDDoc& doc) { return TurnDocument(doc, Turn::Right); }
int RotateDocumentLeft(CZDDoc& doc) { return TurnDocument(doc, Turn::Left); }
int FlipDocumentHorizontal(CZDDoc& doc) { return TurnDocument(doc, Turn::Horizontal); }
int FlipDocumentVertical(CZDDoc& doc) { return TurnDocument(doc, Turn::Vertical); }

int CropDocument(CZDDoc& doc, const ZDRect& rect)
{
    std::lock_guard guard(doc.lock);
    ZDRect r;
    // A rectangle reaching past the canvas would leave a canvas larger than its layers.
    if (!ClipToCanvas(rect, doc.width, doc.height, r))
        return 0;
    if (r.left == 0 && r.top == 0 && r.right == doc.width - 1 && r.bottom == doc.height - 1)
        return 1;

    // The overlap of a piece at (x, y) of w x h with the rectangle, in the piece's coordinates;
    // false when it is less than two pixels wide or high.
    auto overlap = [&r](int32_t x, int32_t y, int w, int h, ZDRect& inPiece) {
        ZDRect i{std::max(x, r.left), std::max(y, r.top), std::min(x + w - 1, r.right), std::min(y + h - 1, r.bottom)};
        if (!(i.right > i.left && i.bottom > i.top))
            return false;
        inPiece = {i.left - x, i.top - y, i.right - x, i.bottom - y};
        return true;
    };

    // Layers may go: the current index must stay valid whatever the result (-1 with none left).
    auto keepCurrentValid = [&doc] {
        doc.current = doc.layers.empty() ? -1 : std::clamp(doc.current, 0, doc.LayerCount() - 1);
    };
    for (size_t i = 0; i < doc.layers.size();) {
        CZDLayer& layer = *doc.layers[i];
        ZDRect in;
        if (layer.pixels.data && overlap(layer.x, layer.y, layer.pixels.width, layer.pixels.height, in)) {
            std::lock_guard layerGuard(layer.lock);
            if (!CropImage16(layer.pixels, in) || (layer.mask.data && !CropPlane8(layer.mask, in))) {
                keepCurrentValid();
                return 0;
            }
            layer.x = std::max(0, layer.x - r.left);
            layer.y = std::max(0, layer.y - r.top);
            ++i;
        } else {
            layer.FreePixels();
            doc.layers.erase(doc.layers.begin() + long(i));
        }
    }
    keepCurrentValid();
    if (doc.layers.empty())
        return 0;

    if (doc.selection.data) {
        bool keep = CropPlane8(doc.selection, r) != 0;
        if (keep)
            keep = std::any_of(doc.selection.data, doc.selection.data + doc.selection.byteSize,
                               [](uint8_t v) { return v != 0; });
        if (!keep) {
            FreePlane8(doc.selection);
            doc.selection = Plane8{};
        }
    }
    for (size_t i = 0; i < doc.masks.size();) {
        MaskItem& m = *doc.masks[i];
        ZDRect in;
        if (m.plane.data && overlap(m.x, m.y, m.plane.width, m.plane.height, in)) {
            if (!CropPlane8(m.plane, in))
                return 0;
            m.x = std::max(0, m.x - r.left);
            m.y = std::max(0, m.y - r.top);
            ++i;
        } else {
            doc.masks.erase(doc.masks.begin() + long(i));
        }
    }
    doc.width = r.right - r.left + 1;
    doc.height = r.bottom - r.top + 1;
    return 1;
}

int ResizeCanvas(CZDDoc& doc, int newWidth, int newHeight, int xOffset, int yOffset, uint64_t fillPixel)
{
    if (newWidth <= 0 || newHeight <= 0 || doc.layers.empty())
        return 0;
    std::lock_guard guard(doc.lock);
    if (newWidth == doc.width && newHeight == doc.height)
        return 1;
    CZDLayer& bg = *doc.layers[0];
    ImageBuffer16 out;
    if (!AllocImage16(out, newWidth, newHeight))
        return 0;
    const uint16_t fill[4] = {uint16_t(fillPixel), uint16_t(fillPixel >> 16), uint16_t(fillPixel >> 32),
                              uint16_t(fillPixel >> 48)};
    Plane8 sel;
    if (doc.selection.data && !AllocPlane8(sel, newWidth, newHeight)) {
        FreeImageBuffer(out);
        return 0;
    }
    for (int y = 0; y < newHeight; ++y)
        for (int x = 0; x < newWidth; ++x) {
            const int64_t sx = int64_t(x) - xOffset, sy = int64_t(y) - yOffset;
            uint16_t* d = out.data + (size_t(y) * newWidth + x) * 4;
            const bool inBg = bg.pixels.data && sx >= 0 && sy >= 0 && sx < bg.pixels.width && sy < bg.pixels.height;
            std::memcpy(d, inBg ? bg.pixels.data + (size_t(sy) * bg.pixels.width + size_t(sx)) * 4 : fill, 8);
            if (sel.data) {
                const bool inSel = sx >= 0 && sy >= 0 && sx < doc.selection.width && sy < doc.selection.height;
                sel.data[size_t(y) * newWidth + x] =
                    inSel ? doc.selection.data[size_t(sy) * doc.selection.width + size_t(sx)] : 0;
            }
        }
    {
        std::lock_guard layerGuard(bg.lock);
        FreeImageBuffer(bg.pixels);
        bg.pixels = out;
    }
    for (size_t i = 1; i < doc.layers.size(); ++i) {
        doc.layers[i]->x += xOffset;
        doc.layers[i]->y += yOffset;
    }
    for (auto& m : doc.masks) {
        m->x += xOffset;
        m->y += yOffset;
    }
    if (sel.data) {
        FreePlane8(doc.selection);
        doc.selection = sel;
    }
    doc.width = newWidth;
    doc.height = newHeight;
    doc.modified = 1;
    return 1;
}

int QuadCrop::ApplyToDocument(CZDDoc& doc, const int32_t (&points)[4][2])
{
    std::memcpy(corners, points, sizeof corners);
    auto dist = [&](int a, int b) {
        return std::hypot(double(corners[a][0] - corners[b][0]), double(corners[a][1] - corners[b][1]));
    };
    const int w = int((dist(0, 1) + dist(2, 3)) / 2 + 0.5);
    const int h = int((dist(1, 3) + dist(0, 2)) / 2 + 0.5);
    CZDLayer* layer = doc.GetCurrentLayer();
    if (w <= 4 || h <= 4 || !layer || !layer->pixels.data || layer->pixels.width < 2 || layer->pixels.height < 2)
        return 0;
    outputWidth = w;
    outputHeight = h;
    for (int axis = 0; axis < 2; ++axis) {
        const double p0 = corners[0][axis], p1 = corners[1][axis], p2 = corners[2][axis], p3 = corners[3][axis];
        coefficients[4 * axis + 0] = p0;
        coefficients[4 * axis + 1] = p1 - p0;
        coefficients[4 * axis + 2] = p2 - p0;
        coefficients[4 * axis + 3] = p0 - p1 - p2 + p3;
    }
    const ImageBuffer16& src = layer->pixels;
    ImageBuffer16 out;
    if (!AllocImage16(out, w, h))
        return 0;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const double u = double(i) / w, v = double(j) / h;
            double s[2];
            for (int axis = 0; axis < 2; ++axis) {
                const double* c = coefficients + 4 * axis;
                s[axis] = std::max(0.0, c[0] + c[1] * u + c[2] * v + c[3] * u * v);
            }
            const int ix = int(std::min<double>(std::trunc(s[0]), src.width - 2));
            const int iy = int(std::min<double>(std::trunc(s[1]), src.height - 2));
            const uint32_t wx = uint32_t((1 - (s[0] - std::trunc(s[0]))) * 256);
            const uint32_t wy = uint32_t((1 - (s[1] - std::trunc(s[1]))) * 256);
            const uint16_t* tl = src.data + (size_t(iy) * src.width + ix) * 4;
            const uint16_t* tr = tl + 4;
            const uint16_t* bl = tl + size_t(src.width) * 4;
            const uint16_t* br = bl + 4;
            uint16_t* d = out.data + (size_t(j) * w + i) * 4;
            for (int c = 0; c < 3; ++c) {
                const uint32_t top = (tl[c] * wx + tr[c] * (256 - wx)) >> 8;
                const uint32_t bottom = (bl[c] * wx + br[c] * (256 - wx)) >> 8;
                d[c] = uint16_t((top * wy + bottom * (256 - wy)) >> 8);
            }
            d[3] = 0xFFFF;
        }
    std::lock_guard guard(doc.lock);
    {
        std::lock_guard layerGuard(layer->lock);
        FreeImageBuffer(layer->pixels);
        layer->pixels = out;
    }
    doc.width = w;
    doc.height = h;
    FreePlane8(doc.selection);
    doc.selection = Plane8{};
    doc.masks.clear();
    doc.modified = 1;
    return 1;
}

int32_t FillPolygonMask(const PolygonPoint* points, int count, Plane8& plane)
{
    if (!points || count < 4 || !plane.data || points[0].x != points[count - 1].x ||
        points[0].y != points[count - 1].y)
        return kFillPolygonFailed;
    struct Edge { double x0, y0, x1, y1; };
    std::vector<Edge> edges;
    for (int i = 0; i + 1 < count; ++i) {
        PolygonPoint a = points[i], b = points[i + 1];
        if (a.y > b.y)
            std::swap(a, b);
        edges.push_back({double(a.x), double(a.y), double(b.x), double(b.y)});
    }
    std::memset(plane.data, 0, size_t(plane.width) * plane.height);
    const double offsets[3] = {-0.33, 0.0, 0.33};
    std::vector<double> crossings[3];
    for (int y = 0; y < plane.height; ++y) {
        double spanMin = 1e300, spanMax = -1e300;
        for (int k = 0; k < 3; ++k) {
            const double s = y + offsets[k];
            crossings[k].clear();
            for (const Edge& e : edges) {
                if (!(e.y0 <= s && s < e.y1))
                    continue;
                crossings[k].push_back(e.x0 + (e.x1 - e.x0) * (s - e.y0) / (e.y1 - e.y0));
                spanMin = std::min({spanMin, e.x0, e.x1});
                spanMax = std::max({spanMax, e.x0, e.x1});
            }
            std::sort(crossings[k].begin(), crossings[k].end());
        }
        if (spanMin > spanMax)
            continue;
        const int x0 = int(std::max(0.0, std::floor(spanMin)));
        const int x1 = int(std::min<double>(plane.width, std::floor(spanMax) + 1));
        uint8_t* row = plane.data + size_t(y) * plane.width;
        for (int x = x0; x < x1; ++x) {
            int inside = 0;
            for (int k = 0; k < 3; ++k)
                for (double dx : offsets) {
                    const double sx = x + dx;
                    const auto left = std::upper_bound(crossings[k].begin(), crossings[k].end(), sx) - crossings[k].begin();
                    inside += int(left & 1);
                }
            row[x] = inside == 0 ? 0 : uint8_t(28 * inside + 3);
        }
    }
    return 0;
}
