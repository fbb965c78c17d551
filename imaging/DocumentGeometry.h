// Turning, mirroring, cropping and extending whole documents (layers, selection and stored
// masks in register), the same operations on single images and planes, and the rasteriser
// that turns a closed polygon into a selection plane.
#pragma once

#include "imaging/Document.h"
#include "imaging/ImageBuffer.h"

#include <cstdint>

// Single images and planes: each replaces its argument; 0 when an allocation fails, the
// argument then unchanged.
int RotateImage16Right(ImageBuffer16& image);
int RotateImage16Left(ImageBuffer16& image);
int FlipImage16Horizontal(ImageBuffer16& image);
int FlipImage16Vertical(ImageBuffer16& image);
// Keeps the inclusive rectangle (corners in any order), clipped to the image; 0 when nothing
// of it lies inside.
int CropImage16(ImageBuffer16& image, const ZDRect& rect);

int RotatePlane8Right(Plane8& plane);
int RotatePlane8Left(Plane8& plane);
int FlipPlane8Horizontal(Plane8& plane);
int FlipPlane8Vertical(Plane8& plane);
int CropPlane8(Plane8& plane, const ZDRect& rect);

int RotateDocumentRight(CZDDoc& doc);
int RotateDocumentLeft(CZDDoc& doc);
int FlipDocumentHorizontal(CZDDoc& doc);
int FlipDocumentVertical(CZDDoc& doc);
// Inclusive rectangle in canvas coordinates, clipped to the canvas.
int CropDocument(CZDDoc& doc, const ZDRect& rect);
int ResizeCanvas(CZDDoc& doc, int newWidth, int newHeight, int xOffset, int yOffset, uint64_t fillPixel);

// The free-crop record of the editor's crop tool.
struct QuadCrop {
    // Top-left, top-right, bottom-left, bottom-right, in layer pixel coordinates.
    int32_t corners[4][2] = {};
    // S = c0 + c1 u + c2 v + c3 u v for x (0..3) and y (4..7), u and v over 0..1.
    double coefficients[8] = {};
    int32_t outputWidth = 0;
    int32_t outputHeight = 0;

    // Crops the current layer to the quadrilateral; 0 (nothing changed) when a side averages
    // 4 pixels or less or the layer is smaller than 2 x 2.
    int ApplyToDocument(CZDDoc& doc, const int32_t (&points)[4][2]);
};

struct PolygonPoint {
    int32_t x, y;
};

constexpr int32_t kFillPolygonFailed = int32_t(0x80004005);

// Anti-aliased even-odd fill of a closed polygon (last point equal to the first, at least 4
// points) into the plane: 28 n + 3 for n of 9 samples inside, 0 for none. 0 on success.
int32_t FillPolygonMask(const PolygonPoint* points, int count, Plane8& plane);
