// Helpers shared by the exiv2 users of the platform layer; not for the rest of the program.
#pragma once

#include <cstdint>
#include <vector>

namespace Exiv2 {
class BasicIo;
}

namespace platform {

// The whole content of an exiv2 stream (an image edited in memory), from its start.
bool ReadWholeExivIo(Exiv2::BasicIo& io, std::vector<uint8_t>& out);

} // namespace platform
