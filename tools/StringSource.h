// Build-time compiler of the string tables: the UTF-8 text sources kept in resources/strings
// become the UTF-16LE files the program reads ("[StringTab]" and "key"="value" lines). Sources
// are checked hard, so a mistake stops the build instead of reaching a user: every line is a
// comment, blank, or a well-formed entry; no key twice; and a language file has exactly the
// keys of the English one, with the same placeholders in the same order.
#pragma once

#include "ui/StringTable.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// The UTF-16LE file (byte-order mark, "[StringTab]", CR LF line ends) for a UTF-8 source.
// false with a message naming the line when the source is not well formed.
bool CompileStringSource(std::string_view source, std::vector<uint8_t>& out, std::string& error);

// The printf conversions of a text in order ("%d of %s" -> "ds"; "%%" is no placeholder;
// flags, width, precision and length letters are skipped).
std::string Placeholders(StringView16 text);

// A language table against the English one: the same keys and, key by key, the same
// placeholders. false with every difference listed.
bool CompareLanguage(const StringTable& english, const StringTable& language, std::string& error);

} // namespace tools
