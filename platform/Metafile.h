// Playing Windows metafiles into a bitmap (the stand-in for the platform's metafile playback).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// Logical resolution a metafile is rendered at: the 96 pixels per inch of a standard screen.
constexpr int kMetafileScreenDpi = 96;

// The system window colour the picture is drawn on (0x00RRGGBB).
constexpr uint32_t kWindowColour = 0x00FFFFFF;

// Plays a placeable Windows metafile (its 22-byte placeable header first) stretched over a bitmap of
// width x height pixels filled with background first. On success bgr holds the picture as
// top-down rows of 3-byte blue, green, red pixels with no padding. Enhanced metafiles are not
// understood here and fail.
bool RenderWindowsMetafile(const uint8_t* data, size_t size, int width, int height, uint32_t background,
                           std::vector<uint8_t>& bgr);

} // namespace platform
