// Camera RAW files through LibRaw: the full 16-bit decode for editing, the embedded preview
// for thumbnails and quick loads, and the shooting data. The callers hold RawDecoderLock
// around every call, so at most one LibRaw object exists at a time.
#pragma once

#include "platform/Sync.h"

#include <cstddef>
#include <cstdint>

struct ImageBuffer16;
class ImageInfo;

extern platform::CriticalSection RawDecoderLock;

// Largest file LibRaw reads into memory.
constexpr int64_t kRawMaxBufferBytes = 262'144'000;

// The RAW preview handed over by RawThumbnail. Kind 1: JPEG bytes. Kind 0 or 2: bitmap laid
// out as u16 width, u16 height (little-endian), then width x height R, G, B triples, top row
// first. The caller frees data with delete[] (inside RawDecoderLock).
enum RawPreviewKind : int { kRawPreviewOther = 0, kRawPreviewJpeg = 1, kRawPreviewBitmap = 2 };

// Non-zero when the extension (from the last dot, any case) is one LibRaw is given.
int IsLibRawExtension(const char* path);

// Paths are UTF-8 (the file system's own encoding on Linux).
int DecodeRaw16(const char* path, ImageBuffer16& image16);
// flip (when given) receives how the picture, and so its preview, is turned to stand upright
// (LibRaw's flip code: bit 2 swaps rows and columns, bit 1 turns rows over, bit 0 columns).
uint8_t* RawThumbnail(const char* path, uint32_t& length, int& kind, int* flip = nullptr);
int ReadRawInfo(const char* path, ImageInfo& info);
// The size DecodeRaw16 would deliver (upright), from the file's header without unpacking.
int ReadRawSize(const char* path, int& width, int& height);

// Copies a LibRaw text byte by byte into a wide buffer of 1024 units (1023 and a terminator).
void CopyTextToWide(char16_t* wide, const char* narrow);

// truncate(value x 10000 + 0.5) / 10000, the four-decimal fraction the shooting data keeps.
int32_t RawFraction10000(double value);
