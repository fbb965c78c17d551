#include "platform/Text.h"
#include "platform/TextInternal.h"

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

} // namespace

void AppendUtf16(String16& out, char32_t cp)
{
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

char32_t ReadUtf16At(StringView16 s, size_t& i)
{
    const char32_t c = s[i++];
    if (c >= 0xD800 && c <= 0xDBFF && i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF)
        return 0x10000 + ((c - 0xD800) << 10) + (s[i++] - 0xDC00);
    return c;
}

bool DecodeUtf8At(std::string_view s, size_t i, char32_t& cp, size_t& end)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int extra;
    char32_t min;
    end = i + 1;
    if (c < 0x80) { cp = c; extra = 0; min = 0; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; min = 0x80; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; min = 0x800; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; min = 0x10000; }
    else return false;
    for (int k = 0; k < extra; ++k, ++end) {
        if (end >= s.size() || (static_cast<unsigned char>(s[end]) & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (static_cast<unsigned char>(s[end]) & 0x3F);
    }
    return cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

String16 Utf8ToUtf16(std::string_view in)
{
    String16 out;
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        char32_t cp;
        size_t next;
        // A broken sequence resumes at the first byte that did not fit it.
        AppendUtf16(out, DecodeUtf8At(in, i, cp, next) ? cp : kReplacement);
        i = next;
    }
    return out;
}

std::string Utf16ToUtf8(StringView16 in)
{
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        const char32_t c = ReadUtf16At(in, i);
        AppendUtf8(out, c >= 0xD800 && c <= 0xDFFF ? kReplacement : c);
    }
    return out;
}

size_t TextLength(const char16_t* text, size_t capacity)
{
    size_t n = 0;
    while (n < capacity && text[n] != 0)
        ++n;
    return n;
}

size_t CopyText(char16_t* dst, size_t capacity, StringView16 src)
{
    if (capacity == 0)
        return 0;
    size_t n = src.size() < capacity - 1 ? src.size() : capacity - 1;
    // Do not leave half a surrogate pair at the end.
    if (n > 0 && n < src.size() && src[n - 1] >= 0xD800 && src[n - 1] <= 0xDBFF)
        --n;
    src.copy(dst, n);
    dst[n] = 0;
    return n;
}

String16 AsciiLower(StringView16 text)
{
    String16 out(text);
    for (char16_t& c : out)
        c = AsciiToLower(c);
    return out;
}

String16 AsciiUpper(StringView16 text)
{
    String16 out(text);
    for (char16_t& c : out)
        c = AsciiToUpper(c);
    return out;
}

int CompareNoCase(StringView16 a, StringView16 b)
{
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        char16_t x = AsciiToLower(a[i]);
        char16_t y = AsciiToLower(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool EndsWithNoCase(StringView16 text, StringView16 suffix)
{
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

String16 UIntToText(uint64_t value, unsigned base, bool upperCase)
{
    if (base < 2 || base > 36)
        return String16();
    const char* digits = upperCase ? "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ" : "0123456789abcdefghijklmnopqrstuvwxyz";
    char16_t buf[64];
    size_t pos = 64;
    do {
        buf[--pos] = static_cast<char16_t>(digits[value % base]);
        value /= base;
    } while (value != 0);
    return String16(buf + pos, 64 - pos);
}

String16 IntToText(int64_t value)
{
    if (value >= 0)
        return UIntToText(static_cast<uint64_t>(value));
    // Negate in unsigned arithmetic so that the smallest value works too.
    return u"-" + UIntToText(0 - static_cast<uint64_t>(value));
}

namespace {

int DigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'z') return c - u'a' + 10;
    if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
    return 99;
}

// Reads digits of base from the start of text; false on overflow.
bool AccumulateDigits(StringView16 text, unsigned base, uint64_t& value, size_t& used)
{
    value = 0;
    used = 0;
    for (; used < text.size(); ++used) {
        int d = DigitValue(text[used]);
        if (d >= static_cast<int>(base))
            break;
        if (value > (UINT64_MAX - static_cast<uint64_t>(d)) / base)
            return false;
        value = value * base + static_cast<uint64_t>(d);
    }
    return true;
}

} // namespace

bool TextToUInt(StringView16 text, uint64_t& out, unsigned base)
{
    if (base < 2 || base > 36 || text.empty())
        return false;
    uint64_t v;
    size_t used;
    if (!AccumulateDigits(text, base, v, used) || used != text.size())
        return false;
    out = v;
    return true;
}

bool TextToInt(StringView16 text, int64_t& out)
{
    bool negative = false;
    if (!text.empty() && (text[0] == u'-' || text[0] == u'+')) {
        negative = text[0] == u'-';
        text.remove_prefix(1);
    }
    uint64_t v;
    if (!TextToUInt(text, v, 10))
        return false;
    if (negative) {
        if (v > uint64_t(INT64_MAX) + 1)
            return false;
        out = v == uint64_t(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(v);
    } else {
        if (v > uint64_t(INT64_MAX))
            return false;
        out = static_cast<int64_t>(v);
    }
    return true;
}

int32_t ParseIntPrefix(StringView16 text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    uint64_t v;
    size_t used;
    bool fits = AccumulateDigits(text.substr(i), 10, v, used);
    if (!fits || v > 0x80000000u)
        return negative ? INT32_MIN : INT32_MAX;
    if (negative)
        return static_cast<int32_t>(-static_cast<int64_t>(v));
    return v > uint64_t(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(v);
}

} // namespace platform
