// Lossless turns of JPEG files: the compressed blocks are rearranged, never decoded and
// encoded again (libturbojpeg's tjTransform).
#pragma once

#include <string>

namespace platform {

enum class JpegTurn { Clockwise90 = 1, Half = 2, Clockwise270 = 3 };

// Turns the JPEG file at path. Markers (EXIF, ICC) are kept, the EXIF Orientation is removed
// so viewers do not turn the picture again, and the pixel sizes in EXIF follow the turn.
// A picture whose size is not a whole number of blocks in the turned direction is refused
// (false, the file untouched) rather than re-encoded or trimmed. The result is written to a
// temporary file beside the original and renamed over it; a read-only file is refused.
bool RotateJpegFileLossless(const std::string& path, JpegTurn turn);

} // namespace platform
