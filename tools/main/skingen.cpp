// zd_skingen <program folder>: draws the skin and basic pictures into the program folder and
// the contact sheet beside them.
// zd_skingen --icons <folder>: draws the desktop's icons of the program into <folder>/hicolor.
#include "tools/SkinImages.h"
#include "tools/SkinImagesIcons.h"

#include "platform/Text.h"

#include <cstdio>
#include <string_view>

int main(int argc, char** argv)
{
    const bool icons = argc == 3 && std::string_view(argv[1]) == "--icons";
    if (argc != 2 && !icons) {
        std::fprintf(stderr, "usage: zd_skingen <program folder> | zd_skingen --icons <folder>\n");
        return 2;
    }
    std::string error;
    const bool ok = icons ? tools::WriteDesktopIcons(platform::Utf8ToUtf16(argv[2]), error)
                          : tools::WriteSkinFolders(platform::Utf8ToUtf16(argv[1]), error);
    if (!ok) {
        std::fprintf(stderr, "zd_skingen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
