// Star filter: finds small bright highlights and adds a star-shaped ray pattern in each
// highlight's colour around it.
#pragma once

#include "algorithms/Algorithm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// In memory only (32 bytes, no size word). The ray shape is held apart from the record: the
// reference slot stays 0 and SetRayShape gives the plane.
struct StarlightParams {
    int32_t radius = 32;    // 1..64: the pattern is 2R + 1 pixels square
    int32_t amount = 50;    // rays are added at amount / 10
    int32_t density = 50;   // 0..100
    int32_t reserved = 0;
    double rotation = 0;    // radians
    int32_t colourMode = 0; // 0 highlight colour, 1 rainbow rings
    uint32_t shapeSlot = 0;
};
static_assert(sizeof(StarlightParams) == 32);
static_assert(offsetof(StarlightParams, rotation) == 16);
static_assert(offsetof(StarlightParams, colourMode) == 24);

struct StarHighlight {
    uint16_t x, y; // source pixels
    uint8_t strength;
    uint8_t unused;
};
static_assert(sizeof(StarHighlight) == 6);

// 8-bit HSL (0..255 each) of a colour and back.
void RgbColourToHsl8(int r, int g, int b, int& h, int& s, int& l);
void HslToRgbColour8(int h, int s, int l, int& r, int& g, int& b);

class CStarlight : public CAlgorithm {
public:
    ~CStarlight() override;
    int Run() override;
    void SetRayShape(const Plane8* shape) { m_shape = shape; }

    int FindHighlights(const ImageBuffer16& work);
    int DrawStars(ImageBuffer16& rays);
    void StampStar(ImageBuffer16& rays, int x, int y, int strength, const ImageBuffer8& pattern);
    void AddRays(const ImageBuffer16& rays);

    static int SuppressionRadius(int density) { return (100 - density) / 4 + 5; }
    // Rainbow ring hue of a pattern offset.
    static int RingHue(int dx, int dy, int radius);

    StarlightParams m_params;
    std::vector<StarHighlight> m_highlights;
    ImageBuffer8 m_pattern{}; // the last star pattern, 2R + 1 square

private:
    const Plane8* m_shape = nullptr;
};
