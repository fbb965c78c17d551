// Escape sequences in localised texts: backslash-n, backslash-r and a doubled backslash.
#pragma once

// Copies source into destination (room for the source's length plus the terminator),
// turning "\n" into LF, "\r" into CR, "\\" into one backslash and a backslash before any
// other character into a space. A backslash at the very end ends the text. Returns 0.
int DecodeTextEscapes(const char16_t* source, char16_t* destination);
