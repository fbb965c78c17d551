// The pictures of the album pages and their dialogs, in the generator's shared look (SkinGlyphs.h).
#include "tools/SkinGlyphs.h"
#include "tools/SkinImages.h"

namespace tools {

const std::vector<SkinImage>& AlbumSkinImages()
{
    static const std::vector<SkinImage> images = {
    };
    return images;
}

} // namespace tools
