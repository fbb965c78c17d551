#include "platform/Format.h"

#include <cstdio>

namespace platform {

uint64_t FormatArg::asUnsigned() const
{
    if (m_kind != Kind::Signed)
        return m_uint;
    // A negative value shows in the argument's own width, as the C library does.
    uint64_t v = static_cast<uint64_t>(m_int);
    return m_bits >= 64 ? v : (v & ((uint64_t(1) << m_bits) - 1));
}

namespace {

constexpr int kMaxField = 1024;

struct Placeholder {
    bool left = false, plus = false, space = false, alt = false, zero = false;
    int width = -1;
    int precision = -1;
    char16_t conv = 0;
};

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Parses a number of at most kMaxField; false when larger.
bool ReadNumber(StringView16 f, size_t& i, int& out)
{
    int v = 0;
    while (i < f.size() && IsDigit(f[i])) {
        v = v * 10 + (f[i] - u'0');
        if (v > kMaxField)
            return false;
        ++i;
    }
    out = v;
    return true;
}

// Parses the placeholder after '%' at i; leaves i after the conversion.
bool ParsePlaceholder(StringView16 f, size_t& i, Placeholder& s)
{
    for (; i < f.size(); ++i) {
        char16_t c = f[i];
        if (c == u'-') s.left = true;
        else if (c == u'+') s.plus = true;
        else if (c == u' ') s.space = true;
        else if (c == u'#') s.alt = true;
        else if (c == u'0') s.zero = true;
        else break;
    }
    if (i < f.size() && IsDigit(f[i]) && !ReadNumber(f, i, s.width))
        return false;
    if (i < f.size() && f[i] == u'.') {
        ++i;
        if (!ReadNumber(f, i, s.precision))
            return false;
    }
    // Length modifiers: the argument carries its own width.
    if (f.substr(i, 3) == u"I64") i += 3;
    else if (f.substr(i, 2) == u"ll" || f.substr(i, 2) == u"hh") i += 2;
    else if (i < f.size() && (f[i] == u'l' || f[i] == u'h' || f[i] == u'L' || f[i] == u'z')) ++i;
    if (i >= f.size())
        return false;
    s.conv = f[i++];
    return true;
}

std::string NarrowFormat(const Placeholder& s, const char* length, char conv)
{
    std::string out = "%";
    if (s.left) out += '-';
    if (s.plus) out += '+';
    if (s.space) out += ' ';
    if (s.alt) out += '#';
    if (s.zero) out += '0';
    if (s.width >= 0) out += std::to_string(s.width);
    if (s.precision >= 0) out += "." + std::to_string(s.precision);
    out += length;
    out += conv;
    return out;
}

template <typename T>
void AppendNumber(String16& out, const std::string& narrow, T value)
{
    // The widest result: a 1024 width or precision, plus the digits of a double.
    char buf[kMaxField + 400];
    int n = std::snprintf(buf, sizeof(buf), narrow.c_str(), value);
    if (n < 0)
        return;
    size_t len = static_cast<size_t>(n) < sizeof(buf) ? static_cast<size_t>(n) : sizeof(buf) - 1;
    for (size_t k = 0; k < len; ++k)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(buf[k])));
}

void AppendPadded(String16& out, const Placeholder& s, StringView16 text)
{
    size_t pad = s.width > 0 && static_cast<size_t>(s.width) > text.size() ? s.width - text.size() : 0;
    if (!s.left)
        out.append(pad, u' ');
    out.append(text);
    if (s.left)
        out.append(pad, u' ');
}

bool IsInteger(const FormatArg& a)
{
    return a.kind() == FormatArg::Kind::Signed || a.kind() == FormatArg::Kind::Unsigned;
}

} // namespace

bool FormatText(String16& result, StringView16 f, std::span<const FormatArg> args)
{
    String16 out;
    size_t next = 0;
    for (size_t i = 0; i < f.size();) {
        if (f[i] != u'%') {
            out.push_back(f[i++]);
            continue;
        }
        ++i;
        if (i < f.size() && f[i] == u'%') {
            out.push_back(u'%');
            ++i;
            continue;
        }
        Placeholder s;
        if (!ParsePlaceholder(f, i, s))
            return false;
        if (next >= args.size())
            return false;
        const FormatArg& a = args[next++];
        switch (s.conv) {
        case u'd':
        case u'i':
            if (!IsInteger(a))
                return false;
            if (a.kind() == FormatArg::Kind::Unsigned)
                AppendNumber(out, NarrowFormat(s, "ll", 'u'), static_cast<unsigned long long>(a.asUnsigned()));
            else
                AppendNumber(out, NarrowFormat(s, "ll", 'd'), static_cast<long long>(a.asSigned()));
            break;
        case u'u':
        case u'x':
        case u'X':
        case u'o':
            if (!IsInteger(a))
                return false;
            AppendNumber(out, NarrowFormat(s, "ll", static_cast<char>(s.conv)), static_cast<unsigned long long>(a.asUnsigned()));
            break;
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G':
            if (a.kind() != FormatArg::Kind::Double)
                return false;
            AppendNumber(out, NarrowFormat(s, "", static_cast<char>(s.conv)), a.asDouble());
            break;
        case u'c':
            if (a.kind() != FormatArg::Kind::Char && !IsInteger(a))
                return false;
            {
                char16_t c = static_cast<char16_t>(a.asUnsigned());
                AppendPadded(out, s, StringView16(&c, 1));
            }
            break;
        case u's':
            if (a.kind() != FormatArg::Kind::Text)
                return false;
            {
                StringView16 t = a.asText();
                if (s.precision >= 0 && static_cast<size_t>(s.precision) < t.size()) {
                    size_t n = static_cast<size_t>(s.precision);
                    if (n > 0 && t[n - 1] >= 0xD800 && t[n - 1] <= 0xDBFF)
                        --n; // keep surrogate pairs whole
                    t = t.substr(0, n);
                }
                AppendPadded(out, s, t);
            }
            break;
        default:
            return false; // %n, %p, '*' and anything unknown
        }
    }
    if (next != args.size())
        return false;
    result += out;
    return true;
}

bool FormatToBuffer(char16_t* dst, size_t capacity, StringView16 format, std::span<const FormatArg> args)
{
    String16 out;
    bool ok = FormatText(out, format, args);
    CopyText(dst, capacity, out);
    return ok;
}

} // namespace platform
