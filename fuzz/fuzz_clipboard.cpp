// What other programs put on the clipboard is outside data: the picture (DIB, PNG), file-list
// (DROPFILES) and uri-list readers must stay inside the bytes, and what they accept must
// survive being written back and read again.
#include "platform/Clipboard.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::span<const uint8_t> bytes(data + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        if (auto picture = platform::ReadDibBlock(bytes)) {
            auto again = platform::ReadDibBlock(platform::BuildDibBlock(*picture));
            if (!again || again->bgra != picture->bgra)
                std::abort();
        }
        break;
    case 1:
        if (auto paths = platform::ReadDropFilesBlock(bytes)) {
            // Empty names end a list, so only lists without them come back whole.
            bool hasEmpty = false;
            for (const auto& p : *paths)
                hasEmpty |= p.empty();
            auto again = platform::ReadDropFilesBlock(platform::BuildDropFilesBlock(*paths));
            if (!hasEmpty && (!again || *again != *paths))
                std::abort();
        }
        break;
    case 2:
        if (size - 1 <= 4096)
            (void)platform::DecodePicturePng(bytes);
        break;
    default: {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        const auto paths = platform::ReadUriList(text);
        if (platform::ReadUriList(platform::BuildUriList(paths)) != paths)
            std::abort();
        break;
    }
    }
    return 0;
}
