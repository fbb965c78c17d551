// The stored form of the dialogs' history records, until the scheme-step table brings its
// writers: the records are plain little-endian fields without pointers, so their bytes are the
// record as it lies in memory (padding is part of the value-initialised record and stays 0).
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

template <class Record>
std::vector<uint8_t> StepRecordBytes(const Record& record)
{
    static_assert(std::is_trivially_copyable_v<Record>);
    std::vector<uint8_t> bytes(sizeof(Record));
    std::memcpy(bytes.data(), &record, sizeof(Record));
    return bytes;
}
