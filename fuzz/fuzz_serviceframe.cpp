// Frames from the local update service come from another program: whatever arrives, in pieces of
// any size, the receiver must take one whole frame that fits its buffer or nothing, and the
// stored records must read back with every text ending inside its field.
// Input: one byte that picks the piece sizes, then the bytes of the connection.
#include "app/ServerThread.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const unsigned pieceSeed = data[0];
    const uint8_t* stream = data + 1;
    const size_t streamSize = size - 1;

    size_t at = 0;
    unsigned turn = 0;
    ServiceReceive receive = [&](uint8_t* buffer, size_t capacity, size_t& received) {
        if (at >= streamSize)
            return platform::NetStatus::Closed;
        // Pieces of 1 to 256 bytes, varying from receive to receive.
        const size_t piece = 1 + ((pieceSeed * 31u + turn++ * 17u) & 0xFF);
        received = std::min({piece, capacity, streamSize - at});
        std::memcpy(buffer, stream + at, received);
        at += received;
        return platform::NetStatus::Ok;
    };

    ServiceFrameHeader header;
    uint8_t payload[kServiceMaxPayloadBytes];
    size_t length = 0;
    const size_t got = ReceiveServiceFrame(receive, header, payload, length);
    if (got == 0) {
        if (length != 0)
            std::abort();
        return 0;
    }
    if (length > kServiceMaxPayloadBytes || got < kServiceFrameHeaderBytes + length || got > streamSize ||
        length != header.length || std::memcmp(payload, stream + kServiceFrameHeaderBytes, length) != 0)
        std::abort();

    std::array<uint8_t, kVersionReplyBytes> version;
    StoreVersionReply(payload, length, version);
    const VersionReply v = DecodeVersionReply(version);
    if (v.text.size() >= (kVersionReplyBytes - 2) / 2)
        std::abort();

    std::array<uint8_t, kNoticeBytes> notice;
    StoreNotice(payload, length, notice);
    const ServerNotice n = DecodeNotice(notice);
    if (n.line.size() >= 64 || n.message.size() >= 512 || n.webAddress.size() >= 256)
        std::abort();
    return 0;
}
