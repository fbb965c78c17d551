#include "platform/Path.h"
#include "platform/TextInternal.h"

namespace platform {

namespace {

bool IsSeparator(char16_t c) { return c == u'/'; }

} // namespace

std::string ToNativePath(StringView16 path)
{
    std::string out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size();) {
        const char32_t c = ReadUtf16At(path, i);
        if (c >= 0xDC80 && c <= 0xDCFF) {
            out.push_back(static_cast<char>(c - 0xDC00)); // an undecodable byte, as read
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

String16 FromNativePath(std::string_view in)
{
    String16 out;
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        char32_t cp;
        size_t next;
        if (!DecodeUtf8At(in, i, cp, next)) {
            out.push_back(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(in[i]))); // keep the byte itself
            ++i;
            continue;
        }
        AppendUtf16(out, cp);
        i = next;
    }
    return out;
}

String16 JoinPath(StringView16 folder, StringView16 name)
{
    String16 out(folder);
    if (!out.empty() && !IsSeparator(out.back()))
        out.push_back(kPathSeparator);
    out.append(name);
    return out;
}

StringView16 FileNamePart(StringView16 path)
{
    size_t pos = path.rfind(u'/');
    return pos == StringView16::npos ? path : path.substr(pos + 1);
}

String16 ParentFolder(StringView16 path)
{
    size_t pos = path.rfind(u'/');
    if (pos == StringView16::npos)
        return String16();
    if (pos == 0)
        return String16(1, kPathSeparator);
    return String16(path.substr(0, pos));
}

StringView16 ExtensionPart(StringView16 path)
{
    StringView16 name = FileNamePart(path);
    size_t dot = name.rfind(u'.');
    if (dot == StringView16::npos || dot == 0)
        return StringView16();
    return name.substr(dot + 1);
}

String16 WithTrailingSeparator(StringView16 path)
{
    String16 out(path);
    if (out.empty() || !IsSeparator(out.back()))
        out.push_back(kPathSeparator);
    return out;
}

String16 DisplayPath(StringView16 path)
{
    String16 out(path);
    for (size_t i = 0; i < out.size(); ++i) {
        const char16_t c = out[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF)
            ++i; // a character outside the basic plane, whole
        else if (c >= 0xD800 && c <= 0xDFFF)
            out[i] = 0xFFFD;
    }
    return out;
}

} // namespace platform
