// Dialog templates are files in the program folder that anyone can replace: a parse must never
// read outside the bytes, and whatever parses must lay out without trouble.
#include "platform/DialogTemplate.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    platform::DialogTemplateData parsed;
    if (!platform::ParseDialogTemplate(data, size, parsed))
        return 0;
    if (parsed.items.size() > platform::kMaxTemplateItems)
        std::abort();
    const platform::DialogBaseUnits units { 6, 13 };
    for (const platform::DialogTemplateItem& item : parsed.items) {
        (void)item.ClassName();
        (void)platform::DialogUnitsToPixels(item.rect, units);
    }
    (void)platform::WindowFrameAdjustment(parsed.style, parsed.exStyle, parsed.font.hasMenu != 0);
    // Lay out with the template's own font: a damaged font size must be refused, not rendered.
    if (parsed.items.size() < 64) {
        auto t = platform::DialogTemplate::FromBytes(1, data, size);
        if (!t)
            std::abort();
        if (t->ApplyTemplateFont(96.0)) {
            for (size_t i = 0; i < t->Items().size(); ++i)
                (void)t->ItemRect(i);
            (void)t->WindowRect();
        }
    }
    return 0;
}
