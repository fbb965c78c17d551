// The pictures of the editor: tool bar, panels, menus, wizard tiles, cursors, in the generator's shared look (SkinGlyphs.h).
#include "tools/SkinGlyphs.h"
#include "tools/SkinImages.h"

namespace tools {

const std::vector<SkinImage>& EditorSkinImages()
{
    static const std::vector<SkinImage> images = {
    };
    return images;
}

} // namespace tools
