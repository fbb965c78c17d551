// Settings under "Software\Velmora\Zendra\<section>", on the platform's settings store: the
// user's values (read and written) and the installation's (read only).
#pragma once

#include <cstdint>

inline constexpr char16_t kRegistryRoot[] = u"Software\\Velmora\\Zendra";

// user 1 reads the user's values, 0 the installation's; the default on any failure. An empty
// (or null) section names the root key itself.
uint32_t ReadRegistryDword(const char16_t* section, const char16_t* name, uint32_t defaultValue, int user);

// A given default is copied into the buffer first, so a failed read leaves the default there
// (a null default leaves the buffer as it was). Values of more than 4096 bytes are refused; a
// value longer than the capacity ends in "..". 1 when the value was read.
int ReadRegistryString(const char16_t* section, const char16_t* name, const char16_t* defaultValue,
                       char16_t* out, int capacity, int user);

// Always the user's values; the key is created when missing. 1 on success.
int WriteRegistryDword(const char16_t* section, const char16_t* name, uint32_t value);
int WriteRegistryString(const char16_t* section, const char16_t* name, const char16_t* value);
