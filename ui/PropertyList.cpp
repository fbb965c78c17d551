// Number and fraction reading, rational texts, choices and committed values of the property list.
#include "ui/PropertyList.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <limits>
#include <numeric>

namespace {

constexpr size_t kMaxNumberText = 255;

// The leading decimal number of a text as the C library reads it (spaces, sign, digits, point,
// exponent); 0 when there is none.
double LeadingNumber(const std::u16string& text)
{
    std::string narrow;
    for (char16_t c : text)
        narrow += c < 128 ? char(c) : '?';
    return std::strtod(narrow.c_str(), nullptr);
}

std::u16string Widen(const char* s)
{
    std::u16string out;
    while (*s)
        out += char16_t(*s++);
    return out;
}

// A whole number with nothing after it but spaces; false on overflow or any other character.
bool ParseInteger(const std::u16string& text, int64_t& out)
{
    size_t i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    if (i >= text.size() || text[i] < u'0' || text[i] > u'9')
        return false;
    int64_t v = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        v = v * 10 + (text[i] - u'0');
        if (v > (int64_t(1) << 40))
            return false;
    }
    while (i < text.size() && text[i] == u' ')
        ++i;
    if (i != text.size())
        return false;
    out = negative ? -v : v;
    return true;
}

} // namespace

int ParseNumberOrFraction(const char16_t* text, double& out)
{
    if (!text || !*text || *text > u'9')
        return 0;
    std::u16string s(text);
    if (s.size() > kMaxNumberText)
        s.resize(kMaxNumberText);
    const size_t slash = s.find(u'/');
    const double numerator = LeadingNumber(s.substr(0, slash));
    double denominator = 1;
    if (slash != std::u16string::npos) {
        const size_t next = s.find(u'/', slash + 1);
        denominator = LeadingNumber(s.substr(slash + 1, next == std::u16string::npos ? next : next - slash - 1));
    }
    if (!(std::fabs(denominator) >= 1e-8))
        return 0;
    out = numerator / denominator;
    return 1;
}

void SimplifyRational(int64_t& numerator, int64_t& denominator)
{
    if (denominator < 0) {
        numerator = -numerator;
        denominator = -denominator;
    }
    const int64_t g = std::gcd(numerator, denominator);
    if (g > 1) {
        numerator /= g;
        denominator /= g;
    }
}

std::u16string RationalText(int64_t numerator, int64_t denominator)
{
    if (denominator == 0)
        return u"";
    if (double(numerator) / double(denominator) > 1) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.1f", double(numerator) / double(denominator));
        return Widen(buffer);
    }
    if (numerator == 0)
        return u"0";
    SimplifyRational(numerator, denominator);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%lld/%lld", static_cast<long long>(numerator), static_cast<long long>(denominator));
    return Widen(buffer);
}

std::u16string RationalText(double value)
{
    if (!std::isfinite(value))
        return u"";
    if (value > 1)
        return RationalText(int64_t(std::llround(value * 10)), 10);
    // Half away from zero on both sides, so -0.00005 and 0.00005 mirror each other.
    const double scaled = value * 10000;
    const int64_t numerator = int64_t(scaled < 0 ? -std::floor(-scaled + 0.5) : std::floor(scaled + 0.5));
    return RationalText(numerator, 10000);
}

int CPropItem::SetChoices(const char16_t* text)
{
    choices.clear();
    std::u16string s(text ? text : u"");
    if (s.size() > 1024)
        s.resize(1024);
    size_t at = 0;
    while (at < s.size()) {
        const size_t bar = s.find(u'|', at);
        const std::u16string segment = s.substr(at, bar == std::u16string::npos ? bar : bar - at);
        const size_t caret = segment.find(u'^');
        if (caret == std::u16string::npos)
            break;
        Choice c{};
        CopyTextBounded(c.label, 64, segment.substr(0, caret).c_str());
        c.value = int32_t(std::clamp(LeadingNumber(segment.substr(caret + 1)), -2147483648.0, 2147483647.0));
        choices.push_back(c);
        if (bar == std::u16string::npos)
            break;
        at = bar + 1;
    }
    return int(choices.size());
}

CPropItem::Commit CPropItem::CommitText(const char16_t* text)
{
    const std::u16string s(text ? text : u"");
    if (kind == kUnsigned || kind == kSigned) {
        int64_t v = 0;
        if (!ParseInteger(s, v))
            return Commit::NotANumber;
        if (v < minimum || v > maximum)
            return Commit::OutOfRange;
        value = Widen(std::to_string(v).c_str());
        return Commit::Ok;
    }
    if (kind == kRational) {
        double v = 0;
        if (!ParseNumberOrFraction(s.c_str(), v) || !std::isfinite(v))
            return Commit::NotANumber;
        value = RationalText(v);
        return Commit::Ok;
    }
    value = s;
    return Commit::Ok;
}
