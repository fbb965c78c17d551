// The clipboard: byte blocks by format, the stand-in for the Windows clipboard. Formats keep
// their Windows numbers and layouts (CF_UNICODETEXT, CF_DIB, CF_HDROP, registered formats by
// name such as "Preferred DropEffect"), so the callers build and read the same blocks as the
// original program. Two backends: in-process (tests, no screen) and the X11 CLIPBOARD
// selection, which trades the blocks with other programs as UTF8_STRING, image/png, image/bmp,
// text/uri-list and x-special/gnome-copied-files.
#pragma once

#include "platform/Text.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

inline constexpr uint32_t kCfText = 1; // 8-bit text, zero-terminated (UTF-8 here)
inline constexpr uint32_t kCfDib = 8; // BITMAPINFOHEADER + rows
inline constexpr uint32_t kCfUnicodeText = 13; // UTF-16LE, zero-terminated
inline constexpr uint32_t kCfHdrop = 15; // DROPFILES + paths
inline constexpr uint32_t kFirstRegisteredFormat = 0xC000;
inline constexpr char16_t kPreferredDropEffect[] = u"Preferred DropEffect";
inline constexpr uint32_t kDropEffectCopy = 1;
inline constexpr uint32_t kDropEffectMove = 2;

// No single block on or off the clipboard may be larger.
inline constexpr size_t kMaxClipboardBytes = size_t(256) << 20;
// A picture's pixel count limit (a 16384 x 16384 picture at 4 bytes a pixel is 1 GiB).
inline constexpr uint64_t kMaxClipboardPixels = uint64_t(1) << 26;

// The number of a registered format (0xC000 and up); the same name (case-insensitive, as on
// Windows) gives the same number for the life of the process. 0 for an empty name.
uint32_t RegisterClipboardFormat(StringView16 name);
// The registered name of a number, empty for a number never registered.
String16 ClipboardFormatName(uint32_t format);

struct ClipboardItem {
    uint32_t format = 0;
    std::vector<uint8_t> data;
};

// A 32-bit picture, rows top-down, pixels B, G, R, A.
struct ClipboardPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgra;
};

// Counts of transfers in pieces (INCR), for tests and diagnostics.
struct ClipboardStats {
    uint64_t incrementalSends = 0;
    uint64_t incrementalReceives = 0;
};

class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Empties the clipboard and puts these blocks on it (one per format). False when the
    // clipboard cannot be taken; it is then left as it was or empty.
    virtual bool SetContents(std::vector<ClipboardItem> items) = 0;
    virtual bool Empty() = 0;
    // Whether a block of this format can be had (it may be made from what another program
    // offers).
    virtual bool HasFormat(uint32_t format) = 0;
    // A copy of the block; nullopt when there is none or it cannot be read in time.
    virtual std::optional<std::vector<uint8_t>> GetData(uint32_t format) = 0;
    virtual ClipboardStats Stats() const { return {}; }

    // Typed blocks.
    bool SetText(StringView16 text);
    std::optional<String16> GetText();
    bool SetPicture(const ClipboardPicture& picture);
    std::optional<ClipboardPicture> GetPicture();
    // The list with its drop effect: kDropEffectCopy or kDropEffectMove (cut).
    bool SetFiles(const std::vector<String16>& paths, uint32_t dropEffect);
    // The list, and the drop effect when one is on the clipboard (else 0).
    std::optional<std::vector<String16>> GetFiles(uint32_t* dropEffect = nullptr);

    static std::unique_ptr<Clipboard> CreateInProcess();
    // The X11 CLIPBOARD selection through an own connection to `displayName` (empty: $DISPLAY)
    // and an own thread; null when the display cannot be opened. `waitMs` bounds every wait for
    // another program; a block received in pieces (INCR) gets five such waits in all.
    static std::unique_ptr<Clipboard> CreateX11(const std::string& displayName, int waitMs = 2000);
};

// The clipboard the program uses: in-process until the window code installs the X11 one.
// Install it once at start-up: a reference taken before a replacement does not outlive it.
Clipboard& SystemClipboard();
void SetSystemClipboard(std::unique_ptr<Clipboard> clipboard);

// Block layouts, shared by the backends and their callers.
// CF_UNICODETEXT: the text and a terminating 0. Reading stops at the first 0 (or the end).
std::vector<uint8_t> BuildUnicodeTextBlock(StringView16 text);
String16 ReadUnicodeTextBlock(std::span<const uint8_t> block);
// CF_DIB: 40-byte header (height positive, 32 bits, BI_RGB, image size set), rows bottom-up.
// Empty for a picture that is empty, inconsistent or over the limits.
std::vector<uint8_t> BuildDibBlock(const ClipboardPicture& picture);
// Reads 32- and 24-bit BI_RGB and 32-bit BI_BITFIELDS DIBs, bottom-up or top-down. Alpha of a
// 24-bit picture, or of a 32-bit one whose alpha bytes are all 0, is 255.
std::optional<ClipboardPicture> ReadDibBlock(std::span<const uint8_t> block);
// CF_HDROP: 20-byte DROPFILES (list at 20, wide), the paths each zero-terminated, an extra 0,
// then 8 zero bytes.
std::vector<uint8_t> BuildDropFilesBlock(const std::vector<String16>& paths);
// Honours the list offset and the wide flag (8-bit lists are read as UTF-8); every scan stays
// inside the block. Nullopt for a damaged block.
std::optional<std::vector<String16>> ReadDropFilesBlock(std::span<const uint8_t> block);

// PNG of a picture (with alpha) and back; used for image/png.
std::vector<uint8_t> EncodePicturePng(const ClipboardPicture& picture);
std::optional<ClipboardPicture> DecodePicturePng(std::span<const uint8_t> png);

// text/uri-list: "file://" URIs, percent-encoded, CRLF after each. Reading skips comments and
// URIs of other schemes or hosts.
std::string BuildUriList(const std::vector<String16>& paths);
std::vector<String16> ReadUriList(std::string_view list);

} // namespace platform
