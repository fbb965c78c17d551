// Compiles and checks the string-table sources.
#include "tools/StringSource.h"

#include "tools/SourceLines.h"

#include <set>

namespace tools {

namespace {

void CollectMessages(StringView16 text);
std::string* g_collect = nullptr;
void CollectMessages(StringView16 text)
{
    if (g_collect)
        g_collect->append(platform::Utf16ToUtf8(text)).append("\n");
}

} // namespace

bool CompileStringSource(std::string_view source, std::vector<uint8_t>& out, std::string& error)
{
    String16 text = u"\uFEFF[StringTab]\r\n";
    std::set<String16> keys;
    SourceLines lines(source);
    for (std::string_view line; lines.Next(line);) {
        size_t lineNo = lines.Number();
        if (line.empty() || line[0] == ';') {
            text.append(platform::Utf8ToUtf16(line)).append(u"\r\n");
            continue;
        }
        String16 l = platform::Utf8ToUtf16(line);
        // One line must parse as exactly one entry, the way the program will read it.
        StringTable probe;
        std::string messages;
        g_collect = &messages;
        SetResourceMessageSink(CollectMessages);
        String16 single = u"[StringTab]\r\n" + l + u"\r\n";
        std::vector<uint8_t> bytes;
        for (char16_t c : single) {
            bytes.push_back(uint8_t(c & 0xFF));
            bytes.push_back(uint8_t(c >> 8));
        }
        int ok = probe.ParseBytes(bytes);
        SetResourceMessageSink(nullptr);
        g_collect = nullptr;
        if (!ok || probe.Count() != 1 || l.size() > size_t(StringTable::kMaxLine)) {
            error = "line " + std::to_string(lineNo) + ": not a \"key\"=\"text\" entry of at most 1023 characters: " +
                    std::string(line);
            return false;
        }
        if (!keys.insert(probe.Entry(0).key).second) {
            error = "line " + std::to_string(lineNo) + ": key defined twice: " + platform::Utf16ToUtf8(probe.Entry(0).key);
            return false;
        }
        text.append(l).append(u"\r\n");
    }
    out.clear();
    out.reserve(text.size() * 2);
    for (char16_t c : text) {
        out.push_back(uint8_t(c & 0xFF));
        out.push_back(uint8_t(c >> 8));
    }
    return true;
}

std::string Placeholders(StringView16 text)
{
    std::string kinds;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'%')
            continue;
        size_t j = i + 1;
        if (j < text.size() && text[j] == u'%') {
            i = j;
            continue;
        }
        while (j < text.size() && StringView16(u"-+ #0123456789.*lhI").find(text[j]) != StringView16::npos)
            ++j;
        if (j < text.size())
            kinds.push_back(char(text[j] < 128 ? text[j] : '?'));
        i = j;
    }
    return kinds;
}

bool CompareLanguage(const StringTable& english, const StringTable& language, std::string& error)
{
    error.clear();
    for (size_t i = 0; i < english.Count(); ++i) {
        const StringEntry& e = english.Entry(i);
        const char16_t* t = language.FindText(e.key);
        if (!t)
            error += "missing key: " + platform::Utf16ToUtf8(e.key) + "\n";
        else if (Placeholders(t) != Placeholders(e.text))
            error += "placeholders differ: " + platform::Utf16ToUtf8(e.key) + "\n";
    }
    for (size_t i = 0; i < language.Count(); ++i)
        if (!english.FindText(language.Entry(i).key))
            error += "key not in the English table: " + platform::Utf16ToUtf8(language.Entry(i).key) + "\n";
    return error.empty();
}

} // namespace tools
