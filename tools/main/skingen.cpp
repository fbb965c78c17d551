// zd_skingen <program folder>: draws the skin and basic pictures into the program folder and
// the contact sheet beside them.
#include "tools/SkinImages.h"

#include "platform/Text.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zd_skingen <program folder>\n");
        return 2;
    }
    std::string error;
    if (!tools::WriteSkinFolders(platform::Utf8ToUtf16(argv[1]), error)) {
        std::fprintf(stderr, "zd_skingen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
