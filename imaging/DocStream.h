// The byte stream behind project files, paged-out editor tabs and the history data file.
// Every write is checked: a full disk turns into a failed save, never a "saved" broken file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

enum class PixelStreamMode : uint8_t {
    Packed, // lossy PackedYccWord colour: the .zdoc format, byte for byte
    Exact,  // 16-bit pixels as they are: private temp files that must restore exactly
};

class CDocStream {
public:
    virtual ~CDocStream() = default;

    // Returns the number of bytes read; short at the end of the data or on an error.
    virtual size_t Read(void* buffer, size_t count) = 0;
    // All or nothing; a failure also makes Failed() true for good.
    virtual bool Write(const void* buffer, size_t count) = 0;
    virtual uint64_t GetPosition() const = 0;
    virtual bool Seek(uint64_t position) = 0;
    // Bytes left to read; readers check sizes from the data against it before allocating.
    virtual uint64_t RemainingBytes() const { return UINT64_MAX; }

    bool Failed() const { return m_failed; }

    // Chosen by whoever writes (and later reads) the stream; the format itself carries no mark.
    PixelStreamMode pixelMode = PixelStreamMode::Packed;

    bool WriteU8(uint8_t v) { return Write(&v, 1); }
    bool WriteU16(uint16_t v);
    bool WriteU32(uint32_t v);
    bool WriteI32(int32_t v) { return WriteU32(static_cast<uint32_t>(v)); }
    bool ReadU8(uint8_t& v) { return Read(&v, 1) == 1; }
    bool ReadU16(uint16_t& v);
    bool ReadU32(uint32_t& v);
    bool ReadI32(int32_t& v);

protected:
    bool m_failed = false;
};

class CDocFileStream final : public CDocStream {
public:
    enum class Mode { Read, Create, ReadWrite };

    CDocFileStream() = default;
    ~CDocFileStream() override;
    CDocFileStream(const CDocFileStream&) = delete;
    CDocFileStream& operator=(const CDocFileStream&) = delete;

    bool Open(const std::u16string& path, Mode mode);
    // Flushes and closes; false when buffered data could not be written.
    bool Close();
    bool IsOpen() const { return m_file != nullptr; }

    size_t Read(void* buffer, size_t count) override;
    bool Write(const void* buffer, size_t count) override;
    uint64_t GetPosition() const override;
    bool Seek(uint64_t position) override;
    uint64_t RemainingBytes() const override;
    uint64_t Size() const;

private:
    std::FILE* m_file = nullptr;
    bool m_lastWasWrite = false;
    std::vector<char> m_buffer;
};

// Saves a whole file the way photos are saved: a temporary file beside the target, synced and
// renamed over it by Commit, keeping the target's mode and links and refusing a read-only one.
// Write-only and forward-only; until Commit succeeds the old file is untouched.
class CDocAtomicFileStream final : public CDocStream {
public:
    CDocAtomicFileStream();
    ~CDocAtomicFileStream() override;
    CDocAtomicFileStream(const CDocAtomicFileStream&) = delete;
    CDocAtomicFileStream& operator=(const CDocAtomicFileStream&) = delete;

    // False when the target may not be replaced or the temporary file cannot be created.
    bool Open(const std::u16string& path);
    bool Commit();
    size_t Read(void*, size_t) override { return 0; }
    bool Write(const void* buffer, size_t count) override;
    uint64_t GetPosition() const override { return m_written + m_buffer.size(); }
    bool Seek(uint64_t position) override { return position == GetPosition(); }

private:
    bool Flush();
    struct Writer;
    std::unique_ptr<Writer> m_writer;
    std::vector<uint8_t> m_buffer;
    uint64_t m_written = 0;
};

// In-memory stream for tests, fuzzing and quick copies. A write limit simulates a full disk.
class CDocMemStream final : public CDocStream {
public:
    CDocMemStream() = default;
    explicit CDocMemStream(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    CDocMemStream(const uint8_t* data, size_t size) : m_bytes(data, data + size) {}

    size_t Read(void* buffer, size_t count) override;
    bool Write(const void* buffer, size_t count) override;
    uint64_t GetPosition() const override { return m_pos; }
    bool Seek(uint64_t position) override;
    uint64_t RemainingBytes() const override { return m_pos < m_bytes.size() ? m_bytes.size() - m_pos : 0; }

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    void SetWriteLimit(size_t limit) { m_limit = limit; }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_pos = 0;
    size_t m_limit = SIZE_MAX;
};

// Little-endian field access on byte arrays (records built in memory before writing).
inline void PutU16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void PutU32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}
inline uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
// UTF-16 text fields of fixed width: units after the terminator are written as 0.
void PutText16(uint8_t* p, const char16_t* text, size_t units);
void GetText16(const uint8_t* p, char16_t* text, size_t units);
