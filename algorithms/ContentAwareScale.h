// Content-aware scaling by seam carving: the removal order of every pixel is worked out once,
// on a half-resolution luminance copy, for vertical and for horizontal paths; each resize then
// only reads that order and averages the removed pixels into their kept neighbours.
#pragma once

#include "algorithms/Algorithm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct ContentAwareScaleParams {
    uint16_t size = 24;
    uint8_t padding[2] = {};
    int32_t width = 0;        // target width
    int32_t height = 0;       // target height
    int32_t prepareOnly = 0;  // nonzero: only compute the seam maps
    uint32_t protectMask = 0; // a 32-bit run-time reference: not used; see SetProtectMask
    int32_t reserved = 0;
};
static_assert(sizeof(ContentAwareScaleParams) == 24);
static_assert(offsetof(ContentAwareScaleParams, width) == 4 && offsetof(ContentAwareScaleParams, protectMask) == 16);

class CContentAwareScale : public CAlgorithm {
public:
    int Run() override;

    // A full-size plane whose values 0..255 protect pixels from removal; null = none. Kept by
    // the caller for the length of the run.
    void SetProtectMask(const Plane8* mask) { m_protect = mask; }
    void FreeSeamMaps();

    int Prepare(const ImageBuffer16& source, int width, int height);
    int Resize(const ImageBuffer16& source, ImageBuffer16& destination);

    // Removal order per half-resolution pixel (w2 x h2, row-major); 0 = never removed.
    std::vector<uint16_t> m_verticalMap, m_horizontalMap;
    bool m_verticalComplete = false, m_horizontalComplete = false;
    int m_w2 = 0, m_h2 = 0;
    ContentAwareScaleParams m_params;

private:
    // Removes paths running down a w x h plane until width <= stopWidth; progress runs from
    // progressBase - 45 up to progressBase. False when cancelled or out of memory.
    // A, when not empty, is the half-resolution protection, kept with the pixels it protects.
    bool BuildSeams(std::vector<uint8_t> L, std::vector<uint8_t> E, std::vector<uint8_t> A, int w, int h,
                    int stopWidth, std::vector<uint16_t>& map, int progressBase);

    const Plane8* m_protect = nullptr;
};
