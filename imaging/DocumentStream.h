// The pixel and plane blocks of the document stream. Documents and layers serialise
// themselves (CZDDoc::Serialize, CZDLayer::Serialize) on top of these.
#pragma once

#include "imaging/ImageBuffer.h"

#include <cstdint>
#include <string>

class CDocStream;

// Y with 12 bits, Cb and Cr with 10 bits each, from and to 16-bit B, G, R.
uint32_t PackYccWord(const uint16_t* bgr);
void UnpackYccWord(uint32_t word, uint16_t* bgr);

// The layer pixel stream: lossy packed colour with an exact alpha plane, or, on streams whose
// pixelMode is Exact, the 16-bit pixels as they are.
int WriteLayerPixels(const ImageBuffer16& image, CDocStream& stream);
int ReadLayerPixels(CDocStream& stream, ImageBuffer16& image);

// A zlib-compressed plane; 4 zero bytes for a plane without data.
int WritePlane(const Plane8& plane, CDocStream& stream);
int ReadPlane(CDocStream& stream, Plane8& plane);

// The fixed sizes of the stream's records.
constexpr size_t kDocumentHeaderSize = 12;
constexpr size_t kLayerHeaderSize = 80;
constexpr size_t kDocumentPathBytes = 2048;
constexpr size_t kTextLayerDataBytes = 2050 + 224;

class CZDLayer;
// The 80-byte LayerHeader of a layer, as the layer record and the history's attribute steps
// hold it. Fails when the offset does not fit its 16 bits.
bool BuildLayerHeader(const CZDLayer& layer, uint8_t (&header)[kLayerHeaderSize]);

class CZDDoc;
// The copy of an inactive editor tab's document in a private temporary file: everything,
// masks and selection included, with exact pixels. 1 on success; a failed write removes the file.
int PageOutDocument(CZDDoc& doc, const std::u16string& path);
int PageInDocument(CZDDoc& doc, const std::u16string& path);
