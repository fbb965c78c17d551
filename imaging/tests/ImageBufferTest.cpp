#include "imaging/ImageBuffer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

void FillPattern(ImageBuffer8& image)
{
    for (uint32_t i = 0; i < image.byteSize; ++i)
        image.data[i] = uint8_t(i * 7 + 3);
}

uint32_t PixelAt(const ImageBuffer8& image, int x, int y)
{
    const uint8_t* p = image.data + (size_t(y) * image.width + x) * 4;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void SetPixel(ImageBuffer8& image, int x, int y, uint32_t v)
{
    uint8_t* p = image.data + (size_t(y) * image.width + x) * 4;
    for (int c = 0; c < 4; ++c)
        p[c] = uint8_t(v >> (8 * c));
}

template <class Record>
void ExpectAligned(const Record& r)
{
    const auto raw = reinterpret_cast<uintptr_t>(r.raw);
    const auto data = reinterpret_cast<uintptr_t>(r.data);
    EXPECT_EQ(data % 16, 0u);
    EXPECT_GT(data, raw);
    EXPECT_LE(data - raw, 16u);
}

} // namespace

TEST(ImageBuffer, AllocSetsFieldsAndAlignsEveryKind)
{
    struct Case { int w, h; };
    for (Case c : {Case{3, 2}, Case{1, 1}, Case{17, 5}, Case{640, 1}}) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        ImageBuffer8 i8;
        ImageBuffer16 i16;
        Plane8 p8;
        Plane16 p16;
        ASSERT_EQ(AllocImage8(i8, c.w, c.h), 1);
        ASSERT_EQ(AllocImage16(i16, c.w, c.h), 1);
        ASSERT_EQ(AllocPlane8(p8, c.w, c.h), 1);
        ASSERT_EQ(AllocPlane16(p16, c.w, c.h), 1);
        const uint32_t n = uint32_t(c.w * c.h);
        EXPECT_EQ(i8.byteSize, n * 4);
        EXPECT_EQ(i8.pixelCount, n);
        EXPECT_EQ(i16.byteSize, n * 8);
        EXPECT_EQ(i16.pixelCount, n);
        EXPECT_EQ(p8.byteSize, n);
        EXPECT_EQ(p16.byteSize, n * 2);
        EXPECT_EQ(p16.pixelCount, n);
        ExpectAligned(i8);
        ExpectAligned(i16);
        ExpectAligned(p8);
        ExpectAligned(p16);
        // Write the last byte of each: ASan shows an allocation that is too short.
        i8.data[i8.byteSize - 1] = 1;
        reinterpret_cast<uint8_t*>(i16.data)[i16.byteSize - 1] = 1;
        p8.data[p8.byteSize - 1] = 1;
        p16.data[p16.pixelCount - 1] = 1;
        FreeImageBuffer(i8);
        FreeImageBuffer(i16);
        FreePlane8(p8);
        FreePlane16(p16);
        EXPECT_EQ(i8.data, nullptr);
        EXPECT_EQ(i8.width, 0);
        EXPECT_EQ(i16.pixelCount, 0u);
        EXPECT_EQ(p8.data, nullptr);
        EXPECT_EQ(p8.width, c.w);  // a freed plane keeps its size
    }
}

TEST(ImageBuffer, SameSizeKeepsMemoryAndContentsOtherSizeReallocates)
{
    ImageBuffer8 image;
    ASSERT_EQ(AllocImage8(image, 3, 2), 1);
    FillPattern(image);
    uint8_t* before = image.data;
    ASSERT_EQ(AllocImage8(image, 3, 2), 1);
    EXPECT_EQ(image.data, before);
    EXPECT_EQ(image.data[5], uint8_t(5 * 7 + 3));

    ASSERT_EQ(AllocImage8(image, 2, 3), 1);  // same byte count, other shape: a new allocation
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 3);
    ExpectAligned(image);
    FreeImageBuffer(image);

    Plane8 plane;
    ASSERT_EQ(AllocPlane8(plane, 4, 4), 1);
    plane.data[3] = 99;
    ASSERT_EQ(AllocPlane8(plane, 4, 4), 1);
    EXPECT_EQ(plane.data[3], 99);
    FreePlane8(plane);
    ASSERT_EQ(AllocPlane8(plane, 4, 4), 1);  // freed plane with its old size: allocates again
    EXPECT_NE(plane.data, nullptr);
    FreePlane8(plane);
}

TEST(ImageBuffer, RefusedSizesLeaveAnEmptyRecord)
{
    struct Case { int w, h; const char* why; };
    const Case cases[] = {
        {-1, 10, "negative width"},
        {10, -1, "negative height"},
        {65536, 65536, "byte count beyond 32 bits"},
        {32768, 32768, "2^32 bytes: one past the 32-bit byte count"},
        {INT32_MAX, INT32_MAX, "product overflows 32-bit arithmetic"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ImageBuffer8 i8;
        ASSERT_EQ(AllocImage8(i8, 2, 2), 1);  // a record that held pixels loses them
        EXPECT_EQ(AllocImage8(i8, c.w, c.h), 0);
        EXPECT_EQ(i8.raw, nullptr);
        EXPECT_EQ(i8.data, nullptr);
        EXPECT_EQ(i8.width, 0);
        EXPECT_EQ(i8.height, 0);
        EXPECT_EQ(i8.byteSize, 0u);
        EXPECT_EQ(i8.pixelCount, 0u);
        ImageBuffer16 i16;
        EXPECT_EQ(AllocImage16(i16, c.w, c.h), 0);
        EXPECT_EQ(i16.data, nullptr);
    }
    Plane16 p16;
    EXPECT_EQ(AllocPlane16(p16, 65536, 65536), 0);
    EXPECT_EQ(p16.data, nullptr);
    // 16-bit images hit the 32-bit byte count at half the pixels of 8-bit ones.
    ImageBuffer16 big;
    EXPECT_EQ(AllocImage16(big, 32768, 16384), 0);
    EXPECT_EQ(AllocNoThrow(-5), nullptr);
    EXPECT_EQ(AllocNoThrow<uint64_t>(INT64_MAX / 4), nullptr);
}

TEST(ImageBuffer, CopyReusesMemoryOfEqualByteSize)
{
    ImageBuffer8 source, destination;
    ASSERT_EQ(AllocImage8(source, 2, 3), 1);
    FillPattern(source);
    ASSERT_EQ(AllocImage8(destination, 3, 2), 1);
    uint8_t* memory = destination.data;
    ASSERT_EQ(CopyImage8(destination, source), 1);
    EXPECT_EQ(destination.data, memory);
    EXPECT_EQ(destination.width, 2);
    EXPECT_EQ(destination.height, 3);
    EXPECT_EQ(destination.pixelCount, 6u);
    EXPECT_EQ(0, std::memcmp(destination.data, source.data, source.byteSize));

    // Another byte size reallocates.
    ImageBuffer8 small;
    ASSERT_EQ(AllocImage8(small, 1, 1), 1);
    ASSERT_EQ(CopyImage8(small, source), 1);
    EXPECT_EQ(small.byteSize, source.byteSize);
    EXPECT_EQ(0, std::memcmp(small.data, source.data, source.byteSize));

    // An empty source fails and leaves the destination alone.
    ImageBuffer8 empty;
    EXPECT_EQ(CopyImage8(destination, empty), 0);
    EXPECT_EQ(destination.data, memory);
    EXPECT_EQ(destination.width, 2);

    ImageBuffer16 s16, d16;
    ASSERT_EQ(AllocImage16(s16, 2, 2), 1);
    for (uint32_t i = 0; i < s16.pixelCount * 4; ++i)
        s16.data[i] = uint16_t(i * 4099);
    ASSERT_EQ(CopyImage16(d16, s16), 1);
    EXPECT_EQ(0, std::memcmp(d16.data, s16.data, s16.byteSize));
    EXPECT_EQ(CopyImage16(d16, ImageBuffer16{}), 0);

    Plane8 p, q;
    ASSERT_EQ(AllocPlane8(p, 3, 1), 1);
    p.data[0] = 1; p.data[1] = 2; p.data[2] = 3;
    ASSERT_EQ(CopyPlane8(q, p), 1);
    EXPECT_EQ(q.width, 3);
    EXPECT_EQ(q.data[2], 3);

    FreeImageBuffer(source);
    FreeImageBuffer(destination);
    FreeImageBuffer(small);
    FreeImageBuffer(s16);
    FreeImageBuffer(d16);
    FreePlane8(p);
    FreePlane8(q);
}

TEST(ImageBuffer, ExtractChannel16TakesEachChannel)
{
    ImageBuffer16 image;
    ASSERT_EQ(AllocImage16(image, 3, 1), 1);
    for (int i = 0; i < 12; ++i)
        image.data[i] = uint16_t(1000 * i + 1);
    Plane16 plane;
    for (int channel = 0; channel < 4; ++channel) {
        ASSERT_EQ(ExtractChannel16(plane, image, channel), 1);
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(plane.data[x], 1000 * (4 * x + channel) + 1) << "channel " << channel;
    }
    EXPECT_EQ(ExtractChannel16(plane, image, 4), 0);
    FreePlane16(plane);
    FreeImageBuffer(image);
}

TEST(ImageBuffer, RotateRightTurnsClockwise)
{
    // 3 x 2 source:  a b c
    //                d e f
    ImageBuffer8 source, rotated;
    ASSERT_EQ(AllocImage8(source, 3, 2), 1);
    const uint32_t v[2][3] = {{'a', 'b', 'c'}, {'d', 'e', 'f'}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            SetPixel(source, x, y, v[y][x] | 0xFF000000u);
    ASSERT_EQ(RotateImage8Right(rotated, source), 1);
    ASSERT_EQ(rotated.width, 2);
    ASSERT_EQ(rotated.height, 3);
    // Clockwise:  d a
    //             e b
    //             f c
    const uint32_t expected[3][2] = {{'d', 'a'}, {'e', 'b'}, {'f', 'c'}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(PixelAt(rotated, x, y) & 0xFF, expected[y][x]) << x << "," << y;
    // In place gives the same result.
    ASSERT_EQ(RotateImage8Right(source, source), 1);
    EXPECT_EQ(0, std::memcmp(source.data, rotated.data, rotated.byteSize));
    FreeImageBuffer(source);
    FreeImageBuffer(rotated);
}

TEST(ImageBuffer, UnionAndSubtractPlanes)
{
    struct Case { uint8_t x, m, unionResult, subtractResult; };
    const Case cases[] = {
        {0, 255, 255, 0},
        {100, 255, 255, 0},
        {255, 255, 255, 0},
        {100, 0, 100, 100},     // mask 0 leaves the pixel
        {100, 128, 177, 50},    // 100 + floor(155*128/255) = 177; 100 - floor(100*128/255) = 50
        {0, 1, 1, 0},           // floor(255/255) = 1
        {254, 1, 254, 254},     // floor(1*1/255) = 0; floor(254/255) = 0
    };
    const int n = int(std::size(cases));
    Plane8 a, b, mask;
    ASSERT_EQ(AllocPlane8(a, n, 1), 1);
    ASSERT_EQ(AllocPlane8(b, n, 1), 1);
    ASSERT_EQ(AllocPlane8(mask, n, 1), 1);
    for (int i = 0; i < n; ++i) {
        a.data[i] = b.data[i] = cases[i].x;
        mask.data[i] = cases[i].m;
    }
    ASSERT_EQ(UnionPlane8(a, mask), 1);
    ASSERT_EQ(SubtractPlane8(b, mask), 1);
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(testing::Message() << "x " << int(cases[i].x) << " m " << int(cases[i].m));
        EXPECT_EQ(a.data[i], cases[i].unionResult);
        EXPECT_EQ(b.data[i], cases[i].subtractResult);
    }

    // Adding to no selection (or one of another size) makes it the mask.
    Plane8 none;
    ASSERT_EQ(UnionPlane8(none, mask), 1);
    ASSERT_NE(none.data, nullptr);
    EXPECT_EQ(0, std::memcmp(none.data, mask.data, mask.byteSize));

    // Taking away from no selection leaves no selection, not the mask.
    Plane8 empty;
    EXPECT_EQ(SubtractPlane8(empty, mask), 1);
    EXPECT_EQ(empty.data, nullptr);
    // A selection of another size is refused and left as it was.
    Plane8 other;
    ASSERT_EQ(AllocPlane8(other, 2, 2), 1);
    std::memset(other.data, 77, 4);
    EXPECT_EQ(SubtractPlane8(other, mask), 0);
    EXPECT_EQ(other.data[0], 77);

    FreePlane8(a);
    FreePlane8(b);
    FreePlane8(mask);
    FreePlane8(none);
    FreePlane8(other);
}

TEST(ImageBuffer, CopyTextBounded)
{
    struct Case { const char16_t* source; int capacity; std::u16string expected; };
    const Case cases[] = {
        {u"abcdef", 5, u"ab.."},
        {u"abc", 5, u"abc"},
        {u"abcd", 5, u"ab.."},     // capacity - 1 characters would fit, but are cut
        {u"", 5, u""},
        {nullptr, 5, u""},
        {u"abcdef", 3, u".."},
        {u"abcdef", 2, u"."},      // too small for "..": as much of it as fits
        {u"abcdef", 1, u""},
        {u"a", 2, u"."},
        {u"x", 3, u"x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "capacity " << c.capacity);
        std::vector<char16_t> buffer(size_t(c.capacity) + 4, u'#');
        CopyTextBounded(buffer.data(), c.capacity, c.source);
        EXPECT_EQ(std::u16string(buffer.data()), c.expected);
        // Nothing is written past the capacity.
        for (size_t i = size_t(c.capacity); i < buffer.size(); ++i)
            EXPECT_EQ(buffer[i], u'#');
    }
}

TEST(ImageBuffer, ImageListCopiesAndOwnsFrames)
{
    ImageBuffer8 a, empty;
    ASSERT_EQ(AllocImage8(a, 4, 2), 1);
    FillPattern(a);
    ImageList8 list;
    ASSERT_EQ(AppendImageCopy8(list, a), 1);
    ASSERT_EQ(AppendImageCopy8(list, empty), 1);  // an empty image gives an empty copy
    ASSERT_EQ(list.size(), 2u);
    EXPECT_NE(list[0]->data, a.data);
    EXPECT_EQ(0, std::memcmp(list[0]->data, a.data, a.byteSize));
    EXPECT_EQ(list[1]->data, nullptr);

    ImageList8 other;
    ASSERT_EQ(AppendImageList8(other, list), 1);
    ASSERT_EQ(AppendImageList8(other, other), 1);  // appending to itself doubles it
    ASSERT_EQ(other.size(), 4u);
    EXPECT_EQ(0, std::memcmp(other[2]->data, a.data, a.byteSize));

    // Width 2: height = 2 * 2 / 4 = 1.
    ASSERT_EQ(ResizeImageList8(other, 2, 0, 1), 1);
    EXPECT_EQ(other[0]->width, 2);
    EXPECT_EQ(other[0]->height, 1);
    EXPECT_EQ(other[2]->width, 4);  // outside [first, last)
    // An empty frame in the range is a failure, not a division by zero.
    EXPECT_EQ(ResizeImageList8(other, 2, 0, -1), 0);

    ClearImageList8(other);
    EXPECT_EQ(other.size(), 0u);
    FreeImageList8(list);
    EXPECT_EQ(list.size(), 0u);
    FreeImageBuffer(a);
}

namespace {

std::filesystem::path TempFile(const char* name)
{
    return std::filesystem::path(testing::TempDir()) / name;
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::filesystem::path& p, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace

TEST(ImageBuffer, RawImageFileLayoutAndRoundTrip)
{
    const auto path = TempFile("raw_2x1.bin");
    ImageBuffer8 image;
    ASSERT_EQ(AllocImage8(image, 2, 1), 1);
    SetPixel(image, 0, 0, 0x80030201);  // B 1, G 2, R 3, alpha 0x80 (not stored)
    SetPixel(image, 1, 0, 0x10060504);
    ASSERT_EQ(WriteRawImage8(image, path.u16string().c_str()), 1);
    const std::vector<uint8_t> expected = {2, 0, 0, 0, 1, 0, 0, 0, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(ReadAll(path), expected);

    ImageBuffer8 back;
    ASSERT_EQ(ReadRawImage8(back, path.u16string().c_str()), 1);
    EXPECT_EQ(back.width, 2);
    EXPECT_EQ(back.height, 1);
    EXPECT_EQ(PixelAt(back, 0, 0), 0xFF030201u);
    EXPECT_EQ(PixelAt(back, 1, 0), 0xFF060504u);

    ImageBuffer8 empty;
    EXPECT_EQ(WriteRawImage8(empty, path.u16string().c_str()), 0);
    EXPECT_EQ(WriteRawImage8(image, u"/nonexistent-folder/x.raw"), 0);
    FreeImageBuffer(image);
    FreeImageBuffer(back);
}

TEST(ImageBuffer, RawImageFileRejectsBadHeadersAndShortRows)
{
    struct Case { std::vector<uint8_t> bytes; const char* why; };
    const Case cases[] = {
        {{0, 0, 0, 0, 1, 0, 0, 0}, "width 0"},
        {{1, 0, 0, 0, 0, 0, 0, 0}, "height 0"},
        {{0, 0, 1, 0, 1, 0, 0, 0}, "width 65536"},
        {{1, 0, 0, 0, 0, 0, 1, 0}, "height 65536"},
        {{1, 0, 0, 0, 2, 0, 0, 0, 9, 9, 9, 9, 9}, "last row short by one byte"},
        {{1, 0, 0}, "header cut"},
        {{0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0}, "65535 x 65535 does not fit in memory records"},
        {{0x30, 0x75, 0, 0, 0x30, 0x75, 0, 0, 1, 2, 3}, "30000 x 30000 promised by an 11-byte file"},
    };
    const auto path = TempFile("raw_bad.bin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        WriteAll(path, c.bytes);
        ImageBuffer8 image;
        ASSERT_EQ(AllocImage8(image, 3, 3), 1);
        EXPECT_EQ(ReadRawImage8(image, path.u16string().c_str()), 0);
        EXPECT_EQ(image.data, nullptr) << "a failed read leaves an empty record";
        EXPECT_EQ(image.width, 0);
        FreeImageBuffer(image);
    }
    ImageBuffer8 image;
    EXPECT_EQ(ReadRawImage8(image, u"/nonexistent-folder/x.raw"), 0);
}
