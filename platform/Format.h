// A checked printf-style formatter for UTF-16 text. Localised texts serve as formats, so a
// format is checked against its arguments before anything is produced: a placeholder whose kind
// does not fit its argument, too few or too many arguments, or an unknown conversion make the
// call fail with an empty result.
//
// Placeholders: %[flags][width][.precision][length]conversion
//   flags - + space # 0; width and precision as decimal numbers (at most 1024; '*' is refused)
//   length l, ll, h, I64: accepted and ignored, an integer prints with its own width
//   d i u x X o  integer (signed or unsigned; %u/%x/%X/%o show a negative value in the
//                argument's own width, as C does)
//   c            a UTF-16 unit (char16_t) or an integer
//   s            UTF-16 text (StringView16, String16, const char16_t*; null prints nothing)
//   f F e E g G  floating point
//   %%           a percent sign
// %n and %p are refused.
#pragma once

#include "platform/Text.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <type_traits>

namespace platform {

class FormatArg {
public:
    enum class Kind { Signed, Unsigned, Double, Text, Char };

    template <typename T>
        requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char16_t> &&
                 !std::is_same_v<T, char> && !std::is_same_v<T, char8_t> && !std::is_same_v<T, char32_t>)
    FormatArg(T v)
        : m_kind(std::is_signed_v<T> ? Kind::Signed : Kind::Unsigned),
          m_bits(sizeof(T) * 8 < 32 ? 32 : static_cast<int>(sizeof(T) * 8))
    {
        if constexpr (std::is_signed_v<T>)
            m_int = static_cast<int64_t>(v);
        else
            m_uint = static_cast<uint64_t>(v);
    }
    FormatArg(double v) : m_kind(Kind::Double), m_double(v) {}
    FormatArg(float v) : m_kind(Kind::Double), m_double(v) {}
    FormatArg(char16_t c) : m_kind(Kind::Char), m_uint(c) {}
    FormatArg(StringView16 s) : m_kind(Kind::Text), m_text(s) {}
    FormatArg(const String16& s) : m_kind(Kind::Text), m_text(s) {}
    FormatArg(const char16_t* s) : m_kind(Kind::Text), m_text(s ? StringView16(s) : StringView16()) {}

    Kind kind() const { return m_kind; }
    int bits() const { return m_bits; }
    int64_t asSigned() const { return m_kind == Kind::Signed ? m_int : static_cast<int64_t>(m_uint); }
    uint64_t asUnsigned() const;
    double asDouble() const { return m_double; }
    StringView16 asText() const { return m_text; }

private:
    Kind m_kind;
    int m_bits = 64;
    int64_t m_int = 0;
    uint64_t m_uint = 0;
    double m_double = 0;
    StringView16 m_text;
};

// Appends nothing and returns false when the format does not fit the arguments.
bool FormatText(String16& out, StringView16 format, std::span<const FormatArg> args);
inline bool FormatText(String16& out, StringView16 format, std::initializer_list<FormatArg> args)
{
    return FormatText(out, format, std::span<const FormatArg>(args.begin(), args.size()));
}

// The formatted text, or nothing when the format does not fit the arguments.
template <typename... Args>
std::optional<String16> Format(StringView16 format, const Args&... args)
{
    const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
    String16 out;
    if (!FormatText(out, format, std::span<const FormatArg>(list, sizeof...(Args))))
        return std::nullopt;
    return out;
}

// Into a fixed buffer, cut to fit and always terminated; on refusal the buffer holds an empty
// text. Returns false on refusal only.
bool FormatToBuffer(char16_t* dst, size_t capacity, StringView16 format, std::span<const FormatArg> args);
template <size_t N, typename... Args>
bool FormatToBuffer(char16_t (&dst)[N], StringView16 format, const Args&... args)
{
    const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
    return FormatToBuffer(dst, N, format, std::span<const FormatArg>(list, sizeof...(Args)));
}

} // namespace platform
