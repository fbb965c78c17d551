// Blend and mask passes of the dialogs (see the header). One row kernel does both, so a preview
// that is blended and masked reads the pictures once.
#include "dialogs/FilterPixels.h"

#include "algorithms/Algorithm.h"
#include "imaging/Document.h"

#include <algorithm>
#include <cstring>

namespace {

struct PassRows {
    uint16_t* target;
    const uint16_t* output;
    const uint16_t* backup;
    int width;
    bool blend;
    int blendMode;
    int opacity;
    const uint8_t* mask; // null: no mask
    MaskPlacement place;
};

inline bool SameSize(const ImageBuffer16& a, const ImageBuffer16& b)
{
    return a.data && b.data && a.width == b.width && a.height == b.height;
}

void PassRow(const PassRows& p, int y)
{
    const size_t at = size_t(y) * size_t(p.width) * 4;
    uint16_t* t = p.target + at;
    const uint16_t* o = p.output + at;
    const uint16_t* b = p.backup + at;
    const int docY = p.place.offsetY + y;
    const bool rowInDocument = docY >= 0 && docY < p.place.documentHeight;
    const uint8_t* maskRow = p.mask && rowInDocument ? p.mask + size_t(docY) * size_t(p.place.documentWidth) : nullptr;
    for (int x = 0; x < p.width; ++x, t += 4, o += 4, b += 4) {
        uint16_t px[4] = {o[0], o[1], o[2], o[3]};
        if (p.blend) {
            BlendChannels16(b, o, px, uint8_t(p.blendMode));
            px[3] = o[3];
            if (p.opacity != 100)
                for (int c = 0; c < 3; ++c)
                    px[c] = uint16_t((uint32_t(100 - p.opacity) * b[c] + uint32_t(p.opacity) * px[c]) / 100);
        }
        if (p.mask) {
            const int docX = p.place.offsetX + x;
            // Pixels outside the document keep the result, whatever the mask says.
            if (maskRow && docX >= 0 && docX < p.place.documentWidth) {
                const int m = maskRow[docX];
                if (m == 0) {
                    std::memcpy(px, b, 8);
                } else if (m != 255) {
                    for (int c = 0; c < 3; ++c)
                        px[c] = uint16_t(int(px[c]) + (int(b[c]) - int(px[c])) * (255 - m) / 255);
                }
            }
        }
        std::memcpy(t, px, 8);
    }
}

void RunPass(const PassRows& p, int height)
{
    ParallelRows(height, int64_t(p.width) * 16, [&](int first, int end) {
        for (int y = first; y < end; ++y)
            PassRow(p, y);
        return true;
    });
}

} // namespace

bool MaskFitsDocument(const MaskPlacement& placement)
{
    const Plane8* m = placement.mask;
    return m && m->data && m->width == placement.documentWidth && m->height == placement.documentHeight &&
           m->width > 0 && m->height > 0;
}

void BlendResult(ImageBuffer16& result, const ImageBuffer16& backup, int blendMode, int opacity)
{
    if (!SameSize(result, backup))
        return;
    PassRows p{result.data, result.data, backup.data, result.width, true, blendMode, std::clamp(opacity, 0, 100),
               nullptr, {}};
    RunPass(p, result.height);
}

void RestrictToMask(ImageBuffer16& result, const ImageBuffer16& backup, const MaskPlacement& placement)
{
    if (!SameSize(result, backup) || !MaskFitsDocument(placement))
        return;
    PassRows p{result.data, result.data, backup.data, result.width, false, 0, 100, placement.mask->data, placement};
    RunPass(p, result.height);
}

int CopyImage16Parallel(ImageBuffer16& destination, const ImageBuffer16& source)
{
    if (!source.data)
        return 0;
    if (!destination.data || destination.byteSize != source.byteSize) {
        if (!AllocImage16(destination, source.width, source.height))
            return 0;
    }
    destination.width = source.width;
    destination.height = source.height;
    const size_t rowBytes = size_t(source.width) * 8;
    uint8_t* d = reinterpret_cast<uint8_t*>(destination.data);
    const uint8_t* s = reinterpret_cast<const uint8_t*>(source.data);
    ParallelRows(source.height, int64_t(source.width) * 2, [&](int first, int end) {
        std::memcpy(d + rowBytes * size_t(first), s + rowBytes * size_t(first), rowBytes * size_t(end - first));
        return true;
    });
    return 1;
}

int ComposeFilterResult(ImageBuffer16& target, const ImageBuffer16& output, const ImageBuffer16& backup,
                        int blendMode, int opacity, const MaskPlacement& placement)
{
    const bool blend = blendMode != 0 || opacity < 100;
    const bool mask = MaskFitsDocument(placement);
    if (!SameSize(output, backup) || (!blend && !mask))
        return CopyImage16Parallel(target, output);
    if (!SameSize(target, output) && !AllocImage16(target, output.width, output.height))
        return 0;
    PassRows p{target.data, output.data, backup.data, output.width, blend, blendMode, std::clamp(opacity, 0, 100),
               mask ? placement.mask->data : nullptr, placement};
    RunPass(p, output.height);
    return 1;
}
