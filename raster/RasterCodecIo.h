// Little-endian field access and checked writes for the codecs of BMP, ICO, TGA, PCX, WBMP,
// WMF and GIF. Readers never trust a size from the file: every read says whether it got
// everything it asked for.
#pragma once

#include "raster/RasterStream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rasterio {

inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline int16_t I16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }
inline uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

inline void Put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v)
{
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// True when all size bytes were read.
inline bool ReadExact(CRasterStream* s, void* buffer, size_t size)
{
    return size == 0 || s->Read(buffer, 1, size) == size;
}

// Bytes left from the current position to the end, 0 when the stream cannot tell.
inline uint64_t Remaining(CRasterStream* s)
{
    const int64_t size = s->Size();
    const int64_t pos = s->Tell();
    return (size < 0 || pos < 0 || pos >= size) ? 0 : static_cast<uint64_t>(size - pos);
}

// The rest of the stream, at most limit bytes.
inline std::vector<uint8_t> ReadRest(CRasterStream* s, uint64_t limit)
{
    uint64_t n = Remaining(s);
    if (n > limit)
        n = limit;
    std::vector<uint8_t> data(static_cast<size_t>(n));
    const size_t got = n ? s->Read(data.data(), 1, data.size()) : 0;
    data.resize(got);
    return data;
}

// Buffers an encoder's output and writes it in large pieces (a memory stream grows by small
// steps, so many small writes would copy its block over and over); collects write failures so
// that the encoder reports them once at the end.
class Writer {
public:
    explicit Writer(CRasterStream* stream) : s(stream) {}
    ~Writer() { Flush(); }
    void Bytes(const void* data, size_t size)
    {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        buffer.insert(buffer.end(), p, p + size);
        if (buffer.size() >= kChunk)
            Flush();
    }
    void Bytes(const std::vector<uint8_t>& v) { Bytes(v.data(), v.size()); }
    void Byte(uint8_t v)
    {
        buffer.push_back(v);
        if (buffer.size() >= kChunk)
            Flush();
    }
    void Le16(uint32_t v)
    {
        uint8_t b[2];
        Put16(b, v);
        Bytes(b, 2);
    }
    void Le32(uint32_t v)
    {
        uint8_t b[4];
        Put32(b, v);
        Bytes(b, 4);
    }
    // No failure so far (without writing out what is buffered).
    bool Good() const { return !failed; }
    // Writes out what is buffered; true when every write succeeded.
    bool Ok()
    {
        Flush();
        return !failed;
    }

private:
    static constexpr size_t kChunk = size_t(1) << 22;
    void Flush()
    {
        if (!buffer.empty() && !failed && s->Write(buffer.data(), 1, buffer.size()) != buffer.size())
            failed = true;
        buffer.clear();
    }
    CRasterStream* s;
    std::vector<uint8_t> buffer;
    bool failed = false;
};

// Sequential reader over bytes already in memory; past the end it reports a shortfall.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : p(data), n(size) {}
    size_t Left() const { return n - pos; }
    size_t Position() const { return pos; }
    bool Skip(uint64_t count)
    {
        if (count > Left())
            return false;
        pos += static_cast<size_t>(count);
        return true;
    }
    int Get() { return pos < n ? p[pos++] : -1; }
    const uint8_t* Take(size_t count)
    {
        if (count > Left())
            return nullptr;
        const uint8_t* r = p + pos;
        pos += count;
        return r;
    }

private:
    const uint8_t* p;
    size_t n;
    size_t pos = 0;
};

} // namespace rasterio
