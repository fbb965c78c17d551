// The pictures of the adjustment, filter and geometry dialogs, in the generator's shared look (SkinGlyphs.h).
#include "tools/SkinGlyphs.h"
#include "tools/SkinImages.h"

namespace tools {

const std::vector<SkinImage>& DialogSkinImages()
{
    static const std::vector<SkinImage> images = {
    };
    return images;
}

} // namespace tools
