// The host-mode exchange file: whatever the host wrote is read as a picture, or refused and kept.
#include "app/PluginExchange.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace {

std::u16string ExchangePath()
{
    std::string p = "/tmp/zd-fuzz-exchange-" + std::to_string(getpid()) + ".bin";
    return std::u16string(p.begin(), p.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::u16string path = ExchangePath();
    if (!platform::WriteWholeFileAtomic(path, std::span<const uint8_t>(data, size)))
        return 0;
    ImageBuffer16 image;
    if (ReadPluginImage(path, image)) {
        // What was read must be written back whole.
        if (!WritePluginImage(path, image))
            __builtin_trap();
        FreeImageBuffer(image);
    }
    platform::DeleteFile(path);
    return 0;
}
