// Paths. The program keeps paths as UTF-16 text; the file system takes UTF-8 bytes.
//
// Separators: native paths use '/'. A '\\' in a program path (stored keys and texts built the
// Windows way, "folder\\name") is turned into '/' on the way to the file system, so a file whose
// name holds a literal backslash cannot be reached through these calls.
//
// Names that are not valid UTF-8 survive the trip: each byte that does not decode becomes a
// lone surrogate U+DC80..U+DCFF in the UTF-16 path and turns back into the same byte.
#pragma once

#include "platform/Text.h"

#include <string>

namespace platform {

constexpr char16_t kPathSeparator = u'/';

std::string ToNativePath(StringView16 path);
String16 FromNativePath(std::string_view native);

// "a" + "b" -> "a/b"; no doubled separator when a already ends in one; an empty a gives b.
String16 JoinPath(StringView16 folder, StringView16 name);
// The part after the last separator ('/' or '\\').
StringView16 FileNamePart(StringView16 path);
// Everything before the last separator, without it ("/a/b" -> "/a", "/a" -> "/", "a" -> "").
String16 ParentFolder(StringView16 path);
// The extension without its dot ("a.tar.JPG" -> "JPG"); empty when the name has none.
StringView16 ExtensionPart(StringView16 path);
// Adds '/' unless the path already ends in a separator.
String16 WithTrailingSeparator(StringView16 path);

} // namespace platform
