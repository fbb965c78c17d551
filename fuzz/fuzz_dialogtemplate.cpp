// Binary dialog templates: parse and, when they parse, lay out (no font files are needed for
// the parse; the layout takes the first font found).
#include "ui/DialogTemplate.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DialogTemplate t;
    DialogTemplateFont f;
    ReadDialogTemplateFont(data, size, f);
    if (ParseDialogTemplate(data, size, t) && t.items.size() < 64) {
        DialogLayout layout;
        LayoutDialogTemplate(t, 96.0, layout);
    }
    return 0;
}
