// The skin and basic pictures the program draws with, made by our generator: their names,
// sizes and frame layouts, and their drawing in one calm flat look (dark neutral chrome,
// light line glyphs, one muted blue accent).
#pragma once

#include "imaging/ImageBuffer.h"
#include "tools/SkinPainter.h"

#include <string>
#include <vector>

namespace tools {

struct SkinImage {
    const char16_t* name;
    int width;
    int height;
    int frameWidth; // 0: a single picture
    bool inBasic;   // written to basic/ (the built-in look)
    bool inSkin;    // written to skin/ (the replaceable skin)
    void (*draw)(SkinCanvas& canvas);
};

// Every picture: the frame's and toolkit's (SkinImages.cpp) and each part's list below.
const std::vector<SkinImage>& SkinImages();

// The pictures of the editor, the dialogs, the album and the batch and output dialogs, each drawn
// in its own file (SkinImagesEditor.cpp ...).
const std::vector<SkinImage>& EditorSkinImages();
const std::vector<SkinImage>& DialogSkinImages();
const std::vector<SkinImage>& AlbumSkinImages();
const std::vector<SkinImage>& BatchSkinImages();
// The variant dialogs' pictures (SkinImagesVariants.cpp).
const std::vector<SkinImage>& VariantSkinImages();
const std::vector<SkinImage>& FilterSkinImages(); // the filter and geometry dialogs

// Draws one picture.
bool RenderSkinImage(const SkinImage& image, ImageBuffer8& out);

// Writes every picture into programFolder/basic and programFolder/skin, and a contact sheet
// of all of them at display scales 1, 1.5 and 2 as programFolder/contact-sheet.png.
bool WriteSkinFolders(const std::u16string& programFolder, std::string& error);

// The contact sheet of the pictures given.
bool BuildContactSheet(const std::vector<std::pair<std::u16string, const ImageBuffer8*>>& images, ImageBuffer8& out);

} // namespace tools
