#include "raster/RasterStream.h"

#include "platform/File.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

// Standard seeks reach every offset of a large file where long has 64 bits.
static_assert(sizeof(long) >= 8, "64-bit file offsets");

bool CRasterStream::PutC(uint8_t byte)
{
    return Write(&byte, 1, 1) == 1;
}

// ---- CRasterFileStream

CRasterFileStream::CRasterFileStream(std::FILE* file) : file(file), closeOnClose(file == nullptr) {}

CRasterFileStream::~CRasterFileStream()
{
    if (closeOnClose)
        Close();
}

bool CRasterFileStream::Open(const char* path, const char* mode)
{
    if (file)
        return false;
    // Reading goes through the platform's checked open: a folder, pipe or device under the
    // name is refused rather than read (or waited on).
    const std::string how = mode ? mode : "";
    if (how == "r" || how == "rb")
        file = path ? platform::OpenFileStream(path, platform::FileMode::Read) : nullptr;
    else
        file = std::fopen(path, mode);
    closeOnClose = true;
    return file != nullptr;
}

bool CRasterFileStream::Close()
{
    if (!file || !closeOnClose)
        return true;
    bool ok = std::fclose(file) == 0;
    file = nullptr;
    return ok;
}

size_t CRasterFileStream::Read(void* buffer, size_t itemSize, size_t count)
{
    return file ? std::fread(buffer, itemSize, count, file) : 0;
}

size_t CRasterFileStream::Write(const void* buffer, size_t itemSize, size_t count)
{
    return file ? std::fwrite(buffer, itemSize, count, file) : 0;
}

bool CRasterFileStream::Seek(int64_t offset, int origin)
{
    return file && std::fseek(file, static_cast<long>(offset), origin) == 0;
}

int64_t CRasterFileStream::Tell()
{
    return file ? std::ftell(file) : 0;
}

int64_t CRasterFileStream::Size()
{
    if (!file)
        return -1;
    const int64_t position = std::ftell(file);
    std::fseek(file, 0, SEEK_END);
    const int64_t length = std::ftell(file);
    std::fseek(file, static_cast<long>(position), SEEK_SET);
    return length;
}

bool CRasterFileStream::Flush()
{
    return file && std::fflush(file) == 0;
}

bool CRasterFileStream::Eof()
{
    return file ? std::feof(file) != 0 : true;
}

int CRasterFileStream::Error()
{
    return file ? std::ferror(file) : -1;
}

bool CRasterFileStream::PutC(uint8_t byte)
{
    return file && std::fputc(byte, file) == byte;
}

int CRasterFileStream::GetC()
{
    if (!file)
        return -1;
    int c = std::fgetc(file);
    return c == EOF ? -1 : c;
}

// ---- CRasterMemStream

CRasterMemStream::CRasterMemStream(uint8_t* buffer, size_t length)
    : block(buffer), size(buffer ? length : 0), freeOnClose(buffer == nullptr),
      capacity(buffer ? length : 0)
{
}

CRasterMemStream::~CRasterMemStream()
{
    Close();
}

bool CRasterMemStream::Open()
{
    if (block)
        return false;
    // An empty block still needs an address: malloc(0) may give null.
    block = static_cast<uint8_t*>(std::malloc(1));
    if (!block)
        return false;
    position = size = capacity = 0;
    freeOnClose = true;
    return true;
}

uint8_t* CRasterMemStream::DetachBuffer(bool detach)
{
    if (detach)
        freeOnClose = false;
    return block;
}

bool CRasterMemStream::Close()
{
    if (freeOnClose) {
        std::free(block);
        block = nullptr;
        size = 0;
        capacity = 0;
        position = 0;
    }
    return true;
}

bool CRasterMemStream::Grow(uint64_t length)
{
    if (length <= capacity)
        return true;
    constexpr uint64_t step = 4096;
    uint64_t newCapacity = capacity + (length - capacity + step - 1) / step * step;
    if (newCapacity > std::numeric_limits<size_t>::max() / 2)
        return false;
    uint8_t* grown;
    if (freeOnClose) {
        grown = static_cast<uint8_t*>(std::realloc(block, newCapacity));
    } else {
        // The caller's bytes may not come from malloc: move them into a block of our own.
        grown = static_cast<uint8_t*>(std::malloc(newCapacity));
        if (grown && block && size)
            std::memcpy(grown, block, size);
    }
    if (!grown)
        return false;
    block = grown;
    capacity = newCapacity;
    freeOnClose = true;
    return true;
}

size_t CRasterMemStream::Read(void* buffer, size_t itemSize, size_t count)
{
    if (!block || !buffer || itemSize == 0 || count == 0 || position > size)
        return 0;
    if (count > std::numeric_limits<size_t>::max() / itemSize)
        return 0;
    uint64_t bytes = static_cast<uint64_t>(itemSize) * count;
    uint64_t available = size - position;
    uint64_t copied = bytes < available ? bytes : available;
    if (copied)
        std::memcpy(buffer, block + position, copied);
    position += copied;
    return static_cast<size_t>(copied / itemSize);
}

size_t CRasterMemStream::Write(const void* buffer, size_t itemSize, size_t count)
{
    if (!block || !buffer || itemSize == 0 || count == 0)
        return 0;
    if (count > std::numeric_limits<size_t>::max() / itemSize)
        return 0;
    uint64_t bytes = static_cast<uint64_t>(itemSize) * count;
    if (bytes > std::numeric_limits<uint64_t>::max() - position || !Grow(position + bytes))
        return 0;
    // A seek past the end leaves a gap: it reads back as zeros, not as old heap bytes.
    if (position > size)
        std::memset(block + size, 0, position - size);
    std::memcpy(block + position, buffer, bytes);
    position += bytes;
    if (position > size)
        size = position;
    return count;
}

bool CRasterMemStream::Seek(int64_t offset, int origin)
{
    if (!block)
        return false;
    int64_t base;
    switch (origin) {
    case 0: base = 0; break;
    case 1: base = static_cast<int64_t>(position); break;
    case 2: base = static_cast<int64_t>(size); break;
    default: return false;
    }
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target) || target < 0)
        return false;
    position = static_cast<uint64_t>(target);
    return true;
}

int64_t CRasterMemStream::Tell()
{
    return block ? static_cast<int64_t>(position) : -1;
}

int64_t CRasterMemStream::Size()
{
    return block ? static_cast<int64_t>(size) : -1;
}

bool CRasterMemStream::Flush()
{
    return block != nullptr;
}

bool CRasterMemStream::Eof()
{
    return !block || position >= size;
}

int CRasterMemStream::Error()
{
    if (!block)
        return -1;
    return position > size ? 1 : 0;
}

bool CRasterMemStream::PutC(uint8_t byte)
{
    return Write(&byte, 1, 1) == 1;
}

int CRasterMemStream::GetC()
{
    if (Eof())
        return -1;
    return block[position++];
}
