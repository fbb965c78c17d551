// The LZW side of GIF image data: a tolerant decoder for files from anywhere, and the
// run-length coder the GIF writer uses (miGIF: valid LZW codes, no dictionary kept).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Decodes the codes of one image (the sub-block payloads already joined) into out, at most
// outSize indices. Returns the number of indices produced, or -1 when the minimum code size
// is outside 2..9. Running out of data counts as the end code; a damaged stream simply stops.
long GifLzwDecode(const uint8_t* data, size_t size, int minCodeSize, uint8_t* out, size_t outSize);

// miGIF run-length coder. Pixels go in one at a time; Finish() closes the code stream and
// returns the image data as sub-blocks (size byte + up to 255 bytes each), without the
// terminating zero-length block.
class GifRunLengthCoder {
  public:
    explicit GifRunLengthCoder(int startWidth);
    void Pixel(unsigned value);
    std::vector<uint8_t> Finish();

  private:
    void Emit(unsigned code);
    void Reset();
    void WritePlain(unsigned code);
    void FlushRun();
    void FromClear(unsigned count);
    void ClearOrRepeat(unsigned count);
    void WithTable(unsigned count);
    void RestoreClearLimit();
    unsigned Triangle(unsigned count) const;

    unsigned clearCode_, endCode_, firstRunCode_;
    unsigned startWidth_, startBump_, startClearLimit_, largestCount_;
    unsigned width_ = 0, bump_ = 0, clearLimit_ = 0, count_ = 0;
    unsigned tableLength_ = 0, tableValue_ = 0;
    bool justCleared_ = true;
    unsigned runValue_ = 0, runLength_ = 0;
    uint32_t bitBuffer_ = 0;
    unsigned bitCount_ = 0;
    std::vector<uint8_t> block_;
    std::vector<uint8_t> out_;
};
