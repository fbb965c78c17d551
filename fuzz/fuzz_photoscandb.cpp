// A PhotoScan.db from disk may be anything: loading it, walking it, finding, reading texts,
// compacting and saving must stay inside the buffer and end.
#include "album/PhotoDatabase.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    PhotoDatabase db;
    // The run as it stands in memory after a load: the walks must survive any bytes.
    const uint8_t* run = size ? data + 1 : data;
    const size_t runSize = size ? size - 1 : 0;
    if (!db.ReplaceRun(run, runSize, runSize + 64))
        return 0;
    char16_t path[1024], tags[1024];
    platform::ScopedLock hold(db.lock);
    size_t count = 0;
    db.ForEachRecord([&](PhotoRecord& r) {
        if (!db.GetPhotoRecordTexts(&r, path, tags) || path[1023] != 0 || tags[1023] != 0)
            std::abort();
        // A record whose hash fits its path can be found again by it.
        if (r.PathHash() == HashPhotoPath(r.Path()) && db.FindPhotoRecord(r.Path()) == nullptr)
            std::abort();
        ++count;
        return true;
    });
    // The sound part of the run is exactly what a load keeps.
    const size_t sound = ValidPhotoRunLength(db.Buffer(), db.Used());
    if (sound > db.Used())
        std::abort();
    db.ClearSeenFlags();
    if (sound == db.Used() && db.CompactPhotoDatabase() != 1)
        std::abort();
    TagSlot slots[kMaxTagSlots];
    std::vector<char16_t> text(runSize / 2);
    if (!text.empty())
        std::memcpy(text.data(), run, text.size() * 2);
    if (SplitTags(platform::StringView16(text.data(), text.size()), slots) > kMaxTagSlots)
        std::abort();
    (void)count;
    return 0;
}
