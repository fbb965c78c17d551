#include "platform/SystemMessageBox.h"

#include <SDL.h>

#include <cstdio>

namespace platform {

bool ShowSystemMessageBox(BackendKind backend, StringView16 caption, StringView16 text, MessageBoxIcon icon)
{
    const std::string title = Utf16ToUtf8(caption);
    const std::string message = Utf16ToUtf8(text);
    if (backend == BackendKind::Sdl) {
        const Uint32 flags = icon == MessageBoxIcon::Information ? SDL_MESSAGEBOX_INFORMATION
            : icon == MessageBoxIcon::Warning                    ? SDL_MESSAGEBOX_WARNING
                                                                 : SDL_MESSAGEBOX_ERROR;
        // SDL shows its own X11 box when no window exists yet.
        if (SDL_ShowSimpleMessageBox(flags, title.c_str(), message.c_str(), nullptr) == 0)
            return true;
    }
    std::fprintf(stderr, "%s%s%s\n", title.c_str(), title.empty() ? "" : ": ", message.c_str());
    return false;
}

} // namespace platform
