// Text rendered into coverage images (four equal bytes a pixel) through the platform fonts:
// one line with a width limit and "..", one line in a given font, and wrapped text. The
// shared font, the 1024 x 256 text bitmap and the line primitives' pen live in one object
// under one re-entrant lock (the UI resource lock).
#pragma once

#include "imaging/Draw8.h"
#include "imaging/ImageBuffer.h"
#include "platform/Font.h"
#include "platform/Sync.h"
#include "platform/Text.h"

#include <memory>
#include <vector>

inline constexpr int kTextBitmapWidth = 1024;
inline constexpr int kTextBitmapHeight = 256;
inline constexpr int kDefaultTextHeight = 14;
inline constexpr char16_t kDefaultTextFace[] = u"Tahoma";

struct TextResources {
    platform::CriticalSection lock;
    // The font last made for RenderText, with the face and height it was made for; reused
    // while they do not change.
    std::shared_ptr<platform::Font> font;
    platform::String16 fontFace;
    int fontHeight = 0;
    // White-on-black drawing surface, BGRA.
    std::vector<uint8_t> bitmap;
    DrawPen pen;
};

// The one instance the whole user interface shares.
TextResources& SharedTextResources();

// One line into a coverage image. The caller holds SharedTextResources().lock. face null means
// "Tahoma", height 0 means 14. A text at least as wide as min(maxWidth, 1024) is retried at
// height 12 when taller than 14, else cut to a head followed by ".." (or ".." alone below 32
// pixels) and *truncated is set. An empty text gives a zeroed image 1 pixel wide and `height`
// rows high. Nonzero on success.
int RenderText(const char16_t* text, ImageBuffer8& out, const char16_t* face, int height,
               int maxWidth, bool* truncated);

// RenderText under the lock.
int RenderTextLocked(const char16_t* text, ImageBuffer8& out, const char16_t* face, int height,
                     int maxWidth, bool* truncated);

// One line in the given font (italic widens by a third, bold by a pixel a character), cut
// with ".." when it reaches maxWidth (>= 1). Takes the lock.
int RenderTextWithFont(const platform::Font& font, const char16_t* text, ImageBuffer8& out,
                       int maxWidth);

// Escapes decoded, lines split at CR/LF, each line broken into pieces no wider than
// wrapWidth (0: no wrapping) at spaces, punctuation or between CJK characters; the pieces
// stacked into one coverage image. Takes the lock.
int RenderWrappedText(ImageBuffer8& out, const char16_t* text, int wrapWidth, int height);

// True for the characters a line is never broken after (letters, digits, most punctuation
// below 58, and codes 127 to 512).
bool IsWordCharacter(char16_t c);
