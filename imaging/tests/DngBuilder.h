// Writes small DNG files with libtiff so that LibRaw really decodes something in tests:
// a 16-bit RGGB sensor image, camera names, an orientation and an optional preview.
#pragma once

#include <cstdint>
#include <string>
#include <tiffio.h>
#include <vector>

namespace testutil {

enum class DngPreview { None, Rgb, Jpeg };

struct DngSpec {
    int width = 64;
    int height = 48;
    int orientation = 1;
    DngPreview preview = DngPreview::None;
    int previewWidth = 16;
    int previewHeight = 12;
    // The top rows of the sensor are bright, the rest dark, so turns can be seen.
    int brightRows = 8;
};

inline void SetRawTags(TIFF* tif, const DngSpec& dng)
{
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, dng.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, dng.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, dng.height);
    uint16_t pattern_dim[2] = { 2, 2 };
    TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, pattern_dim);
    uint8_t pattern[4] = { 0, 1, 1, 2 };
    TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, pattern);
    uint32_t white = 65535;
    TIFFSetField(tif, TIFFTAG_WHITELEVEL, 1, &white);
}

inline void WriteRawRows(TIFF* tif, const DngSpec& dng)
{
    std::vector<uint16_t> row(size_t(dng.width));
    for (int y = 0; y < dng.height; ++y) {
        for (int x = 0; x < dng.width; ++x)
            row[size_t(x)] = y < dng.brightRows ? 60000 : 2000;
        TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
    }
}

inline bool WriteDng(const std::string& path, const DngSpec& dng)
{
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif)
        return false;
    uint8_t version[4] = { 1, 4, 0, 0 };
    float matrix[9] = { 1, 0, 0, 0, 1, 0, 0, 0, 1 };
    float neutral[3] = { 1, 1, 1 };
    auto common = [&] {
        TIFFSetField(tif, TIFFTAG_MAKE, "Zcam");
        TIFFSetField(tif, TIFFTAG_MODEL, "Z 1");
        TIFFSetField(tif, TIFFTAG_ORIENTATION, dng.orientation);
        TIFFSetField(tif, TIFFTAG_DNGVERSION, version);
        TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Zcam Z 1");
        TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, matrix);
        TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
    };
    bool ok = true;
    if (dng.preview == DngPreview::None) {
        SetRawTags(tif, dng);
        common();
        WriteRawRows(tif, dng);
        ok = TIFFWriteDirectory(tif) != 0;
    } else {
        // IFD0 holds the preview; the sensor data sits in a sub-IFD, as cameras write it.
        bool jpeg = dng.preview == DngPreview::Jpeg;
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, dng.previewWidth);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, dng.previewHeight);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, jpeg ? COMPRESSION_JPEG : COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, jpeg ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_RGB);
        if (jpeg) {
            // One self-contained JPEG stream, as cameras store previews.
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            TIFFSetField(tif, TIFFTAG_JPEGTABLESMODE, 0);
        }
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, dng.previewHeight);
        common();
        uint64_t subifd = 0;
        TIFFSetField(tif, TIFFTAG_SUBIFD, 1, &subifd);
        std::vector<uint8_t> row(size_t(dng.previewWidth) * 3);
        for (int y = 0; y < dng.previewHeight; ++y) {
            for (int x = 0; x < dng.previewWidth; ++x) {
                row[size_t(x) * 3] = 250;        // red
                row[size_t(x) * 3 + 1] = uint8_t(y * 10);
                row[size_t(x) * 3 + 2] = 20;
            }
            ok = ok && TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) >= 0;
        }
        ok = ok && TIFFWriteDirectory(tif) != 0;
        SetRawTags(tif, dng);
        WriteRawRows(tif, dng);
        ok = ok && TIFFWriteDirectory(tif) != 0;
    }
    TIFFClose(tif);
    return ok;
}

} // namespace testutil
