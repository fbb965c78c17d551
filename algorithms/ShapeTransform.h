// Free transform: maps a whole source picture into a convex quadrilateral of a new transparent
// picture. Each destination pixel is placed by two fractions, across and down the
// quadrilateral, measured as angles at the vanishing points of opposite edges (or as distance
// ratios when the edges are parallel) and bent by a power so the diagonals' crossing samples
// the source centre. Not a true homography.
#pragma once

#include "algorithms/Algorithm.h"

#include <cstddef>
#include <cstdint>

// Lives in memory only; the tool's history step carries no payload.
struct ShapeTransformParams {
    uint16_t size = 168;
    uint8_t reserved0[2] = {};
    int32_t x0 = 0, y0 = 0; // where the source's top-left corner goes
    int32_t x1 = 0, y1 = 0; // top-right
    int32_t x2 = 0, y2 = 0; // bottom-left
    int32_t x3 = 0, y3 = 0; // bottom-right
    uint8_t reserved1[116] = {};
    int32_t outputWidth = 0;
    int32_t outputHeight = 0;
    uint8_t step = 1; // 1 = final quality, n >= 2 = one sample per n x n block
    uint8_t reserved2[7] = {};
};
static_assert(sizeof(ShapeTransformParams) == 168);
static_assert(offsetof(ShapeTransformParams, x0) == 4 && offsetof(ShapeTransformParams, x3) == 28 &&
              offsetof(ShapeTransformParams, outputWidth) == 152 &&
              offsetof(ShapeTransformParams, step) == 160);

// Size 168, bytes 4 to 51 zero; the rest is left as it was.
void InitShapeTransformParams(ShapeTransformParams& params);

struct QuadPoint {
    int x, y;
    bool operator==(const QuadPoint&) const = default;
};
constexpr QuadPoint kNoCrossing{999999, 999999};

// Crossing of A1 x + B1 y + C1 = 0 and A2 x + B2 y + C2 = 0, rounded by adding one half and
// truncating; kNoCrossing for (nearly) parallel lines.
QuadPoint IntersectLines(double A1, double B1, double C1, double A2, double B2, double C2);

struct QuadLine {
    double A = 0, B = 0, C = 0;
};

class CShapeTransform : public CAlgorithm {
public:
    CShapeTransform();

    int Run() override;
    int TransformImage(const ImageBuffer16& source, ImageBuffer16& destination,
                       const ShapeTransformParams& params);
    // Working state from the corners and output size; 0 when the quadrilateral cannot be drawn.
    int PrepareQuad();
    // Fills every pixel of a destination that already has the output size.
    bool RenderQuad(const ImageBuffer16& source, ImageBuffer16& destination);
    // One pixel at a destination position: mode 0 bilinear, 1 nearest. Outside the
    // quadrilateral: transparent black and false.
    bool SampleAt(const ImageBuffer16& source, int mode, double x, double y, uint16_t* out) const;

    ShapeTransformParams m_params;
    QuadLine m_top, m_right, m_bottom, m_left;
    QuadPoint m_M{0, 0}, m_V1{0, 0}, m_V2{0, 0};
    bool m_v1Usable = false, m_v2Usable = false;
    double m_v1Distance = 0, m_v2Distance = 0;
    double m_v1Spread = 0, m_v2Spread = 0;
    double m_pV = 1, m_pH = 1;

private:
    // Signed distance to an edge as a x + b y + c (unit normal), and the spread measure at a
    // vanishing point through the unit direction towards corner 0; both fixed per quadrilateral.
    struct EdgeDistance {
        double a = 0, b = 0, c = 0;
        double operator()(double x, double y) const { return a * x + b * y + c; }
    };
    struct Vanishing {
        double x = 0, y = 0, ux = 0, uy = 0;
        double SpreadTo(double px, double py) const;
    };
    EdgeDistance m_dTop, m_dRight, m_dBottom, m_dLeft;
    Vanishing m_vanV, m_vanH;
};
