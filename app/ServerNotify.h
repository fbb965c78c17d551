// The main window's side of the server thread: what it does when the thread reports a newer
// version or a notice (WM_SERVER_NOTIFY), and the one way to open a web address that came from
// the network.
#pragma once

#include "app/ServerThread.h"
#include "platform/Text.h"

#include <functional>
#include <optional>

// The album page shows the notice line as a link; the click shows the message and offers to
// open the web address. Null while there is no album page.
using AlbumNoticeHandler = std::function<void(const ServerNotice& notice)>;

// Left empty, the program's own: SpriteMessageBox and OpenWebAddress. Tests put theirs in.
struct ServerNotifyHooks {
    std::function<int(const char16_t* text, int kind, int buttons)> messageBox;
    std::function<bool(platform::StringView16 url)> openUrl;
};

struct ServerNotifyContext {
    const CServerThread* server = &theServerThread;
    int versionOffsetTenths = 5; // the program passes VersionDisplayOffsetTenths
    AlbumNoticeHandler album;
    ServerNotifyHooks hooks;
};

// The handler of WM_SERVER_NOTIFY on the UI thread; returns 0.
// SERVER_NEW_VERSION: with a stored newest version, asks with the text of "newversionfind" (the
// shown version, the reply's text); Yes opens the text of "productpage" when it is a web address,
// No stores the version in Program\LastCheckVersion so that it is not reported again.
// SERVER_NOTICE: hands a notice with a line to the album.
int HandleServerNotify(uintptr_t code, const ServerNotifyContext& context);

// The version the user sees, in tenths: wire number / 100 - offset, rounded to the nearest tenth.
int ShownVersionTenths(uint32_t wireVersion, int offsetTenths);

// The question's text, or nothing when the format's placeholders are not one number and one
// text (a translation is never used as a format unchecked).
std::optional<platform::String16> FormatNewVersionText(platform::StringView16 format, uint32_t wireVersion,
                                                       int offsetTenths, platform::StringView16 replyText);

// What a click on the album's notice line does: shows the notice message (information); with a
// web address of more than 4 characters the box asks Yes/No and Yes opens it. An address that is
// not a web address is never offered. Returns the box's answer.
int ShowNoticeMessage(const ServerNotice& notice, const ServerNotifyHooks& hooks = {});

// An http:// or https:// address (scheme in any case) with a host, and no blanks or control
// characters: the only kind of text from outside the program that is ever handed to the opener.
bool IsWebAddress(platform::StringView16 text);
// Opens a web address with the desktop's browser (no shell between); false for anything else or
// when the opener fails. The album uses it for the notice's address.
bool OpenWebAddress(platform::StringView16 url);
