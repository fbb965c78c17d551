// Builds small placeable Windows metafiles for the metafile player's and the WMF codec's tests.
#pragma once

#include <cstdint>
#include <vector>

// A placeable metafile whose frame is frameW x frameH units at unitsPerInch, the left half
// filled red without an outline.
inline std::vector<uint8_t> RedLeftHalfMetafile(int16_t frameW = 200, int16_t frameH = 100,
                                                uint16_t unitsPerInch = 100)
{
    std::vector<uint16_t> w;
    auto rec = [&](uint16_t function, std::vector<uint16_t> params) {
        const uint32_t size = 3 + static_cast<uint32_t>(params.size());
        w.push_back(size & 0xFFFF);
        w.push_back(size >> 16);
        w.push_back(function);
        w.insert(w.end(), params.begin(), params.end());
    };
    rec(0x020B, {0, 0});                                          // SetWindowOrg
    rec(0x020C, {uint16_t(frameH), uint16_t(frameW)});            // SetWindowExt (y, x)
    rec(0x02FC, {0, 0x00FF, 0x0000, 0});                          // CreateBrushIndirect solid red
    rec(0x012D, {0});                                             // SelectObject brush
    rec(0x02FA, {5, 0, 0, 0, 0});                                 // CreatePenIndirect null pen
    rec(0x012D, {1});                                             // SelectObject pen
    rec(0x041B, {uint16_t(frameH), uint16_t(frameW / 2), 0, 0});  // Rectangle (bottom, right, top, left)
    rec(0x0000, {});                                              // EOF
    const uint32_t words = 9 + static_cast<uint32_t>(w.size());
    std::vector<uint16_t> head = {1, 9, 0x0300, uint16_t(words & 0xFFFF), uint16_t(words >> 16), 2, 8, 0, 0};
    std::vector<uint16_t> placeable = {0xCDD7, 0x9AC6, 0, 0, 0, uint16_t(frameW), uint16_t(frameH), unitsPerInch, 0, 0};
    uint16_t sum = 0;
    for (uint16_t v : placeable)
        sum ^= v;
    placeable.push_back(sum);
    std::vector<uint8_t> bytes;
    for (const auto* part : {&placeable, &head, &w})
        for (uint16_t v : *part) {
            bytes.push_back(v & 0xFF);
            bytes.push_back(v >> 8);
        }
    return bytes;
}

// One record: its function and parameter words.
struct MetafileRecord {
    uint16_t function;
    std::vector<uint16_t> params;
};

// A placeable metafile of frameW x frameH units at unitsPerInch with these records and an end
// record.
inline std::vector<uint8_t> BuildMetafile(int16_t frameW, int16_t frameH, uint16_t unitsPerInch,
                                          const std::vector<MetafileRecord>& records)
{
    std::vector<uint16_t> w;
    for (const MetafileRecord& r : records) {
        const uint32_t size = 3 + static_cast<uint32_t>(r.params.size());
        w.push_back(size & 0xFFFF);
        w.push_back(size >> 16);
        w.push_back(r.function);
        w.insert(w.end(), r.params.begin(), r.params.end());
    }
    w.insert(w.end(), {3, 0, 0});
    const uint32_t words = 9 + static_cast<uint32_t>(w.size());
    std::vector<uint16_t> head = {1, 9, 0x0300, uint16_t(words & 0xFFFF), uint16_t(words >> 16), 4, 8, 0, 0};
    std::vector<uint16_t> placeable = {0xCDD7, 0x9AC6, 0, 0, 0, uint16_t(frameW), uint16_t(frameH), unitsPerInch, 0, 0};
    uint16_t sum = 0;
    for (uint16_t v : placeable)
        sum ^= v;
    placeable.push_back(sum);
    std::vector<uint8_t> bytes;
    for (const auto* part : {&placeable, &head, &w})
        for (uint16_t v : *part) {
            bytes.push_back(v & 0xFF);
            bytes.push_back(v >> 8);
        }
    return bytes;
}

// A word holding a signed coordinate.
inline uint16_t Coord(int v)
{
    return static_cast<uint16_t>(static_cast<int16_t>(v));
}
