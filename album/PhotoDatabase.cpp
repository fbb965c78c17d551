// The photo database buffer: hash, walks that check every record, find, append, load, save and
// compaction.
#include "album/PhotoDatabase.h"

#include "platform/File.h"
#include "platform/Path.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

PhotoDatabase thePhotoDatabase;

bool IsValidPhotoRecord(const uint8_t* run, size_t used, size_t pos)
{
    if (!run || pos > used || used - pos < kPhotoRecordHeadSize)
        return false;
    const PhotoRecord* r = reinterpret_cast<const PhotoRecord*>(run + pos);
    if (r->Marker() != kPhotoRecordMarker)
        return false;
    const size_t size = r->Size();
    const size_t pathBytes = r->PathBytes();
    const size_t tagBytes = r->TagBytes();
    if ((pathBytes | tagBytes) & 1)
        return false;
    if (size != kPhotoRecordHeadSize + pathBytes + tagBytes)
        return false;
    return size <= used - pos;
}

size_t ValidPhotoRunLength(const uint8_t* run, size_t used)
{
    size_t pos = 0;
    while (IsValidPhotoRecord(run, used, pos))
        pos += reinterpret_cast<const PhotoRecord*>(run + pos)->Size();
    return pos;
}

platform::String16 UpperCasePhotoPath(platform::StringView16 path)
{
    platform::String16 out(path);
    for (char16_t& c : out)
        if (c >= u'a' && c <= u'z')
            c = char16_t(c - 32);
    return out;
}

uint32_t HashPhotoPath(platform::StringView16 path)
{
    static const uint32_t kMultipliers[13] = { 2, 3, 5, 7, 11, 13, 17, 23, 29, 31, 37, 41, 43 };
    if (path.empty())
        return 0;
    uint32_t sum = 0;
    uint8_t x = 0;
    const size_t n = path.size() < 1024 ? path.size() : 1024;
    for (size_t i = 0; i < n; ++i) {
        char16_t c = path[i];
        if (c >= u'a' && c <= u'z')
            c = char16_t(c - 32);
        sum += uint32_t(c) << 22;
        const uint32_t p = uint32_t(c) * kMultipliers[i % 13];
        sum += p << 8;
        x = uint8_t(x ^ (p & 0xFF));
    }
    return sum + x;
}

static bool SameLetterNoCase(char16_t a, char16_t b)
{
    if (a >= u'a' && a <= u'z')
        a = char16_t(a - 32);
    if (b >= u'a' && b <= u'z')
        b = char16_t(b - 32);
    return a == b;
}

int SplitTags(platform::StringView16 text, TagSlot (&slots)[kMaxTagSlots])
{
    int count = 0;
    size_t i = 0;
    while (i < text.size() && count < kMaxTagSlots) {
        while (i < text.size() && text[i] == u' ')
            ++i;
        if (i >= text.size())
            break;
        size_t end = i;
        while (end < text.size() && text[end] != u' ')
            ++end;
        const size_t len = (end - i) < 33 ? (end - i) : 33;
        platform::StringView16 word = text.substr(i, len);
        bool duplicate = false;
        for (int k = 0; k < count && !duplicate; ++k)
            duplicate = platform::EqualsNoCase(slots[k].text, word);
        if (!duplicate) {
            std::memset(slots[count].text, 0, sizeof(slots[count].text));
            for (size_t j = 0; j < word.size(); ++j)
                slots[count].text[j] = word[j];
            ++count;
        }
        i = end;
    }
    return count;
}

PhotoDatabase::~PhotoDatabase()
{
    std::free(m_buffer);
}

bool PhotoDatabase::Allocate(size_t capacity)
{
    uint8_t* b = static_cast<uint8_t*>(std::malloc(capacity ? capacity : 1));
    if (!b)
        return false;
    std::free(m_buffer);
    m_buffer = b;
    m_capacity = capacity;
    m_used = 0;
    DropIndex();
    return true;
}

void PhotoDatabase::BuildIndex()
{
    m_index.clear();
    size_t pos = 0;
    while (m_buffer && IsValidPhotoRecord(m_buffer, m_used, pos)) {
        const PhotoRecord* r = reinterpret_cast<const PhotoRecord*>(m_buffer + pos);
        m_index.emplace(r->PathHash(), pos);
        pos += r->Size();
    }
    m_indexedEnd = pos;
    m_indexValid = true;
}

void PhotoDatabase::FreePhotoDatabase()
{
    platform::ScopedLock hold(lock);
    std::free(m_buffer);
    m_buffer = nullptr;
    m_capacity = 0;
    m_used = 0;
    DropIndex();
}

size_t PhotoDatabase::Used() const
{
    platform::ScopedLock hold(lock);
    return m_used;
}

platform::String16 PhotoDatabase::Path() const
{
    platform::ScopedLock hold(lock);
    return m_path;
}

int PhotoDatabase::LoadPhotoDatabase(platform::StringView16 dataFolder)
{
    const platform::String16 path = platform::JoinPath(dataFolder, u"PhotoScan.db");
    {
        platform::ScopedLock hold(lock);
        m_path = path;
    }
    FreePhotoDatabase();

    platform::File file;
    if (file.Open(path, platform::FileMode::Read)) {
        const int64_t length = file.Size();
        uint8_t version = 0;
        if (length >= 1 && file.ReadExact(&version, 1) && version == kPhotoDatabaseVersion &&
            uint64_t(length) - 1 < uint64_t(SIZE_MAX) - kPhotoDatabaseGrowth) {
            platform::ScopedLock hold(lock);
            const size_t rest = size_t(length - 1);
            if (Allocate(rest + kPhotoDatabaseGrowth)) {
                size_t got = 0;
                while (got < rest) {
                    const int64_t n = file.Read(m_buffer + got, rest - got);
                    if (n <= 0)
                        break;
                    got += size_t(n);
                }
                // Whatever follows the first damaged record is dropped: no walk may step
                // through it, and the next save writes only the sound part.
                m_used = ValidPhotoRunLength(m_buffer, got);
                DropIndex();
                return 1;
            }
        }
    }
    platform::ScopedLock hold(lock);
    return Allocate(kPhotoDatabaseEmptyCapacity) ? 1 : 0;
}

std::vector<uint8_t> PhotoDatabase::FileBytes() const
{
    platform::ScopedLock hold(lock);
    std::vector<uint8_t> bytes;
    if (!m_buffer || m_used == 0)
        return bytes;
    bytes.reserve(m_used + 1);
    bytes.push_back(kPhotoDatabaseVersion);
    bytes.insert(bytes.end(), m_buffer, m_buffer + m_used);
    return bytes;
}

int PhotoDatabase::SavePhotoDatabase()
{
    std::vector<uint8_t> bytes;
    platform::String16 path;
    uint64_t copy = 0;
    {
        platform::ScopedLock hold(lock);
        if (!m_buffer || m_path.empty())
            return 0;
        bytes = FileBytes();
        path = m_path;
        copy = ++m_copies;
    }
    // The write and its sync happen without the lock.
    std::lock_guard<std::mutex> writing(m_writeMutex);
    if (copy < m_written)
        return bytes.empty() ? 0 : 1; // a later copy is on disk already
    platform::AtomicFileWriter writer;
    if (!writer.Open(path))
        return 0;
    if (bytes.empty()) {
        // An empty file: the next load starts an empty database.
        if (writer.Commit())
            m_written = copy;
        return 0;
    }
    if (!writer.Write(bytes.data(), bytes.size()) || !writer.Commit())
        return 0;
    m_written = copy;
    return 1;
}

int PhotoDatabase::CompactPhotoDatabase()
{
    platform::ScopedLock hold(lock);
    if (!m_buffer || m_used == 0)
        return 1;
    if (ValidPhotoRunLength(m_buffer, m_used) != m_used)
        return 0;
    uint8_t* fresh = static_cast<uint8_t*>(std::malloc(m_capacity));
    if (!fresh)
        return 0;
    size_t pos = 0, out = 0;
    while (pos < m_used) {
        const PhotoRecord* r = reinterpret_cast<const PhotoRecord*>(m_buffer + pos);
        const size_t size = r->Size();
        if (r->Seen()) {
            std::memcpy(fresh + out, r, size);
            out += size;
        }
        pos += size;
    }
    std::free(m_buffer);
    m_buffer = fresh;
    m_used = out;
    DropIndex();
    return 1;
}

void PhotoDatabase::ClearSeenFlags()
{
    platform::ScopedLock hold(lock);
    size_t pos = 0;
    while (m_buffer && IsValidPhotoRecord(m_buffer, m_used, pos)) {
        PhotoRecord* r = reinterpret_cast<PhotoRecord*>(m_buffer + pos);
        r->SetSeen(false);
        pos += r->Size();
    }
}

PhotoRecord* PhotoDatabase::FindPhotoRecord(platform::StringView16 path)
{
    const uint32_t hash = HashPhotoPath(path);
    platform::ScopedLock hold(lock);
    if (!m_buffer || m_used == 0)
        return nullptr;
    if (!m_indexValid)
        BuildIndex();
    PhotoRecord* found = nullptr;
    auto [first, last] = m_index.equal_range(hash);
    for (auto it = first; it != last; ++it) {
        const size_t pos = it->second;
        // The first matching record in run order wins, as a walk would find it.
        if (found && pos > size_t(found->head - m_buffer))
            continue;
        if (!IsValidPhotoRecord(m_buffer, m_used, pos))
            continue;
        PhotoRecord* r = reinterpret_cast<PhotoRecord*>(m_buffer + pos);
        if (r->PathHash() != hash || r->PathBytes() != 2 * path.size())
            continue;
        const uint8_t* stored = r->head + kPhotoRecordHeadSize;
        bool same = true;
        for (size_t i = 0; i < path.size() && same; ++i)
            same = SameLetterNoCase(char16_t(photorecord::Get<uint16_t>(stored + 2 * i)), path[i]);
        if (same)
            found = r;
    }
    return found;
}

void PhotoDatabase::NoteAppended(size_t pos, size_t size)
{
    // A record behind a damaged one is out of every walk's reach, so the index leaves it out.
    if (m_indexValid && m_indexedEnd == pos) {
        m_index.emplace(reinterpret_cast<const PhotoRecord*>(m_buffer + pos)->PathHash(), pos);
        m_indexedEnd = pos + size;
    }
    m_used = pos + size;
}

bool PhotoDatabase::AppendPhotoRecord(const PhotoRecord& record)
{
    const size_t size = record.Size();
    // The record must be whole in itself; checked against its own bytes.
    if (!IsValidPhotoRecord(record.head, size, 0))
        return false;
    platform::ScopedLock hold(lock);
    if (m_buffer && m_used + size <= m_capacity) {
        std::memcpy(m_buffer + m_used, &record, size);
        NoteAppended(m_used, size);
        return true;
    }
    size_t capacity = m_capacity ? m_capacity * 2 : kPhotoDatabaseGrowth;
    const size_t used = m_buffer ? m_used : 0;
    while (capacity < used + size) {
        if (capacity > (size_t(1) << 31))
            return false;
        capacity *= 2;
    }
    uint8_t* fresh = static_cast<uint8_t*>(std::malloc(capacity));
    if (!fresh)
        return false;
    if (used)
        std::memcpy(fresh, m_buffer, used);
    std::free(m_buffer);
    m_buffer = fresh;
    m_capacity = capacity;
    m_used = used;
    if (!used)
        DropIndex();
    std::memcpy(m_buffer + m_used, &record, size);
    NoteAppended(m_used, size);
    return true;
}

const PhotoRecord* PhotoDatabase::GetPhotoRecordTexts(const PhotoRecord* record, char16_t* path, char16_t* tags)
{
    if (path)
        path[0] = 0;
    if (tags)
        tags[0] = 0;
    platform::ScopedLock hold(lock);
    if (!record || !m_buffer)
        return nullptr;
    const uint8_t* p = record->head;
    if (p < m_buffer || p >= m_buffer + m_used)
        return nullptr;
    if (!IsValidPhotoRecord(m_buffer, m_used, size_t(p - m_buffer)))
        return nullptr;
    auto copy = [](char16_t* out, const uint8_t* from, size_t bytes) {
        std::memset(out, 0, 1024 * sizeof(char16_t));
        size_t n = bytes / 2;
        if (n > kPhotoTextMaxChars)
            n = kPhotoTextMaxChars;
        for (size_t i = 0; i < n; ++i)
            out[i] = char16_t(photorecord::Get<uint16_t>(from + 2 * i));
    };
    if (path)
        copy(path, p + kPhotoRecordHeadSize, record->PathBytes());
    if (tags) {
        std::memset(tags, 0, 1024 * sizeof(char16_t));
        if (record->TagBytes())
            copy(tags, p + kPhotoRecordHeadSize + record->PathBytes(), record->TagBytes());
    }
    return record;
}

bool PhotoDatabase::RaiseOpenCount(platform::StringView16 path)
{
    platform::ScopedLock hold(lock);
    PhotoRecord* r = FindPhotoRecord(path);
    if (!r)
        return false;
    if (r->OpenCount() < 0x7FFFFFFFu)
        r->SetOpenCount(r->OpenCount() + 2);
    return true;
}

size_t PhotoDatabase::RecordCount()
{
    size_t n = 0;
    ForEachRecord([&](PhotoRecord&) {
        ++n;
        return true;
    });
    return n;
}

bool PhotoDatabase::ReplaceRun(const uint8_t* bytes, size_t size, size_t capacity)
{
    platform::ScopedLock hold(lock);
    if (capacity < size)
        capacity = size;
    if (!Allocate(capacity))
        return false;
    if (size)
        std::memcpy(m_buffer, bytes, size);
    m_used = size;
    return true;
}
