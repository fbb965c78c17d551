// TIFF files through libtiff, over the library's own streams: one page read per decode,
// one or more pages written (append keeps the file open for the next page).
#pragma once

#include "raster/Raster.h"

struct tiff;
class CRasterStream;

class CRasterTIF : public CRaster {
public:
    CRasterTIF() : CRaster(RasterFormatTIF) {}
    ~CRasterTIF() override;
    bool Decode(CRasterStream* stream);
    bool Encode(CRasterStream* stream, bool append = false);

private:
    bool EncodePage(bool multiPageFile, int page, int pageCount);
    void CloseHandle();

    tiff* handle = nullptr;
    bool multiPage = false;
    int pagesWritten = 0;
};

// libtiff's client open over a stream, under the name "TIFF IMAGE"; null when it fails.
tiff* TiffOpenStream(CRasterStream* stream, const char* mode);
