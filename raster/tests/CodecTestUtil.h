// Helpers for codec tests that use ImageMagick as the independent oracle: files are made by
// /usr/bin/convert in a temporary folder and pixels are compared as top-down RGBA.
#pragma once

#include "raster/Raster.h"
#include "raster/RasterCodecIo.h"
#include "raster/RasterStream.h"
#include "raster/tests/RasterTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace codectest {

using rastertest::kConvert;
using rastertest::ReadFile;
using rastertest::WriteFile;

class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zdcodecXXXXXX").string();
        path = mkdtemp(tmpl.data());
    }
    ~TempDir() { if (!std::getenv("ZD_KEEP_TEMP")) std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

inline bool Shell(const std::string& cmd)
{
    return std::system((cmd + " 2>/dev/null").c_str()) == 0;
}

// Top-down RGBA pixels of a file as ImageMagick reads it (frame given as name[n]).
// options go after the file name (TGA needs -auto-orient: ImageMagick keeps the origin as an
// orientation tag instead of turning the pixels).
inline std::vector<uint8_t> OracleRgba(const std::string& file, const TempDir& dir, const std::string& options = "")
{
    const std::string raw = dir / "oracle.rgba";
    if (!Shell(std::string(kConvert) + " '" + file + "' " + options + " -depth 8 rgba:'" + raw + "'"))
        return {};
    return ReadFile(raw);
}

// Top-down RGBA of one of our pictures; without an alpha plane every pixel is opaque.
inline std::vector<uint8_t> OurRgba(const CRaster& img)
{
    std::vector<uint8_t> out;
    for (int32_t y = img.Height() - 1; y >= 0; --y)
        for (int32_t x = 0; x < img.Width(); ++x) {
            RGBQUAD c = img.ReadPixelColour(x, y);
            out.push_back(c.rgbRed);
            out.push_back(c.rgbGreen);
            out.push_back(c.rgbBlue);
            out.push_back(img.alpha ? img.GetAlphaValue(x, y) : 255);
        }
    return out;
}

// Decodes bytes with one codec class directly.
template <class Codec>
bool DecodeBytes(const std::vector<uint8_t>& bytes, Codec& img)
{
    std::vector<uint8_t> copy = bytes;
    CRasterMemStream stream(copy.data(), copy.size());
    return img.Decode(&stream);
}

template <class Codec>
bool DecodeFile(const std::string& path, Codec& img)
{
    return DecodeBytes(ReadFile(path), img);
}

template <class Codec>
std::vector<uint8_t> EncodeBytes(CRaster& source, bool* ok = nullptr)
{
    Codec codec;
    codec.ShareMemoryOf(source);
    CRasterMemStream stream;
    stream.Open();
    bool done = codec.Encode(&stream);
    if (ok)
        *ok = done;
    std::vector<uint8_t> out;
    if (done && stream.Size() > 0) {
        uint8_t* p = stream.DetachBuffer(false);
        out.assign(p, p + stream.Size());
    }
    return out;
}

// Compares RGBA buffers, ignoring colour where both are fully transparent; reports the first
// difference only.
inline ::testing::AssertionResult SameRgba(const std::vector<uint8_t>& ours, const std::vector<uint8_t>& oracle,
                                           int width, int tolerance = 0, bool compareAlpha = true)
{
    if (ours.size() != oracle.size())
        return ::testing::AssertionFailure() << "sizes " << ours.size() << " vs " << oracle.size();
    for (size_t i = 0; i < ours.size(); i += 4) {
        if (compareAlpha && ours[i + 3] == 0 && oracle[i + 3] == 0)
            continue;
        for (int c = 0; c < (compareAlpha ? 4 : 3); ++c) {
            if (std::abs(int(ours[i + c]) - int(oracle[i + c])) > tolerance) {
                const size_t px = i / 4;
                return ::testing::AssertionFailure()
                       << "pixel (" << px % width << "," << px / width << ") channel " << c << ": ours "
                       << int(ours[i + c]) << " oracle " << int(oracle[i + c]);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// A deterministic colourful source picture (with some alpha when asked).
inline std::string MakeSource(const TempDir& dir, int w, int h, bool withAlpha = false)
{
    const std::string path = dir / (withAlpha ? "srca.png" : "src.png");
    std::string cmd = std::string(kConvert) + " -size " + std::to_string(w) + "x" + std::to_string(h) +
                      " gradient:red-blue \\( -size " + std::to_string(w) + "x" + std::to_string(h) +
                      " gradient:yellow-black -rotate 90 -resize " + std::to_string(w) + "x" + std::to_string(h) +
                      "! \\) -compose multiply -composite -fill green -draw 'rectangle 2,2 6,5'";
    if (withAlpha)
        cmd += " \\( +clone -alpha extract -fx 'i/w' \\) -alpha off -compose copyopacity -composite";
    cmd += " -define png:color-type=" + std::string(withAlpha ? "6" : "2") + " '" + path + "'";
    if (!Shell(cmd))
        return {};
    return path;
}

} // namespace codectest
