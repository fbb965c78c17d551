#include "raster/GifLzw.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<uint8_t> JoinSubBlocks(const std::vector<uint8_t>& blocks)
{
  std::vector<uint8_t> data;
  size_t pos = 0;
  while (pos < blocks.size()) {
    size_t n = blocks[pos++];
    EXPECT_GT(n, 0u);
    EXPECT_LE(pos + n, blocks.size());
    data.insert(data.end(), blocks.begin() + pos, blocks.begin() + pos + n);
    pos += n;
  }
  return data;
}

std::vector<uint8_t> RoundTrip(const std::vector<uint8_t>& pixels, int bits, size_t* encodedSize = nullptr)
{
  const int minCode = bits < 2 ? 2 : bits;
  GifRunLengthCoder coder(minCode + 1);
  for (uint8_t p : pixels)
    coder.Pixel(p);
  std::vector<uint8_t> data = JoinSubBlocks(coder.Finish());
  if (encodedSize)
    *encodedSize = data.size();
  std::vector<uint8_t> back(pixels.size() + 16, 0xEE);
  long n = GifLzwDecode(data.data(), data.size(), minCode, back.data(), back.size());
  back.resize(n < 0 ? 0 : n);
  return back;
}

} // namespace

// The classic two-colour example: 10 x 10 picture, code size 2.
TEST(GifLzw, DecodesKnownStreamIncludingKwKwK)
{
  const uint8_t data[] = {0x8C, 0x2D, 0x99, 0x87, 0x2A, 0x1C, 0xDC, 0x33, 0xA0, 0x02, 0x75,
                          0xEC, 0x95, 0xFA, 0xA8, 0xDE, 0x60, 0x8C, 0x04, 0x91, 0x4C, 0x01};
  const char* rows[] = {"1111122222", "1111122222", "1111122222", "1110000222", "1110000222",
                        "2220000111", "2220000111", "2222211111", "2222211111", "2222211111"};
  uint8_t out[100];
  ASSERT_EQ(GifLzwDecode(data, sizeof data, 2, out, sizeof out), 100);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(out[y * 10 + x], rows[y][x] - '0') << x << "," << y;
}

TEST(GifLzw, RejectsBadCodeSizeAndSurvivesGarbage)
{
  uint8_t out[64];
  EXPECT_EQ(GifLzwDecode(nullptr, 0, 1, out, sizeof out), -1);
  EXPECT_EQ(GifLzwDecode(nullptr, 0, 10, out, sizeof out), -1);
  EXPECT_EQ(GifLzwDecode(nullptr, 0, 8, out, sizeof out), 0);
  std::mt19937 rng(7);
  std::vector<uint8_t> junk(4000);
  for (auto& b : junk)
    b = static_cast<uint8_t>(rng());
  std::vector<uint8_t> big(100000);
  for (int code = 2; code <= 9; ++code)
    EXPECT_GE(GifLzwDecode(junk.data(), junk.size(), code, big.data(), big.size()), 0);
}

TEST(GifLzw, LongRunCodesCompactlyAndDecodesBack)
{
  std::vector<uint8_t> run(1000, 5);
  size_t encoded = 0;
  EXPECT_EQ(RoundTrip(run, 8, &encoded), run);
  // 1000 plain 9-bit codes would need 1125 bytes.
  EXPECT_LT(encoded, 120u);
}

TEST(GifLzw, RoundTripsMixedDataAtEveryDepth)
{
  std::mt19937 rng(42);
  for (int bits : {1, 2, 4, 8}) {
    for (size_t size : {1u, 2u, 17u, 255u, 5000u, 70000u}) {
      std::vector<uint8_t> px(size);
      // Runs of random lengths so both run codes and plain codes, and many clears, occur.
      for (size_t i = 0; i < size;) {
        uint8_t v = static_cast<uint8_t>(rng() & ((1u << bits) - 1));
        size_t len = 1 + rng() % (rng() % 4 == 0 ? 300 : 4);
        for (size_t k = 0; k < len && i < size; ++k)
          px[i++] = v;
      }
      EXPECT_EQ(RoundTrip(px, bits), px) << bits << " bits, " << size << " pixels";
    }
  }
}
