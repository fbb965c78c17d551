// UTF-16 text, as the program keeps it, and its conversions at the platform boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

using String16 = std::u16string;
using StringView16 = std::u16string_view;

// Invalid input (lone surrogates, bad UTF-8 sequences) becomes U+FFFD rather than failing:
// file names and outside text must still be shown.
String16 Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(StringView16 utf16);

// Appends one code point (at most U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// Fixed-size buffers, as the program's records hold them (wide characters [N]).

// Length up to the first terminator, never past capacity.
size_t TextLength(const char16_t* text, size_t capacity);
template <size_t N>
StringView16 BufferView(const char16_t (&buffer)[N])
{
    return StringView16(buffer, TextLength(buffer, N));
}

// Copies as much as fits and always terminates (capacity 0 writes nothing). A surrogate pair is
// never split at the cut. Returns the number of units copied, without the terminator.
size_t CopyText(char16_t* dst, size_t capacity, StringView16 src);
template <size_t N>
size_t CopyText(char16_t (&dst)[N], StringView16 src)
{
    return CopyText(dst, N, src);
}

// ASCII-only case folding: file extensions, keys and patterns compare this way; other letters
// compare exactly.
constexpr char16_t AsciiToLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }
constexpr char16_t AsciiToUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }
String16 AsciiLower(StringView16 text);
String16 AsciiUpper(StringView16 text);
// <0, 0 or >0 like the C library compare, on the ASCII-lowered units.
int CompareNoCase(StringView16 a, StringView16 b);
inline bool EqualsNoCase(StringView16 a, StringView16 b) { return a.size() == b.size() && CompareNoCase(a, b) == 0; }
bool EndsWithNoCase(StringView16 text, StringView16 suffix);

// Integers and text.
String16 IntToText(int64_t value);
String16 UIntToText(uint64_t value, unsigned base = 10, bool upperCase = false);
// Strict: the whole text must be an optional sign and decimal digits, within range.
bool TextToInt(StringView16 text, int64_t& out);
bool TextToUInt(StringView16 text, uint64_t& out, unsigned base = 10);
// Lenient, like the C runtime's text-to-int: skips leading blanks, reads an optional sign and
// the digits that follow, stops at the first other character; 0 when there are none; clamps to
// the 32-bit range.
int32_t ParseIntPrefix(StringView16 text);

} // namespace platform
