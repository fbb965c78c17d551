// The settings store that stands in for the registry: keys such as
// "Software\\Velmora\\Zendra\\Program" hold named DWORD and string values. Each scope is one text
// file: the user's under the per-user configuration folder (read and written), the machine's in
// the program folder (read only). Key and value names compare without regard to ASCII case, as
// the registry's do.
//
// Writes go through a temporary file and a rename, so the file on disk is always whole. A file
// that cannot be read as settings (damaged, cut short, not ours) counts as empty; the user's is
// set aside as "<file>.bad" for inspection before anything new is written. A file that exists
// but cannot be read (no permission, I/O error) reads as empty and is never written over. All
// calls are safe from any thread, and stores of several running programs may share one file: a
// write re-reads and replaces it under a lock on its folder.
#pragma once

#include "platform/Text.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct SettingsValue {
    enum class Type { Dword, String };
    Type type = Type::Dword;
    uint32_t dword = 0;
    String16 text;
    bool operator==(const SettingsValue&) const = default;
};

struct NoCaseLess {
    bool operator()(const String16& a, const String16& b) const { return CompareNoCase(a, b) < 0; }
};
using SettingsValues = std::map<String16, SettingsValue, NoCaseLess>;
using SettingsData = std::map<String16, SettingsValues, NoCaseLess>;

// The file format, for the store and its tests:
//   ; Zendra settings 1
//   ["Software\\Velmora\\Zendra\\Program"]
//   "Animation"=dword:00000001
//   "Language"="Deutsch.txt"
// Texts are UTF-8 in double quotes with \\ \" \n \r \t and \uXXXX escapes (a lone surrogate is
// written as \uXXXX so that any UTF-16 text survives). false when the text is not such a file
// or has bad lines; out then holds every good line (nothing without the header).
bool ParseSettingsText(std::string_view text, SettingsData& out);
std::string FormatSettingsText(const SettingsData& data);

class SettingsStore {
public:
    SettingsStore(String16 filePath, bool readOnly);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Points the store at another file (tests, start-up); nothing is read until it is used.
    void SetFile(String16 filePath);
    String16 File() const;
    bool IsReadOnly() const { return m_readOnly; }

    // false when the key or value is missing or has the other type; out is then unchanged.
    bool ReadDword(StringView16 key, StringView16 name, uint32_t& out);
    bool ReadString(StringView16 key, StringView16 name, String16& out);
    // Creates the key when missing. false when the store is read-only or the file could not be
    // written (the store then keeps its previous values).
    bool WriteDword(StringView16 key, StringView16 name, uint32_t value);
    bool WriteString(StringView16 key, StringView16 name, StringView16 value);
    bool DeleteValue(StringView16 key, StringView16 name);
    bool KeyExists(StringView16 key);

    // True when the last load found a damaged file.
    bool LastLoadWasDamaged();

private:
    // An advisory lock on the file's folder, shared with every store and process using it.
    class FolderLock {
    public:
        explicit FolderLock(const String16& filePath);
        ~FolderLock();
        FolderLock(const FolderLock&) = delete;
        FolderLock& operator=(const FolderLock&) = delete;

    private:
        int m_fd = -1;
    };
    // Held (with m_mutex) from the re-read to the rename of one write.
    class WriteGuard {
    public:
        explicit WriteGuard(SettingsStore& store);
        ~WriteGuard();
        WriteGuard(const WriteGuard&) = delete;
        WriteGuard& operator=(const WriteGuard&) = delete;

    private:
        SettingsStore& m_store;
        std::optional<FolderLock> m_lock;
    };

    void RefreshLocked(int attempt = 0);
    bool CommitLocked(SettingsData changed);
    // The fresh value under key\name when it has the given type, else null; m_mutex is held.
    const SettingsValue* FindLocked(StringView16 key, StringView16 name, SettingsValue::Type type);
    // Stores value under key\name in the file; the common path of WriteDword and WriteString.
    bool WriteValue(StringView16 key, StringView16 name, SettingsValue value);

    mutable std::mutex m_mutex;
    String16 m_path;
    bool m_readOnly;
    bool m_loaded = false;
    bool m_damaged = false;
    bool m_unreadable = false; // exists but cannot be read: never written over
    bool m_folderLocked = false; // a WriteGuard holds the folder lock
    // What the cached data was read from, to notice another process's changes.
    int64_t m_stamp[4] = {0, 0, 0, 0};
    SettingsData m_data;
};

enum class SettingsScope { User, Machine };

// The two stores of the program. By default the user's file is
// <user config folder>/zendra/settings.txt and the machine's <program folder>/settings.txt.
SettingsStore& Settings(SettingsScope scope);
// Puts both files elsewhere (tests point them at a temporary folder).
void SetSettingsFiles(String16 userFile, String16 machineFile);
String16 DefaultUserSettingsFile();
String16 DefaultMachineSettingsFile();

} // namespace platform
