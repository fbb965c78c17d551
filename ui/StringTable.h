// The localised texts of the program: one table of key -> text parsed from the UTF-16LE
// string files ("resource.txt" and a language overlay from basic/Localize), the language list,
// the one-line log and the small owned-string helper. Keys compare by UTF-16 code units,
// case-sensitive ("Title" and "title" are two keys).
#pragma once

#include "platform/Format.h"
#include "platform/Settings.h"
#include "platform/Text.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

using platform::String16;
using platform::StringView16;

struct StringEntry {
    String16 key;
    String16 text;
    // Set by lookups, which may run on the render thread while the UI thread looks up too.
    std::atomic<uint8_t> used{0};
};

// Where parse errors and language messages go. The program points this at its message box;
// until then (and in tools and tests) they go to stderr.
using ResourceMessageSink = void (*)(StringView16 text);
void SetResourceMessageSink(ResourceMessageSink sink);
void ShowResourceMessage(StringView16 text);

class StringTable {
public:
    static constexpr int kMaxLine = 1023;

    StringTable() = default;
    StringTable(const StringTable&) = delete;
    StringTable& operator=(const StringTable&) = delete;
    StringTable(StringTable&&) = default;
    StringTable& operator=(StringTable&&) = default;

    // The text of the key. A missing key gives the key itself, so no caller formats or copies
    // a null; a missing "errinit" gives "Error init string". The table must be sorted.
    const char16_t* LookupText(const char16_t* key) const;
    // The entry's text, or null when the key is missing (for code that must tell).
    const char16_t* FindText(StringView16 key) const;
    int HasKey(StringView16 key) const { return FindText(key) != nullptr; }

    // A localised text used as a format: the formatted text, or the key itself when the text's
    // placeholders do not fit the arguments (a translation must not crash the program).
    template <typename... Args>
    String16 FormatText(const char16_t* key, const Args&... args) const
    {
        if (std::optional<String16> out = platform::Format(LookupText(key), args...))
            return *out;
        return String16(key);
    }

    // Stores the text under the key; an existing key gets the new text (it keeps its place, so
    // a sorted table stays sorted). A new key is appended: sort before the next lookup.
    void Add(StringView16 key, StringView16 text);
    // Sorts by key; of several entries with one key only the last added stays.
    void Sort();
    void Clear();
    size_t Count() const { return m_entries.size(); }
    const StringEntry& Entry(size_t i) const { return *m_entries[i]; }
    StringEntry& Entry(size_t i) { return *m_entries[i]; }

    // Parses a string-table file (UTF-16LE text). Null parses the base text set before. 1 when
    // the whole text was read; 0 when the file cannot be read, has no "[StringTab]" or a line
    // is malformed (entries before that line stay). The table is sorted afterwards either way.
    int Parse(const char16_t* path);
    int ParseBytes(std::span<const uint8_t> bytes);
    void SetBaseText(std::vector<uint8_t> bytes) { m_baseText = std::move(bytes); }
    const std::vector<uint8_t>& BaseText() const { return m_baseText; }

private:
    // Index of the entry or -1; binary search when sorted, else a scan.
    ptrdiff_t IndexOf(StringView16 key) const;
    int ParseText(StringView16 text);
    void AppendUnchecked(StringView16 key, StringView16 text);

    std::vector<std::unique_ptr<StringEntry>> m_entries;
    std::vector<uint8_t> m_baseText;
    bool m_sorted = true;
};

// Frees the held string and stores a copy of the new text (null leaves it null).
void SetOwnedString(std::unique_ptr<char16_t[]>& owned, const char16_t* text);

// The one-line log: each line "%08u %s\r\n" (milliseconds since the system started, message),
// appended to the file named by the key "logpath". Lines from several threads never mix.
class AppLog {
public:
    // Logging on with this file, which is deleted so that each run starts a new log; an empty
    // path switches logging off.
    void Start(StringView16 path);
    bool IsOn() const;
    void Write(const char* text);

private:
    mutable std::mutex m_lock;
    String16 m_path;
    bool m_on = false;
};

struct LanguageEntry {
    String16 path; // full path of the language file
    String16 name; // the file name without its last four characters (".txt")
};

// The language files of basic/Localize and the choice among them, kept in the settings as
// Program\Language (empty = the built-in texts).
class LanguageList {
public:
    static constexpr const char16_t* kProgramKey = u"Software\\Velmora\\Zendra\\Program";
    static constexpr const char16_t* kValueName = u"Language";
    static constexpr size_t kMaxName = 255;

    // programFolder ends in a separator.
    void Scan(StringView16 programFolder);
    // Reads the choice (user, else machine), scans, and overlays the chosen file. 1 when a file
    // was applied; 0 for the built-in texts, an unknown name (the choice is then cleared) or a
    // file that failed.
    int ApplySaved(StringTable& table, StringView16 programFolder, platform::SettingsStore& user,
                   platform::SettingsStore& machine);
    // Overlays the texts of the file on keys the table already has; keys only the file defines
    // are ignored; a malformed file changes nothing but shows the parse message.
    static int ApplyFile(StringTable& table, StringView16 path);
    // Stores the choice and tells the user it acts at the next start ("restartTosee"), or
    // "unexpect" when the setting could not be stored.
    void Select(StringView16 name, const StringTable& table, platform::SettingsStore& user);

    const std::vector<LanguageEntry>& Entries() const { return m_entries; }
    const String16& Selected() const { return m_selected; }

private:
    std::vector<LanguageEntry> m_entries;
    String16 m_selected;
};
