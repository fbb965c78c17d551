// Spare scratch blocks of the hot algorithm paths (blur, resizers), kept between runs so a
// repeated run reuses warm pages instead of faulting in fresh ones. The cache is process-wide,
// bounded, and emptied by ReleaseScratch(), which the program calls when it is idle.
#pragma once

#include <cstddef>

// Most bytes of spare blocks the cache keeps; a block given back beyond this frees older ones.
constexpr size_t kScratchCacheBytes = size_t{64} << 20;
// Most spare blocks kept, whatever their sizes.
constexpr int kScratchCacheBlocks = 32;

// A block of scratch memory, 64-byte aligned, its contents undefined; goes back to the cache
// when it is destroyed or Reset. Moves, never copies.
class ScratchBlock {
public:
    ScratchBlock() = default;
    explicit ScratchBlock(size_t bytes);
    ScratchBlock(ScratchBlock&& other) noexcept;
    ScratchBlock& operator=(ScratchBlock&& other) noexcept;
    ScratchBlock(const ScratchBlock&) = delete;
    ScratchBlock& operator=(const ScratchBlock&) = delete;
    ~ScratchBlock() { Reset(); }

    // Gives the block back and, with bytes > 0, takes one of at least that size; false when
    // the memory cannot be had (the block is then empty).
    bool Take(size_t bytes);
    void Reset();

    void* data() const { return m_data; }
    template <class T>
    T* as() const
    {
        return static_cast<T*>(m_data);
    }
    size_t size() const { return m_size; }
    explicit operator bool() const { return m_data != nullptr; }

private:
    void* m_data = nullptr;
    size_t m_size = 0;
};

// Frees every spare block.
void ReleaseScratch();
// Bytes and count of the spare blocks held now.
size_t ScratchCachedBytes();
int ScratchCachedBlocks();
