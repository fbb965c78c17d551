// How the canvas makes its picture: the visible region of the document composed over a
// checkerboard at screen size, layer by layer through precomputed column and row tables
// (nearest sample at zoom 1 and above, a 2 x 2 average below), each layer weighted by its
// alpha and opacity and blended by its mode; the marching selection outline and the small
// live histogram. Pure pixel work: the canvas (EditView) decides when and under which locks.
#pragma once

#include "imaging/Document.h"
#include "imaging/ImageBuffer.h"

#include <cstdint>
#include <vector>

// The checkerboard the composition starts from: 8 x 8 squares, light where x / 8 + y / 8 is
// even.
inline constexpr uint16_t kCheckerLight = 0xF0F0;
inline constexpr uint16_t kCheckerDark = 0xA0A0;
inline constexpr int kCheckerSquare = 8;

// One entry of a column or row table: the layer column (row) sampled at that screen column
// (row) and its neighbour for the 2 x 2 average (itself at the layer's last column); first is
// -1 where the screen column lies outside the layer.
struct SamplePair {
    int32_t first = -1;
    int32_t second = -1;
};

// The visible region of the document in image coordinates (right and bottom exclusive).
struct VisibleRegion {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
};

// Table for `count` screen columns (or rows) showing image columns [visibleStart, visibleEnd)
// of a layer that starts at `layerOffset` and is `layerSize` wide: screen column x samples
// floor(x * (visibleEnd - visibleStart) / count + visibleStart - layerOffset).
void BuildSampleTable(std::vector<SamplePair>& table, int count, int visibleStart, int visibleEnd, int layerOffset,
                      int layerSize);

// Rows [firstRow, endRow) of the composite become the checkerboard, alpha opaque.
void FillCheckerboard(ImageBuffer16& composite, int firstRow, int endRow);

// One layer into rows [firstRow, endRow) of the composite. `average` selects the 2 x 2 average
// (zoom below 1). Tables as BuildSampleTable made them for the composite's width and height.
void CompositeLayerRows(ImageBuffer16& composite, const CZDLayer& layer, const SamplePair* columns,
                        const SamplePair* rows, bool average, int firstRow, int endRow);

// The whole of one layer: tables, then every row (on the row-range helpers when large). The
// caller holds the layer's lock. 0 when the layer has no pixels or the composite is empty.
int ComposeLayerIntoView(ImageBuffer16& composite, const CZDLayer& layer, const VisibleRegion& visible,
                         double zoom);

// The blend of one pixel as the view computes it (B, G, R of out; out's alpha is left alone),
// the same values as BlendChannels16.
void BlendViewPixel(const uint16_t* base, const uint16_t* top, uint16_t* out, uint8_t mode);

// ---- selection outline ----

// The outline plane at the picture rectangle's size: 1 where the nearest-sampled selection value
// is at least level / 2 and the pixel lies on the plane's edge or next to (left, right, above,
// below) a value under level / 2. The level is the selection's highest value; below 2 the plane
// is emptied (an almost transparent selection shows no outline). Returns the level.
int BuildOutlinePlane(const Plane8& selection, const VisibleRegion& visible, double zoom, int width, int height,
                      Plane8& outline);

// Mixes the outline's pixels into `target` at (left, top): diagonal stripes four pixels wide,
// towards white where ((x + y + phase) / 4) is even and towards black where it is odd, with
// strength `level`. Pixels outside the target are skipped.
void DrawOutlineStripes(ImageBuffer8& target, int left, int top, const Plane8& outline, int level, int phase);

// ---- histogram ----

// The top strip's live histogram of a layer picture: `height` rows of 128 columns; empty (all
// zero) when fewer than 1280 pixels with alpha count. 0 when the picture cannot be allocated.
int BuildHistogramPicture(const ImageBuffer16& layer, int height, ImageBuffer8& out);
