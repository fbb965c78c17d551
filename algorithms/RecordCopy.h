// Record hand-over for records whose readers take at most their own size: a caller's size word
// beyond the record copies only the record's bytes, a shorter one leaves later fields as they
// were. The size word then becomes the record's own size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

template <class Record>
void CopyRecordAtMost(Record& own, const void* caller)
{
    static_assert(std::is_trivially_copyable_v<Record>);
    static_assert(offsetof(Record, size) == 0);
    if (caller) {
        uint16_t size = 0;
        std::memcpy(&size, caller, sizeof size);
        std::memcpy(static_cast<void*>(&own), caller, std::min<size_t>(size, sizeof(Record)));
    }
    own.size = static_cast<uint16_t>(sizeof(Record));
}
