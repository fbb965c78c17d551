// Paths. The program keeps paths as UTF-16 text; the file system takes the name's own bytes.
// Every call that hands a path to the file system (or to a library that opens it) converts it
// with ToNativePath, never with Utf16ToUtf8, so that the bytes are exactly the file's.
//
// Separators: '/' only. A '\\' is a character of a name on Linux ("a\\b.jpg" is one file
// beside "a/b.jpg", never the other one).
//
// Names that are not valid UTF-8 survive the trip: each byte that does not decode becomes a
// lone surrogate U+DC80..U+DCFF in the UTF-16 path and turns back into the same byte. Shown to
// the user, such a name goes through DisplayPath (replacement characters); the path itself is
// kept, so the file is read and written under its own name.
#pragma once

#include "platform/Text.h"

#include <string>

namespace platform {

constexpr char16_t kPathSeparator = u'/';

std::string ToNativePath(StringView16 path);
String16 FromNativePath(std::string_view native);

// "a" + "b" -> "a/b"; no doubled separator when a already ends in one; an empty a gives b.
String16 JoinPath(StringView16 folder, StringView16 name);
// The part after the last '/'.
StringView16 FileNamePart(StringView16 path);
// Everything before the last separator, without it ("/a/b" -> "/a", "/a" -> "/", "a" -> "").
String16 ParentFolder(StringView16 path);
// The extension without its dot ("a.tar.JPG" -> "JPG"); empty when the name has none.
StringView16 ExtensionPart(StringView16 path);
// Adds '/' unless the path already ends in one.
String16 WithTrailingSeparator(StringView16 path);
// The path as text for the screen: the undecodable bytes of a name (U+DC80..U+DCFF) become
// U+FFFD. Never hand the result back to the file system.
String16 DisplayPath(StringView16 path);

} // namespace platform
