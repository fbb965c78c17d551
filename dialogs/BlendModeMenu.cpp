// The blend-mode menu (see the header).
#include "dialogs/BlendModeMenu.h"

#include "ui/Menu.h"
#include "ui/UiSeams.h"

void BuildBlendModeMenu(CSMenu& menu)
{
    for (const BlendMenuEntry& e : kBlendMenuEntries) {
        const int32_t id = kBlendMenuBase + e.mode;
        menu.AddItem(nullptr, id, UiText(e.key), nullptr);
        if (e.tipKey)
            menu.SetItemTip(id, UiText(e.tipKey));
    }
}

const char16_t* BlendMenuKey(int mode)
{
    for (const BlendMenuEntry& e : kBlendMenuEntries)
        if (e.mode == mode)
            return e.key;
    return kBlendMenuEntries[0].key;
}
