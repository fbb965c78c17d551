// The string table: parsing the UTF-16LE string files, sorted lookups, the language overlay
// and choice, and the log.
#include "ui/StringTable.h"

#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

std::atomic<ResourceMessageSink> g_messageSink{nullptr};

bool KeyLess(const std::unique_ptr<StringEntry>& a, const std::unique_ptr<StringEntry>& b)
{
    // std::u16string compares char16_t as unsigned code units: no locale, case-sensitive.
    return a->key < b->key;
}

constexpr StringView16 kMarker = u"[StringTab]";

} // namespace

void SetResourceMessageSink(ResourceMessageSink sink)
{
    g_messageSink.store(sink);
}

void ShowResourceMessage(StringView16 text)
{
    if (ResourceMessageSink sink = g_messageSink.load()) {
        sink(text);
        return;
    }
    std::string utf8 = platform::Utf16ToUtf8(text);
    std::fprintf(stderr, "%s\n", utf8.c_str());
}

// ---- lookups ------------------------------------------------------------------------------

ptrdiff_t StringTable::IndexOf(StringView16 key) const
{
    if (!m_sorted) {
        for (size_t i = 0; i < m_entries.size(); ++i)
            if (m_entries[i]->key == key)
                return ptrdiff_t(i);
        return -1;
    }
    ptrdiff_t low = 0, high = ptrdiff_t(m_entries.size()) - 1;
    while (low <= high) {
        ptrdiff_t middle = low + (high - low) / 2;
        int c = StringView16(m_entries[size_t(middle)]->key).compare(key);
        if (c == 0)
            return middle;
        if (c > 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return -1;
}

const char16_t* StringTable::FindText(StringView16 key) const
{
    ptrdiff_t i = IndexOf(key);
    if (i < 0)
        return nullptr;
    StringEntry& e = *m_entries[size_t(i)];
    e.used.store(1, std::memory_order_relaxed);
    return e.text.c_str();
}

const char16_t* StringTable::LookupText(const char16_t* key) const
{
    if (!key)
        return u"";
    if (const char16_t* text = FindText(key))
        return text;
    if (StringView16(key) == u"errinit")
        return u"Error init string";
    return key;
}

// ---- changes ------------------------------------------------------------------------------

void StringTable::Add(StringView16 key, StringView16 text)
{
    ptrdiff_t i = IndexOf(key);
    if (i >= 0) {
        m_entries[size_t(i)]->text.assign(text);
        return;
    }
    auto entry = std::make_unique<StringEntry>();
    entry->key.assign(key);
    entry->text.assign(text);
    if (m_sorted && !m_entries.empty() && !(m_entries.back()->key < entry->key))
        m_sorted = false;
    m_entries.push_back(std::move(entry));
}

void StringTable::AppendUnchecked(StringView16 key, StringView16 text)
{
    auto entry = std::make_unique<StringEntry>();
    entry->key.assign(key);
    entry->text.assign(text);
    m_entries.push_back(std::move(entry));
    m_sorted = false;
}

void StringTable::Sort()
{
    // Stable, so of entries with one key the one added last ends a run: it is the one kept.
    std::stable_sort(m_entries.begin(), m_entries.end(), KeyLess);
    size_t kept = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (i + 1 < m_entries.size() && m_entries[i + 1]->key == m_entries[i]->key)
            continue;
        if (kept != i)
            m_entries[kept] = std::move(m_entries[i]);
        ++kept;
    }
    m_entries.resize(kept);
    m_sorted = true;
}

void StringTable::Clear()
{
    m_entries.clear();
    m_sorted = true;
}

// ---- parsing ------------------------------------------------------------------------------

int StringTable::Parse(const char16_t* path)
{
    if (!path)
        return ParseBytes(m_baseText);
    std::vector<uint8_t> bytes;
    // A string file is text of a few hundred kilobytes; anything far larger is not ours.
    if (!platform::ReadWholeFile(path, bytes, 64u << 20))
        return 0;
    return ParseBytes(bytes);
}

int StringTable::ParseBytes(std::span<const uint8_t> bytes)
{
    // UTF-16LE without a terminator: the text ends with the data (an odd last byte is dropped).
    String16 text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = char16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    int result = ParseText(text);
    Sort();
    return result;
}

int StringTable::ParseText(StringView16 text)
{
    size_t marker = text.find(kMarker);
    if (marker == StringView16::npos)
        return 0;
    // Skip the marker and its line end, whatever kind of line end it is.
    size_t pos = marker + kMarker.size();
    while (pos < text.size() && (text[pos] == u'\r' || text[pos] == u'\n'))
        ++pos;

    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && end - pos < size_t(kMaxLine) && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        StringView16 line = text.substr(pos, end - pos);
        pos = end;
        while (pos < text.size() && (text[pos] == u'\r' || text[pos] == u'\n'))
            ++pos;

        if (line.size() <= 7 || line[0] != u'"')
            continue;
        size_t keyEnd = line.find_first_of(u"\"=", 1);
        size_t valueStart = keyEnd + 3;
        size_t lastQuote = line.rfind(u'"');
        bool wellFormed = keyEnd != StringView16::npos && line.substr(keyEnd, 3) == u"\"=\"" &&
                          lastQuote != StringView16::npos && lastQuote > valueStart;
        if (!wellFormed) {
            String16 message = u"Error in parse string resource:'";
            message.append(line);
            message.append(u"'");
            ShowResourceMessage(message);
            return 0;
        }
        // A bulk load sorts once at the end (a later line with the same key wins there).
        AppendUnchecked(line.substr(1, keyEnd - 1), line.substr(valueStart, lastQuote - valueStart));
    }
    return 1;
}

// ---- owned strings ------------------------------------------------------------------------

void SetOwnedString(std::unique_ptr<char16_t[]>& owned, const char16_t* text)
{
    owned.reset();
    if (!text)
        return;
    size_t n = std::char_traits<char16_t>::length(text);
    owned.reset(new char16_t[n + 1]);
    std::memcpy(owned.get(), text, (n + 1) * sizeof(char16_t));
}

// ---- log ----------------------------------------------------------------------------------

void AppLog::Start(StringView16 path)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_path.assign(path);
    m_on = !m_path.empty();
    if (m_on)
        platform::DeleteFile(m_path);
}

bool AppLog::IsOn() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_on;
}

void AppLog::Write(const char* text)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_on || !text)
        return;
    std::string line;
    char ticks[16];
    std::snprintf(ticks, sizeof ticks, "%08u ", unsigned(platform::GetTickCount32()));
    line.append(ticks).append(text).append("\r\n");
    platform::File file;
    if (!file.Open(m_path, platform::FileMode::OpenAlways))
        return; // a log that cannot be written is dropped silently
    if (file.Seek(0, platform::SeekFrom::End))
        file.Write(line.data(), line.size());
    file.Close();
}

// ---- languages ----------------------------------------------------------------------------

void LanguageList::Scan(StringView16 programFolder)
{
    m_entries.clear();
    String16 folder = programFolder.empty() ? String16(u"basic/Localize")
                                            : platform::JoinPath(platform::JoinPath(programFolder, u"basic"), u"Localize");
    std::vector<platform::FileInfo> files;
    if (!platform::ListFolder(folder, u"*", files))
        return;
    for (const platform::FileInfo& f : files) {
        // Names are case-sensitive here, but "DE.TXT" is plainly a language file too.
        if (f.isDirectory || f.name.size() <= 4 || !platform::EndsWithNoCase(f.name, u".txt"))
            continue;
        m_entries.push_back({platform::JoinPath(folder, f.name), f.name.substr(0, f.name.size() - 4)});
    }
}

int LanguageList::ApplySaved(StringTable& table, StringView16 programFolder, platform::SettingsStore& user,
                             platform::SettingsStore& machine)
{
    String16 name;
    if (!user.ReadString(kProgramKey, kValueName, name) && !machine.ReadString(kProgramKey, kValueName, name))
        name.clear();
    if (name.size() > kMaxName)
        name.resize(kMaxName);
    m_selected = name;
    Scan(programFolder);
    if (m_selected.empty())
        return 0;
    for (const LanguageEntry& e : m_entries)
        if (platform::EqualsNoCase(e.name, m_selected))
            return ApplyFile(table, e.path);
    m_selected.clear();
    return 0;
}

int LanguageList::ApplyFile(StringTable& table, StringView16 path)
{
    StringTable language;
    String16 p(path);
    if (!language.Parse(p.c_str()))
        return 0;
    for (size_t i = 0; i < table.Count(); ++i) {
        StringEntry& e = table.Entry(i);
        if (e.key.empty())
            continue;
        if (const char16_t* text = language.FindText(e.key))
            e.text = text;
    }
    return 1;
}

void LanguageList::Select(StringView16 name, const StringTable& table, platform::SettingsStore& user)
{
    m_selected.assign(name.substr(0, std::min(name.size(), kMaxName)));
    bool stored = false;
    if (user.WriteString(kProgramKey, kValueName, m_selected)) {
        String16 back;
        // Read back at the full capacity: a long name must not look like a failed write.
        stored = user.ReadString(kProgramKey, kValueName, back) && platform::EqualsNoCase(back, m_selected);
    }
    ShowResourceMessage(table.LookupText(stored ? u"restartTosee" : u"unexpect"));
}
