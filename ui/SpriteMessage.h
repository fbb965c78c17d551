// Sprite messages: small heap records that carry a code and two parameters from any thread to a
// sprite's OnSpriteMessage on the UI thread, through the render window's queue. Each record
// keeps the recipient's ticket, so a recipient destroyed (or replaced at the same address)
// before delivery receives nothing.
#pragma once

#include <cstdint>

class CSprite;
class CMessageSprite;

struct SpriteMessage {
    CSprite* sender = nullptr;
    CMessageSprite* recipient = nullptr;
    int32_t code = 0;
    intptr_t param1 = 0;
    intptr_t param2 = 0;
    int32_t recipientTicket = 0; // taken at posting time from the registry, never from the object
};

// Window message to the render window: wParam 0, lParam the record.
constexpr uint32_t WM_SPRITE_MESSAGE = 0x500;
// Window message to the main window from a button whose parent takes no sprite messages.
constexpr uint32_t WM_SPRITE_BUTTON = 0x17F7;

constexpr int32_t MSG_COMMAND = 1;
constexpr int32_t MSG_TREE_EXPAND = 2;
constexpr int32_t MSG_TREE_SELECT = 3;
constexpr int32_t MSG_TREE_BACK = 4;
constexpr int32_t MSG_PROP_COMMIT = 5;
constexpr int32_t MSG_SCROLL_LINE_UP = 6;
constexpr int32_t MSG_SCROLL_LINE_DOWN = 7;
constexpr int32_t MSG_SCROLL_POS = 8;
constexpr int32_t MSG_MENU_COMMAND = 11;
constexpr int32_t MSG_TAB_CHANGED = 12;
constexpr int32_t MSG_EDIT_CHANGED = 13;
constexpr int32_t MSG_SLIDER_CHANGED = 14;
constexpr int32_t MSG_TAG_SELECT = 91;
constexpr int32_t MSG_TAG_HOVER = 92;
constexpr int32_t MSG_LIST_SELECT = 93;
constexpr int32_t MSG_LIST_ACTIVATE = 94;
constexpr int32_t MSG_LIST_HOVER = 95;
constexpr int32_t MSG_PANEL_CLICK = 96;
constexpr int32_t MSG_PANEL_PRESS = 97;
constexpr int32_t MSG_VIEW_CHANGED = 98;
constexpr int32_t MSG_TREE_DBLCLK = 99;
constexpr int32_t MSG_CHECK = 100;
constexpr int32_t MSG_DIALOG_TIMER = 101;
constexpr int32_t MSG_RANGE_CHANGED = 102;
constexpr int32_t MSG_PANEL_DBLCLK = 103;
constexpr int32_t MSG_FOCUS = 300;
constexpr int32_t MSG_CURVE_CHANGED = 10005;
constexpr int32_t MSG_MENU_CLOSED = 11001;
// MSG_ALGORITHM (11101) is declared by the algorithm framework; MSG_THUMB_LOADED (2369),
// MSG_SCAN_STATE (10011) and MSG_ALBUM_REFRESH (11026) by the album (album/AlbumMessages.h).
constexpr int32_t MSG_REFRESH = 20000;

// Posts a message to `recipient` through the live render window; any thread. The recipient is
// looked up in the ticket registry, never dereferenced here, so posting to a sprite that was
// just destroyed is harmless. Nonzero when the record was queued.
int PostSpriteMessage(CMessageSprite* recipient, int32_t code, intptr_t param1, intptr_t param2,
                      CSprite* sender);
