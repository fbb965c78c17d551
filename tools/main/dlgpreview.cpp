// zd_dlgpreview <program folder>: draws every compiled dialog in every shipped language into
// <program folder>/dialog-previews.png.
#include "tools/DialogPreview.h"

#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/Path.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zd_dlgpreview <program folder>\n");
        return 2;
    }
    std::u16string folder = platform::Utf8ToUtf16(argv[1]);
    ImageBuffer8 sheet;
    std::string error;
    bool ok = tools::BuildDialogPreviews(folder, sheet, error);
    if (ok && !CodecSaveImage8(sheet, platform::JoinPath(folder, u"dialog-previews.png").c_str(), false)) {
        error = "cannot write dialog-previews.png";
        ok = false;
    }
    FreeImageBuffer(sheet);
    if (!ok) {
        std::fprintf(stderr, "zd_dlgpreview: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
