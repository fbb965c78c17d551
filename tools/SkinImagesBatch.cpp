// The pictures of the save, batch, print and 3D dialogs, in the generator's shared look (SkinGlyphs.h).
#include "tools/SkinGlyphs.h"
#include "tools/SkinImages.h"

namespace tools {

const std::vector<SkinImage>& BatchSkinImages()
{
    static const std::vector<SkinImage> images = {
    };
    return images;
}

} // namespace tools
