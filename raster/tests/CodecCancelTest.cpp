#include "raster/RasterBMP.h"
#include "raster/RasterGIF.h"
#include "raster/RasterPCX.h"
#include "raster/RasterTGA.h"
#include "raster/tests/CodecTestUtil.h"

#include <gtest/gtest.h>

using namespace codectest;

// A decoder asked to stop gives up with "Cancelled", whatever the file.
template <class Codec>
void ExpectCancelled(CRaster& picture, const char* text)
{
    bool ok = false;
    std::vector<uint8_t> file = EncodeBytes<Codec>(picture, &ok);
    ASSERT_TRUE(ok);
    Codec plain;
    ASSERT_TRUE(DecodeBytes(file, plain)) << plain.lastError;
    Codec stopped;
    stopped.escape = 1;
    EXPECT_FALSE(DecodeBytes(file, stopped));
    EXPECT_STREQ(stopped.lastError, text);
}

TEST(CodecCancel, EveryDecoderStopsOnEscape)
{
    CRaster colour(9, 5, 24, RasterFormatBMP);
    CRaster palette(9, 5, 8, RasterFormatBMP);
    ExpectCancelled<CRasterBMP>(colour, "Cancelled");
    ExpectCancelled<CRasterTGA>(colour, "Cancelled");
    ExpectCancelled<CRasterPCX>(colour, "Cancelled");
    ExpectCancelled<CRasterGIF>(palette, "Cancelled");
}
