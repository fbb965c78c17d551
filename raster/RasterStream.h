// Byte streams the codecs read and write: a C runtime file, or a growable memory block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class CRasterStream {
public:
    virtual ~CRasterStream() = default;
    virtual bool Close() = 0;
    // Whole items transferred.
    virtual size_t Read(void* buffer, size_t itemSize, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t itemSize, size_t count) = 0;
    // origin: 0 start, 1 current position, 2 end.
    virtual bool Seek(int64_t offset, int origin) = 0;
    virtual int64_t Tell() = 0;
    virtual int64_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual int Error() = 0;
    virtual bool PutC(uint8_t byte);
    virtual int GetC() = 0;
};

class CRasterFileStream : public CRasterStream {
public:
    // A file handed in stays the caller's: this object never closes it.
    explicit CRasterFileStream(std::FILE* file = nullptr);
    ~CRasterFileStream() override;
    // Opens a file this object then owns and closes.
    bool Open(const char* path, const char* mode);
    bool Close() override;
    size_t Read(void* buffer, size_t itemSize, size_t count) override;
    size_t Write(const void* buffer, size_t itemSize, size_t count) override;
    bool Seek(int64_t offset, int origin) override;
    int64_t Tell() override;
    int64_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int Error() override;
    bool PutC(uint8_t byte) override;
    int GetC() override;
    std::FILE* Handle() const { return file; }

private:
    std::FILE* file;
    bool closeOnClose;
};

class CRasterMemStream : public CRasterStream {
public:
    // Over a caller's bytes the block is never freed; without them the stream owns its block.
    explicit CRasterMemStream(uint8_t* buffer = nullptr, size_t length = 0);
    ~CRasterMemStream() override;
    bool Open();
    uint8_t* DetachBuffer(bool detach);
    int64_t Capacity() const { return static_cast<int64_t>(capacity); }

    bool Close() override;
    size_t Read(void* buffer, size_t itemSize, size_t count) override;
    size_t Write(const void* buffer, size_t itemSize, size_t count) override;
    bool Seek(int64_t offset, int origin) override;
    int64_t Tell() override;
    int64_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int Error() override;
    bool PutC(uint8_t byte) override;
    int GetC() override;

private:
    bool Grow(uint64_t length);

    uint8_t* block = nullptr;
    uint64_t size = 0;
    bool freeOnClose = false;
    uint64_t position = 0;
    uint64_t capacity = 0;
};
