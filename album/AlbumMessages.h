// How the album's threads answer: sprite message codes and a small sink interface. The sprite
// message queue implements the sink (delivering only to live recipients); tests use a queue.
#pragma once

#include <cstdint>

constexpr uint32_t MSG_THUMB_LOADED = 2369;
constexpr uint32_t MSG_SCAN_STATE = 10011;
constexpr uint32_t MSG_ALBUM_REFRESH = 11026;

// MSG_SCAN_STATE param1.
constexpr uintptr_t kScanStateDone = 2;
constexpr uintptr_t kScanStateNoDatabase = 1;

struct AlbumMessageSink {
    virtual ~AlbumMessageSink() = default;
    // Queues a message for the recipient; false when it is gone or its queue refused.
    virtual bool Post(uint32_t msg, uintptr_t param1, intptr_t param2) = 0;
};

// The live-object registry as the loaders see it: a request is void once its ticket is dead.
struct AlbumTicketRegistry {
    virtual ~AlbumTicketRegistry() = default;
    virtual bool IsTicketAlive(uint32_t ticket) const = 0;
};
