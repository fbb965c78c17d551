// The window system's own message box, for the few messages shown before (or without) the
// program's sprite dialogs: start-up failures and the copy helper's error.
#pragma once

#include "platform/Text.h"
#include "platform/Window.h"

namespace platform {

enum class MessageBoxIcon { Information, Warning, Error };

// Modal until the user confirms. Without a screen (the headless backend, or no display) the
// message goes to stderr instead; false then.
bool ShowSystemMessageBox(BackendKind backend, StringView16 caption, StringView16 text,
    MessageBoxIcon icon = MessageBoxIcon::Error);

} // namespace platform
