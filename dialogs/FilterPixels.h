// The pixel passes of the dialogs after a job: mixing the result with the picture from before
// by a blend mode and an opacity, and limiting it to a document-sized mask. Whole pictures, on
// the worker's helper threads when it is idle (row ranges write only their own rows).
#pragma once

#include "imaging/ImageBuffer.h"

#include <cstdint>

// Where a layer's picture lies in its document and the mask that limits a change to it.
struct MaskPlacement {
    const Plane8* mask = nullptr; // document-sized; null = no mask
    int documentWidth = 0;
    int documentHeight = 0;
    int offsetX = 0; // the layer's offset in the document
    int offsetY = 0;
};

// True when the mask can be applied: it has exactly the document's width and height.
bool MaskFitsDocument(const MaskPlacement& placement);

// result: each of B, G, R of every pixel mixed with the backup:
//   out = BlendChannels16(backup as lower, result as upper, mode), alpha the result's;
//   opacity 100 -> out, else ((100 - opacity) x backup + opacity x out) / 100.
// Nothing unless both have the same width and height.
void BlendResult(ImageBuffer16& result, const ImageBuffer16& backup, int blendMode, int opacity);

// Limits the change to the mask: pixels outside the document keep the result; mask 255 keeps the
// result, 0 restores the whole backup pixel (alpha too), other values move B, G, R towards the
// backup by (255 - m) / 255, truncated toward zero, alpha the result's. Nothing unless result
// and backup have the same width and height and the mask fits the document.
void RestrictToMask(ImageBuffer16& result, const ImageBuffer16& backup, const MaskPlacement& placement);

// target = the job's output mixed and masked as above in one pass (target keeps its memory
// when it has the output's size). When the output and the backup differ in width or height the
// output is copied as it is. 0 when the target cannot be (re)allocated.
int ComposeFilterResult(ImageBuffer16& target, const ImageBuffer16& output, const ImageBuffer16& backup,
                        int blendMode, int opacity, const MaskPlacement& placement);

// Copies a picture over the helper threads (the same bytes as CopyImage16).
int CopyImage16Parallel(ImageBuffer16& destination, const ImageBuffer16& source);
