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

// A metafile with more records than this is refused before it is played.
constexpr uint64_t kMaxMetafileRecords = 1'000'000;
// The drawing a metafile may ask of the player, in pixel operations of gd (the costliest kind,
// rounded rectangles, take about 6 ns each: under half a second for the whole budget); a file
// that asks for more is refused rather than keep the program busy. A full 4000 x 4000 fill is
// 16 million operations.
constexpr uint64_t kMaxMetafileWork = uint64_t(1) << 26;

// Plays a placeable Windows metafile (its 22-byte placeable header first) stretched over a bitmap of
// width x height pixels filled with background first. On success bgr holds the picture as
// top-down rows of 3-byte blue, green, red pixels with no padding. Enhanced metafiles are not
// understood here and fail.
bool RenderWindowsMetafile(const uint8_t* data, size_t size, int width, int height, uint32_t background,
                           std::vector<uint8_t>& bgr);

} // namespace platform
