// Loading, orienting, cropping or padding, resampling and storing the print pictures.
#include "batch/PrintPrepare.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/ImageSize.h"
#include "imaging/ColourTables.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Format.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

void OrientPrintSize(int w, int h, int& W, int& H)
{
    if ((W > H && h > w) || (H > W && w > h))
        std::swap(W, H);
}

PrintWindow ComputePrintWindow(int w, int h, int W, int H, int mode)
{
    const int64_t w64 = w, h64 = h, W64 = W, H64 = H;
    const bool taller = h64 * W64 >= H64 * w64;
    PrintWindow win{ 0, 0, w, h };
    if (mode == kPrintCropFill) {
        if (taller) {
            const int keep = int(H64 * w64 / W64);
            const int t = (h - keep) / 2;
            win = { 0, t, w, h - 2 * t };
        } else {
            const int keep = int(h64 * W64 / H64);
            win = { (w - keep) / 2, 0, keep, h };
        }
    } else if (mode == kPrintCropBorder) {
        if (taller) {
            const int pad = int((h64 * W64 / H64 - w64) / 2);
            win = { -pad, 0, w + 2 * pad, h };
        } else {
            const int full = int(H64 * w64 / W64);
            win = { 0, -((full - h) / 2), w, full };
        }
    } else if (mode == kPrintCropSmart) {
        if (taller)
            win = { 0, 0, w, int(H64 * w64 / W64) };
        else
            win = { 0, 0, int(h64 * W64 / H64), h };
    }
    return win;
}

void ComputeEdgeProfiles(const Plane8& grey, std::vector<uint8_t>& rows, std::vector<uint8_t>& columns)
{
    const int w = grey.width, h = grey.height;
    rows.assign(size_t(std::max(h, 0)), 0);
    columns.assign(size_t(std::max(w, 0)), 0);
    if (w <= 0 || h <= 0)
        return;
    std::vector<uint64_t> rowSum(size_t(h), 0), colSum(size_t(w), 0);
    auto at = [&](int x, int y) { return int(grey.data[size_t(y) * w + x]); };
    for (int y = 1; y + 1 < h; ++y)
        for (int x = 1; x + 1 < w; ++x) {
            const int gx = at(x - 1, y - 1) + at(x - 1, y) + at(x - 1, y + 1) - at(x + 1, y - 1) - at(x + 1, y) - at(x + 1, y + 1);
            const int gy = at(x - 1, y - 1) + at(x, y - 1) + at(x + 1, y - 1) - at(x - 1, y + 1) - at(x, y + 1) - at(x + 1, y + 1);
            const int v = std::min(255, std::max(std::abs(gx), std::abs(gy)));
            rowSum[size_t(y)] += uint64_t(v);
            colSum[size_t(x)] += uint64_t(v);
        }
    for (int y = 0; y < h; ++y)
        rows[size_t(y)] = uint8_t(rowSum[size_t(y)] / uint64_t(w));
    for (int x = 0; x < w; ++x)
        columns[size_t(x)] = uint8_t(colSum[size_t(x)] / uint64_t(h));
}

int BestWindowStart(const std::vector<uint8_t>& profile, int length)
{
    const int n = int(profile.size());
    if (length <= 0 || length >= n)
        return 0;
    uint64_t sum = 0;
    for (int i = 0; i < length; ++i)
        sum += profile[size_t(i)];
    uint64_t best = sum;
    int bestStart = 0;
    for (int x = 1; x + length <= n; ++x) {
        sum += profile[size_t(x + length - 1)];
        sum -= profile[size_t(x - 1)];
        if (sum > best) {
            best = sum;
            bestStart = x;
        }
    }
    return bestStart;
}

CPrintPrepare::~CPrintPrepare()
{
    FreeImageBuffer(m_photo);
}

int CPrintPrepare::Run()
{
    failingIndex = -1;
    const int n = int(items.size());
    for (int i = 0; i < n; ++i) {
        SetProgressWindow(i * 100 / n, (i * 100 + 100) / n);
        if (!PrepareItem(i)) {
            failingIndex = i;
            return 0;
        }
        SetProgress((i * 100 + 100) / n);
        if (IsAlgorithmCancelled())
            return 1;
    }
    return 1;
}

int CPrintPrepare::LoadPhoto(const PrintItem& item)
{
    m_lastPhoto = -1;
    m_profilesReady = false;
    ImageBuffer8 loaded;
    const bool ok = item.photo && CodecLoadImage8(loaded, item.photo->path.c_str()) && loaded.pixelCount &&
                    AllocImage16(m_photo, loaded.width, loaded.height) && ConvertPixels8To16(loaded, m_photo);
    FreeImageBuffer(loaded);
    if (!ok)
        return 0;
    m_lastPhoto = item.photoIndex;
    return 1;
}

int CPrintPrepare::PrepareItem(int index)
{
    if (index < 0 || size_t(index) >= items.size())
        return 0;
    PrintItem& item = items[size_t(index)];
    if (item.width <= 0 || item.height <= 0 || item.cropMode < kPrintCropFill || item.cropMode > kPrintCropSmart)
        return 0;
    if (item.photoIndex != m_lastPhoto && !LoadPhoto(item))
        return 0;
    if (item.cropMode == kPrintCropSmart && !m_profilesReady) {
        Plane8 grey;
        if (!ConvertImage16ToGrey8(m_photo, grey)) {
            FreePlane8(grey);
            return 0;
        }
        ComputeEdgeProfiles(grey, m_rowProfile, m_columnProfile);
        FreePlane8(grey);
        m_profilesReady = true;
    }
    const int low = ProgressLow(), high = ProgressHigh();
    SetProgress((low + high) / 2);

    const int w = m_photo.width, h = m_photo.height;
    int W = item.width, H = item.height;
    OrientPrintSize(w, h, W, H);
    PrintWindow win = ComputePrintWindow(w, h, W, H, item.cropMode);
    if (item.cropMode == kPrintCropSmart) {
        if (win.width < w)
            win.left = BestWindowStart(m_columnProfile, win.width);
        else
            win.top = BestWindowStart(m_rowProfile, win.height);
    }
    if (win.width <= 0 || win.height <= 0)
        return 0;

    ImageBuffer16 part, sized;
    ImageBuffer8 out;
    auto release = [&] {
        FreeImageBuffer(part);
        FreeImageBuffer(sized);
        FreeImageBuffer(out);
    };
    if (!AllocImage16(part, win.width, win.height)) {
        release();
        return 0;
    }
    // Outside the photo the picture is opaque white (the border of mode 1).
    std::fill(part.data, part.data + size_t(part.pixelCount) * 4, uint16_t(0xFFFF));
    const int x0 = std::max(0, win.left), x1 = std::min(w, win.left + win.width);
    const int y0 = std::max(0, win.top), y1 = std::min(h, win.top + win.height);
    for (int y = y0; y < y1 && x1 > x0; ++y)
        std::memcpy(part.data + (size_t(y - win.top) * part.width + size_t(x0 - win.left)) * 4,
                    m_photo.data + (size_t(y) * w + size_t(x0)) * 4, size_t(x1 - x0) * 8);

    CImageSize sizer;
    sizer.m_params.enhance = 1;
    sizer.m_params.areaValue = 90;
    sizer.m_params.sharpenAmount = 100;
    sizer.m_windowLow = (low + high) / 2;
    sizer.m_windowHigh = high;
    if (!sizer.SmartResize(part, sized, W, H) || sized.width != W || sized.height != H ||
        !AllocImage8(out, W, H) || !ConvertPixels16To8(sized, out)) {
        release();
        return 0;
    }
    if (item.tempPath.empty()) {
        const std::optional<platform::String16> prefix = platform::Format(u"prt%03d", index);
        item.tempPath = platform::CreateUniqueTempFile(prefix ? *prefix : u"prt", u".raw");
    }
    const int written = !item.tempPath.empty() && WriteRawImage8(out, item.tempPath.c_str());
    release();
    return written;
}

const char16_t* CPrintPrepare::FindItem(const PrintPhoto* photo, int width, int height) const
{
    for (const PrintItem& item : items) {
        if (item.tempPath.empty() || !item.photo || !photo)
            continue;
        const bool samePhoto = item.photo == photo || item.photo->path == photo->path;
        const bool sameSize = (item.width == width && item.height == height) ||
                              (item.width == height && item.height == width);
        if (samePhoto && sameSize)
            return item.tempPath.c_str();
    }
    return nullptr;
}

void CPrintPrepare::DeleteTempFiles()
{
    for (PrintItem& item : items)
        if (!item.tempPath.empty()) {
            platform::DeleteFile(item.tempPath);
            item.tempPath.clear();
        }
}
