#include "imaging/DocStream.h"

#include "platform/File.h"
#include "platform/Path.h"
#include "platform/Text.h"

#include <climits>
#include <cstring>

// Standard seeks reach every offset of a large file where long has 64 bits.
static_assert(sizeof(long) >= 8, "64-bit file offsets");

bool CDocStream::WriteU16(uint16_t v)
{
    uint8_t b[2];
    PutU16(b, v);
    return Write(b, 2);
}

bool CDocStream::WriteU32(uint32_t v)
{
    uint8_t b[4];
    PutU32(b, v);
    return Write(b, 4);
}

bool CDocStream::ReadU16(uint16_t& v)
{
    uint8_t b[2];
    if (Read(b, 2) != 2)
        return false;
    v = GetU16(b);
    return true;
}

bool CDocStream::ReadU32(uint32_t& v)
{
    uint8_t b[4];
    if (Read(b, 4) != 4)
        return false;
    v = GetU32(b);
    return true;
}

bool CDocStream::ReadI32(int32_t& v)
{
    uint32_t u;
    if (!ReadU32(u))
        return false;
    v = static_cast<int32_t>(u);
    return true;
}

void PutText16(uint8_t* p, const char16_t* text, size_t units)
{
    bool ended = false;
    for (size_t i = 0; i < units; ++i) {
        char16_t c = ended ? 0 : text[i];
        if (c == 0)
            ended = true;
        PutU16(p + 2 * i, c);
    }
}

void GetText16(const uint8_t* p, char16_t* text, size_t units)
{
    for (size_t i = 0; i < units; ++i)
        text[i] = GetU16(p + 2 * i);
    if (units)
        text[units - 1] = 0; // a field from a file may lack its terminator
}

CDocFileStream::~CDocFileStream()
{
    Close();
}

bool CDocFileStream::Open(const std::u16string& path, Mode mode)
{
    Close();
    m_failed = false;
    // The platform's checked open: a folder, pipe or device under the name is refused, and
    // opening never waits.
    const platform::FileMode how = mode == Mode::Read     ? platform::FileMode::Read
                                   : mode == Mode::Create ? platform::FileMode::CreateAlways
                                                          : platform::FileMode::ReadWrite;
    m_file = platform::OpenFileStream(platform::ToNativePath(path), how);
    if (!m_file)
        return false;
    m_buffer.resize(1 << 20);
    std::setvbuf(m_file, m_buffer.data(), _IOFBF, m_buffer.size());
    m_lastWasWrite = false;
    return true;
}

bool CDocFileStream::Close()
{
    if (!m_file)
        return !m_failed;
    bool ok = std::fflush(m_file) == 0 && !std::ferror(m_file);
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    if (!ok)
        m_failed = true;
    return !m_failed;
}

size_t CDocFileStream::Read(void* buffer, size_t count)
{
    if (!m_file || count == 0)
        return 0;
    if (m_lastWasWrite) {
        // C streams need a positioning call between a write and a read.
        std::fseek(m_file, 0, SEEK_CUR);
        m_lastWasWrite = false;
    }
    return std::fread(buffer, 1, count, m_file);
}

bool CDocFileStream::Write(const void* buffer, size_t count)
{
    if (!m_file || m_failed) {
        m_failed = true;
        return false;
    }
    if (count == 0)
        return true;
    if (!m_lastWasWrite) {
        std::fseek(m_file, 0, SEEK_CUR);
        m_lastWasWrite = true;
    }
    if (std::fwrite(buffer, 1, count, m_file) != count) {
        m_failed = true;
        return false;
    }
    return true;
}

uint64_t CDocFileStream::GetPosition() const
{
    if (!m_file)
        return 0;
    const long pos = std::ftell(m_file);
    return pos < 0 ? 0 : static_cast<uint64_t>(pos);
}

bool CDocFileStream::Seek(uint64_t position)
{
    if (!m_file || position > static_cast<uint64_t>(LONG_MAX))
        return false;
    m_lastWasWrite = false;
    return std::fseek(m_file, static_cast<long>(position), SEEK_SET) == 0;
}

uint64_t CDocFileStream::RemainingBytes() const
{
    uint64_t size = Size(), pos = GetPosition();
    return pos < size ? size - pos : 0;
}

uint64_t CDocFileStream::Size() const
{
    if (!m_file)
        return 0;
    std::fflush(m_file);
    const long here = std::ftell(m_file);
    std::fseek(m_file, 0, SEEK_END);
    const long end = std::ftell(m_file);
    std::fseek(m_file, here, SEEK_SET);
    return end < 0 ? 0 : static_cast<uint64_t>(end);
}

size_t CDocMemStream::Read(void* buffer, size_t count)
{
    size_t left = m_pos < m_bytes.size() ? m_bytes.size() - m_pos : 0;
    size_t n = count < left ? count : left;
    if (n)
        std::memcpy(buffer, m_bytes.data() + m_pos, n);
    m_pos += n;
    return n;
}

bool CDocMemStream::Write(const void* buffer, size_t count)
{
    if (m_failed || count > m_limit || m_pos > m_limit - count) {
        m_failed = true;
        return false;
    }
    if (m_pos + count > m_bytes.size())
        m_bytes.resize(m_pos + count);
    if (count)
        std::memcpy(m_bytes.data() + m_pos, buffer, count);
    m_pos += count;
    return true;
}

bool CDocMemStream::Seek(uint64_t position)
{
    if (position > m_bytes.size())
        return false;
    m_pos = static_cast<size_t>(position);
    return true;
}

struct CDocAtomicFileStream::Writer {
    platform::AtomicFileWriter file;
};

CDocAtomicFileStream::CDocAtomicFileStream() : m_writer(std::make_unique<Writer>()) {}

CDocAtomicFileStream::~CDocAtomicFileStream() = default; // an uncommitted file is removed

bool CDocAtomicFileStream::Open(const std::u16string& path)
{
    m_buffer.clear();
    m_written = 0;
    m_failed = !platform::MayReplaceFile(platform::ToNativePath(path), false) || !m_writer->file.Open(path);
    return !m_failed;
}

bool CDocAtomicFileStream::Flush()
{
    if (!m_failed && !m_buffer.empty() && !m_writer->file.Write(m_buffer.data(), m_buffer.size()))
        m_failed = true;
    m_written += m_buffer.size();
    m_buffer.clear();
    return !m_failed;
}

bool CDocAtomicFileStream::Write(const void* buffer, size_t count)
{
    if (m_failed)
        return false;
    constexpr size_t kChunk = 1 << 16;
    if (m_buffer.size() + count > kChunk && !Flush())
        return false;
    if (count >= kChunk) {
        if (!m_writer->file.Write(buffer, count)) {
            m_failed = true;
            return false;
        }
        m_written += count;
        return true;
    }
    const auto* p = static_cast<const uint8_t*>(buffer);
    m_buffer.insert(m_buffer.end(), p, p + count);
    return true;
}

bool CDocAtomicFileStream::Commit()
{
    if (!Flush() || !m_writer->file.Commit())
        m_failed = true;
    return !m_failed;
}
