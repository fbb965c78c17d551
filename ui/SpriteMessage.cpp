// Posting sprite messages from any thread.
#include "ui/SpriteMessage.h"

#include "ui/RenderWindow.h"
#include "ui/TicketRegistry.h"

#include <new>

int PostSpriteMessage(CMessageSprite* recipient, int32_t code, intptr_t param1, intptr_t param2,
                      CSprite* sender)
{
    const int32_t ticket = TicketOfPointer(recipient);
    if (ticket == 0)
        return 0; // not (or no longer) a live sprite: nothing would ever receive it
    CRenderWindow* window = g_pRenderWindow.load(std::memory_order_acquire);
    if (!window)
        return 0;
    auto* record = new (std::nothrow) SpriteMessage{sender, recipient, code, param1, param2, ticket};
    if (!record)
        return 0;
    if (!window->QueueSpriteMessage(record)) {
        delete record;
        return 0;
    }
    return 1;
}
