// The photo database: every photo record the background scan has built, packed in one buffer
// under one re-entrant lock and stored whole in "PhotoScan.db" (a version byte, then the run of
// records exactly as in memory).
//
// Paths keep their real case (Linux names are case-sensitive, and the records are opened by
// them); the hash and every path comparison work on a copy with a-z turned into capitals.
#pragma once

#include "album/PhotoRecord.h"
#include "platform/Sync.h"
#include "platform/Text.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

constexpr uint8_t kPhotoDatabaseVersion = 3;
constexpr size_t kPhotoDatabaseGrowth = 1024000;
constexpr size_t kPhotoDatabaseEmptyCapacity = 1024;

// The letters a to z become capitals; nothing else changes (no locale rules).
platform::String16 UpperCasePhotoPath(platform::StringView16 path);
// The hash of the upper-cased path; 0 for an empty path.
uint32_t HashPhotoPath(platform::StringView16 path);

// One keyword of a tag text: at most 33 characters and the terminator.
struct TagSlot {
    char16_t text[34];
};
constexpr int kMaxTagSlots = 16;
// Splits a blank-separated tag text into at most 16 distinct keywords (A-Z without regard to
// case), each cut to 33 characters. Returns the number stored.
int SplitTags(platform::StringView16 text, TagSlot (&slots)[kMaxTagSlots]);

class PhotoDatabase {
public:
    PhotoDatabase() = default;
    ~PhotoDatabase();
    PhotoDatabase(const PhotoDatabase&) = delete;
    PhotoDatabase& operator=(const PhotoDatabase&) = delete;

    // Every PhotoRecord pointer is valid only while this lock is held; take it before a find,
    // a walk or a text read and keep it until the last use of the record.
    mutable platform::CriticalSection lock;

    // The buffer's address and size mean something only while the lock is held.
    uint8_t* Buffer() const { return m_buffer; }
    size_t Capacity() const { return m_capacity; }
    // Each under the lock.
    size_t Used() const;
    platform::String16 Path() const;

    // Loads "PhotoScan.db" from the data folder. A missing file or another version starts an
    // empty database; a damaged run is cut at its first bad record. 1 when the database holds a
    // buffer afterwards.
    int LoadPhotoDatabase(platform::StringView16 dataFolder);
    // 1 when the file was written with at least one record. The file is replaced in one rename.
    // The run is copied under the lock and written without it, so a lookup on the UI thread
    // never waits for the disk; of two saves at once, the file ends with the later copy.
    int SavePhotoDatabase();
    // What a save writes: the version byte and the run as it is now (empty without a buffer).
    std::vector<uint8_t> FileBytes() const;
    // Keeps the records whose seen bit is set, in order. 1 when done or nothing to do; 0 (and
    // the database unchanged) on a damaged run.
    int CompactPhotoDatabase();
    void FreePhotoDatabase();
    void ClearSeenFlags();

    // The first record whose whole path equals path, compared as upper-cased copies; null when
    // none (or the walk meets a damaged record first).
    PhotoRecord* FindPhotoRecord(platform::StringView16 path);
    // Copies one complete record to the end of the run, growing the buffer as needed. false when
    // the record is not whole or the memory cannot be had (the database is then unchanged).
    bool AppendPhotoRecord(const PhotoRecord& record);
    // Reads a record's texts (at most 1023 characters each, zero-filled 1024-character outputs;
    // tags may be null). The record itself, or null when it is not a valid record of the run.
    const PhotoRecord* GetPhotoRecordTexts(const PhotoRecord* record, char16_t* path, char16_t* tags);

    // Walks the valid records in order; f(PhotoRecord&) returns false to stop. Takes the lock.
    template <typename F>
    void ForEachRecord(F f)
    {
        platform::ScopedLock hold(lock);
        size_t pos = 0;
        while (m_buffer && IsValidPhotoRecord(m_buffer, m_used, pos)) {
            PhotoRecord* r = reinterpret_cast<PhotoRecord*>(m_buffer + pos);
            pos += r->Size();
            if (!f(*r))
                break;
        }
    }
    // The number of valid records.
    size_t RecordCount();

    // A photo opened in an editor: its open counter rises by 2 while below 0x7FFFFFFF.
    // false when the photo has no record.
    bool RaiseOpenCount(platform::StringView16 path);

    // For tests and the loaders of foreign runs: installs a copy of bytes as the run.
    bool ReplaceRun(const uint8_t* bytes, size_t size, size_t capacity);

private:
    bool Allocate(size_t capacity);
    void DropIndex() { m_indexValid = false; m_index.clear(); }
    void BuildIndex();
    void NoteAppended(size_t pos, size_t size);

    // Where the records of each path hash start, so a scan of many thousand photos does not
    // walk the whole run for every file. Covers the sound records in run order; offsets stay
    // valid when the buffer grows, and every change that moves records drops the index.
    std::unordered_multimap<uint32_t, size_t> m_index;
    size_t m_indexedEnd = 0;
    bool m_indexValid = false;
    uint8_t* m_buffer = nullptr;
    size_t m_capacity = 0;
    size_t m_used = 0;
    platform::String16 m_path;
    // Saves: each copy of the run gets a number under the lock; a write whose copy is older than
    // the last one written is dropped.
    uint64_t m_copies = 0; // under lock
    std::mutex m_writeMutex;
    uint64_t m_written = 0; // under m_writeMutex
};

extern PhotoDatabase thePhotoDatabase;
