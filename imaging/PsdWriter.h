// Writes one layer as a Photoshop file with a single layer named "Layer" and the same picture
// as merged image, so that other editors open it with its transparency.
#pragma once

#include <cstdint>
#include <string>

struct ImageBuffer16;

class CPSDLayerSave {
public:
    virtual ~CPSDLayerSave() = default;
    // 1 written, 0 failed (nothing is left behind on failure).
    int SaveFile(const std::u16string& path, const ImageBuffer16& image);
};

// The file from 8-bit B, G, R, A pixels; what SaveFile writes after the sRGB conversion.
int WritePsdLayerFile(const std::u16string& path, const uint8_t* bgra, uint32_t width, uint32_t height);
