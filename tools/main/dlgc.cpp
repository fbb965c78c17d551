// zd_dlgc <dialog.dlg> <output>: compiles one dialog's text form into its binary template.
#include "tools/DialogTemplateSource.h"

#include "platform/File.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: zd_dlgc <dialog.dlg> <output>\n");
        return 2;
    }
    std::vector<uint8_t> bytes;
    if (!platform::ReadWholeFile(platform::Utf8ToUtf16(argv[1]), bytes, 1 << 20)) {
        std::fprintf(stderr, "%s: cannot read\n", argv[1]);
        return 1;
    }
    tools::DialogSource dialog;
    std::string error;
    if (!tools::ParseDialogSource(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), dialog,
                                  error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    // The program finds a template by its id in the file name: the two must agree.
    std::string stem = argv[1];
    stem = stem.substr(stem.find_last_of('/') + 1);
    stem = stem.substr(0, stem.find('.'));
    if (stem != std::to_string(dialog.id)) {
        std::fprintf(stderr, "%s: the file name must be the dialog id %u\n", argv[1], unsigned(dialog.id));
        return 1;
    }
    if (!platform::WriteWholeFileAtomic(platform::Utf8ToUtf16(argv[2]), tools::CompileDialogTemplate(dialog))) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
