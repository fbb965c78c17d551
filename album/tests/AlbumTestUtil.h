// Shared helpers of the album tests: photo fixtures with EXIF, hand-made records and a
// queue-backed message sink.
#pragma once

#include "album/AlbumMessages.h"
#include "album/PhotoDatabase.h"
#include "platform/Text.h"
#include "platform/tests/ImageFileTestUtil.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace albumtest {

using testutil::TempFolder;

inline platform::String16 U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

// A small picture (ImageMagick) with EXIF set by exiftool (empty args: none).
inline void MakePhoto(const std::string& path, const std::string& exiftoolArgs = "",
                      const std::string& size = "32x24")
{
    ASSERT_TRUE(testutil::Convert("-size " + size + " gradient:white-black", path)) << path;
    if (!exiftoolArgs.empty()) {
        ASSERT_EQ(testutil::Shell("exiftool -overwrite_original " + exiftoolArgs + " " + testutil::Quote(path)), 0)
            << exiftoolArgs;
    }
}

// A record built by hand: the given path and tags, seen bit as asked.
inline std::vector<uint8_t> MakeRecord(platform::StringView16 path, platform::StringView16 tags = u"",
                                       bool seen = false, uint32_t lastWrite = 0)
{
    using namespace photorecord;
    std::vector<uint8_t> r(kPhotoRecordHeadSize + 2 * path.size() + 2 * tags.size(), 0);
    Put<uint32_t>(r.data() + kMarker, kPhotoRecordMarker);
    Put<uint16_t>(r.data() + kSizeAndSeen, uint16_t(r.size() | (seen ? kPhotoRecordSeenBit : 0)));
    Put<uint32_t>(r.data() + kPathHash, HashPhotoPath(path));
    Put<uint32_t>(r.data() + kLastWriteLow, lastWrite);
    Put<uint16_t>(r.data() + kPathBytes, uint16_t(2 * path.size()));
    Put<uint16_t>(r.data() + kTagBytes, uint16_t(2 * tags.size()));
    for (size_t i = 0; i < path.size(); ++i)
        Put<uint16_t>(r.data() + kPhotoRecordHeadSize + 2 * i, path[i]);
    for (size_t i = 0; i < tags.size(); ++i)
        Put<uint16_t>(r.data() + kPhotoRecordHeadSize + 2 * path.size() + 2 * i, tags[i]);
    return r;
}

inline const PhotoRecord& AsRecord(const std::vector<uint8_t>& bytes)
{
    return *reinterpret_cast<const PhotoRecord*>(bytes.data());
}

struct Message {
    uint32_t msg;
    uintptr_t param1;
    intptr_t param2;
};

// Records what the threads post; tests wait for messages with a deadline.
class QueueSink : public AlbumMessageSink {
public:
    bool Post(uint32_t msg, uintptr_t param1, intptr_t param2) override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_messages.push_back({ msg, param1, param2 });
        m_ready.notify_all();
        return true;
    }
    // Waits until at least n messages arrived; false on timeout.
    bool WaitFor(size_t n, int timeoutMs)
    {
        std::unique_lock<std::mutex> hold(m_mutex);
        return m_ready.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return m_messages.size() >= n; });
    }
    std::vector<Message> Take()
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        std::vector<Message> out(m_messages.begin(), m_messages.end());
        m_messages.clear();
        return out;
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_messages.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Message> m_messages;
};

// Tickets as the sprite registry keeps them: alive until released.
class TicketSet : public AlbumTicketRegistry {
public:
    uint32_t Issue()
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_alive.insert(++m_next);
        return m_next;
    }
    void Release(uint32_t t)
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_alive.erase(t);
    }
    bool IsTicketAlive(uint32_t t) const override
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_alive.count(t) != 0;
    }

private:
    mutable std::mutex m_mutex;
    std::set<uint32_t> m_alive;
    uint32_t m_next = 0;
};

} // namespace albumtest
