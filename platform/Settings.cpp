#include "platform/Settings.h"

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "platform/TextInternal.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::string_view kHeader = "; Zendra settings 1";
constexpr uint64_t kMaxFileBytes = 16u << 20; // far above any real settings file

void AppendQuoted(std::string& out, StringView16 text)
{
    static const char* hex = "0123456789ABCDEF";
    out.push_back('"');
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (c == u'\\') {
            out += "\\\\";
        } else if (c == u'"') {
            out += "\\\"";
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c == u'\r') {
            out += "\\r";
        } else if (c == u'\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF)) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out.push_back(hex[(c >> shift) & 15]);
        } else {
            AppendUtf8(out, c);
        }
    }
    out.push_back('"');
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses a quoted text starting at line[i] (the opening quote); leaves i after the closing quote.
bool ReadQuoted(std::string_view line, size_t& i, String16& out)
{
    if (i >= line.size() || line[i] != '"')
        return false;
    ++i;
    out.clear();
    while (i < line.size()) {
        char c = line[i];
        if (c == '"') {
            ++i;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= line.size())
                return false;
            char e = line[i + 1];
            i += 2;
            switch (e) {
            case '\\': out.push_back(u'\\'); break;
            case '"': out.push_back(u'"'); break;
            case 'n': out.push_back(u'\n'); break;
            case 'r': out.push_back(u'\r'); break;
            case 't': out.push_back(u'\t'); break;
            case 'u': {
                if (i + 4 > line.size())
                    return false;
                unsigned v = 0;
                for (int k = 0; k < 4; ++k) {
                    int h = HexValue(line[i + k]);
                    if (h < 0)
                        return false;
                    v = v * 16 + static_cast<unsigned>(h);
                }
                out.push_back(static_cast<char16_t>(v));
                i += 4;
                break;
            }
            default:
                return false;
            }
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
        char32_t cp;
        size_t next;
        if (!DecodeUtf8At(line, i, cp, next))
            return false;
        AppendUtf16(out, cp);
        i = next;
    }
    return false; // no closing quote
}

} // namespace

// Another running instance may write the same file: every read-modify-write holds an advisory
// lock on the file's folder, so that neither drops what the other wrote in between.
SettingsStore::FolderLock::FolderLock(const String16& filePath)
{
    const std::string folder = ToNativePath(ParentFolder(filePath));
    if (folder.empty())
        return;
    m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    // A few seconds at most: an instance stuck inside a write must not hang this one.
    for (int waitedMs = 0; flock(m_fd, LOCK_EX | LOCK_NB) != 0; waitedMs += 5) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || waitedMs >= 5000) {
            // No locking here (some network file systems), or none to be had: go on as a
            // single writer would.
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        usleep(5000);
    }
}

SettingsStore::FolderLock::~FolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

SettingsStore::WriteGuard::WriteGuard(SettingsStore& store)
    : m_store(store)
{
    if (!store.m_path.empty())
        CreateFolders(ParentFolder(store.m_path)); // the folder carries the lock
    m_lock.emplace(store.m_path);
    store.m_folderLocked = true;
}

SettingsStore::WriteGuard::~WriteGuard()
{
    m_store.m_folderLocked = false;
}

bool ParseSettingsText(std::string_view text, SettingsData& out)
{
    // One bad line costs only itself (and the values under a bad section line, whose key is
    // unknown); a file without the header is not a settings file at all.
    SettingsData data;
    SettingsValues* current = nullptr;
    bool first = true;
    bool clean = true;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first) {
            if (line != kHeader) {
                out.clear();
                return false;
            }
            first = false;
            continue;
        }
        if (line.empty() || line[0] == ';')
            continue;
        size_t i = 0;
        String16 name;
        if (line[0] == '[') {
            i = 1;
            current = nullptr;
            if (!ReadQuoted(line, i, name) || i + 1 != line.size() || line[i] != ']' || name.empty())
                clean = false;
            else
                current = &data[name];
            continue;
        }
        if (!current || !ReadQuoted(line, i, name) || i >= line.size() || line[i] != '=') {
            clean = false;
            continue;
        }
        ++i;
        SettingsValue value;
        std::string_view rest = line.substr(i);
        if (rest.substr(0, 6) == "dword:") {
            bool ok = rest.size() == 14;
            uint32_t v = 0;
            for (size_t k = 6; ok && k < 14; ++k) {
                int h = HexValue(rest[k]);
                ok = h >= 0;
                v = v * 16 + static_cast<uint32_t>(ok ? h : 0);
            }
            if (!ok) {
                clean = false;
                continue;
            }
            value.type = SettingsValue::Type::Dword;
            value.dword = v;
        } else {
            if (!ReadQuoted(line, i, value.text) || i != line.size()) {
                clean = false;
                continue;
            }
            value.type = SettingsValue::Type::String;
        }
        (*current)[name] = std::move(value);
    }
    out = std::move(data);
    return clean;
}

std::string FormatSettingsText(const SettingsData& data)
{
    std::string out(kHeader);
    out += "\n";
    for (const auto& [key, values] : data) {
        out += "\n[";
        AppendQuoted(out, key);
        out += "]\n";
        for (const auto& [name, value] : values) {
            AppendQuoted(out, name);
            out += "=";
            if (value.type == SettingsValue::Type::Dword) {
                char buf[16];
                snprintf(buf, sizeof(buf), "dword:%08X", static_cast<unsigned>(value.dword));
                out += buf;
            } else {
                AppendQuoted(out, value.text);
            }
            out += "\n";
        }
    }
    return out;
}

SettingsStore::SettingsStore(String16 filePath, bool readOnly)
    : m_path(std::move(filePath)), m_readOnly(readOnly)
{
}

void SettingsStore::SetFile(String16 filePath)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_path = std::move(filePath);
    m_loaded = false;
    m_damaged = false;
    m_data.clear();
}

String16 SettingsStore::File() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_path;
}

void SettingsStore::RefreshLocked(int attempt)
{
    std::string native = ToNativePath(m_path);
    struct stat st {};
    int64_t stamp[4] = {0, 0, 0, 0};
    bool exists = !native.empty() && stat(native.c_str(), &st) == 0;
    if (exists) {
        stamp[0] = static_cast<int64_t>(st.st_ino);
        stamp[1] = static_cast<int64_t>(st.st_size);
        stamp[2] = static_cast<int64_t>(st.st_mtim.tv_sec);
        stamp[3] = static_cast<int64_t>(st.st_mtim.tv_nsec);
    }
    if (m_loaded && !m_unreadable && std::equal(stamp, stamp + 4, m_stamp))
        return;
    m_loaded = true;
    m_damaged = false;
    m_unreadable = false;
    std::copy(stamp, stamp + 4, m_stamp);
    m_data.clear();
    if (!exists)
        return;
    // A file that cannot be opened or read is not damaged: it is left alone, read as empty, and
    // not written over (its values would be lost). One that is far too large is damaged.
    std::vector<uint8_t> bytes;
    platform::File f;
    int64_t size = -1;
    bool opened = f.Open(m_path, FileMode::Read);
    if (opened)
        size = f.Size();
    if (!opened || size < 0) {
        m_unreadable = IsRegularFile(m_path);
        return;
    }
    bool read = false;
    if (static_cast<uint64_t>(size) <= kMaxFileBytes) {
        bytes.resize(static_cast<size_t>(size));
        read = f.ReadExact(bytes.data(), bytes.size());
        uint8_t more;
        if (read && f.Read(&more, 1) != 0)
            read = false; // grew while being read: take it as damaged rather than half
        else if (!read && f.LastError() != 0) {
            m_unreadable = true;
            return;
        }
    }
    f.Close();
    SettingsData parsed;
    if (read && ParseSettingsText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), parsed)) {
        m_data = std::move(parsed);
        return;
    }
    if (!m_readOnly) {
        // Keep the damaged file for inspection; the next write starts afresh. Another instance
        // may have put a sound file in its place meanwhile: that one is read, not set aside.
        std::optional<FolderLock> lock;
        if (!m_folderLocked)
            lock.emplace(m_path);
        std::vector<uint8_t> now;
        if (read && attempt < 3 && (!ReadWholeFile(m_path, now, kMaxFileBytes) || now != bytes)) {
            lock.reset();
            m_loaded = false;
            RefreshLocked(attempt + 1);
            return;
        }
        m_damaged = true;
        if (read)
            m_data = std::move(parsed); // every good line stays
        std::string bad = native + ".bad";
        if (rename(native.c_str(), bad.c_str()) == 0)
            std::fill(m_stamp, m_stamp + 4, 0);
        return;
    }
    m_damaged = true;
    if (read)
        m_data = std::move(parsed);
}

bool SettingsStore::CommitLocked(SettingsData changed)
{
    if (m_readOnly || m_path.empty() || m_unreadable)
        return false;
    CreateFolders(ParentFolder(m_path));
    std::string text = FormatSettingsText(changed);
    if (!WriteWholeFileAtomic(m_path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size())))
        return false;
    m_data = std::move(changed);
    // Remember what was written, so that the next read does not parse it again.
    m_loaded = false;
    RefreshLocked();
    return true;
}

const SettingsValue* SettingsStore::FindLocked(StringView16 key, StringView16 name, SettingsValue::Type type)
{
    RefreshLocked();
    auto k = m_data.find(String16(key));
    if (k == m_data.end())
        return nullptr;
    auto v = k->second.find(String16(name));
    if (v == k->second.end() || v->second.type != type)
        return nullptr;
    return &v->second;
}

bool SettingsStore::ReadDword(StringView16 key, StringView16 name, uint32_t& out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const SettingsValue* v = FindLocked(key, name, SettingsValue::Type::Dword);
    if (!v)
        return false;
    out = v->dword;
    return true;
}

bool SettingsStore::ReadString(StringView16 key, StringView16 name, String16& out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const SettingsValue* v = FindLocked(key, name, SettingsValue::Type::String);
    if (!v)
        return false;
    out = v->text;
    return true;
}

bool SettingsStore::WriteValue(StringView16 key, StringView16 name, SettingsValue value)
{
    if (key.empty())
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_readOnly)
        return false;
    WriteGuard guard(*this);
    RefreshLocked(); // pick up what another process wrote meanwhile
    SettingsData changed = m_data;
    changed[String16(key)][String16(name)] = std::move(value);
    return CommitLocked(std::move(changed));
}

bool SettingsStore::WriteDword(StringView16 key, StringView16 name, uint32_t value)
{
    SettingsValue v;
    v.type = SettingsValue::Type::Dword;
    v.dword = value;
    return WriteValue(key, name, std::move(v));
}

bool SettingsStore::WriteString(StringView16 key, StringView16 name, StringView16 value)
{
    SettingsValue v;
    v.type = SettingsValue::Type::String;
    v.text = String16(value);
    return WriteValue(key, name, std::move(v));
}

bool SettingsStore::DeleteValue(StringView16 key, StringView16 name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_readOnly)
        return false;
    WriteGuard guard(*this);
    RefreshLocked();
    SettingsData changed = m_data;
    auto k = changed.find(String16(key));
    if (k == changed.end() || k->second.erase(String16(name)) == 0)
        return false;
    return CommitLocked(std::move(changed));
}

bool SettingsStore::KeyExists(StringView16 key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    RefreshLocked();
    return m_data.count(String16(key)) != 0;
}

bool SettingsStore::LastLoadWasDamaged()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    RefreshLocked();
    return m_damaged;
}

String16 DefaultUserSettingsFile()
{
    String16 config = UserConfigFolder();
    return config.empty() ? String16() : JoinPath(config, u"zendra/settings.txt");
}

String16 DefaultMachineSettingsFile()
{
    String16 program = ProgramFolder();
    return program.empty() ? String16() : JoinPath(program, u"settings.txt");
}

namespace {

SettingsStore& UserStore()
{
    static SettingsStore store(DefaultUserSettingsFile(), false);
    return store;
}

SettingsStore& MachineStore()
{
    static SettingsStore store(DefaultMachineSettingsFile(), true);
    return store;
}

} // namespace

SettingsStore& Settings(SettingsScope scope)
{
    return scope == SettingsScope::User ? UserStore() : MachineStore();
}

void SetSettingsFiles(String16 userFile, String16 machineFile)
{
    UserStore().SetFile(std::move(userFile));
    MachineStore().SetFile(std::move(machineFile));
}

} // namespace platform
