// The template compiler's reader: binary templates are files of the program folder, reading one
// must never crash, and whatever reads must compile back to the same bytes up to the skipped
// creation data.
#include "tools/DialogTemplateSource.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tools::DialogSource dialog;
    if (!tools::ReadDialogTemplate(std::span<const uint8_t>(data, size), dialog))
        return 0;
    std::vector<uint8_t> again = tools::CompileDialogTemplate(dialog);
    tools::DialogSource back;
    if (!tools::ReadDialogTemplate(again, back) || tools::CompileDialogTemplate(back) != again)
        std::abort();
    return 0;
}
