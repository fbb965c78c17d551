#include "raster/GifLzw.h"

#include <cstring>

namespace {

constexpr int kMaxCodes = 4096;

} // namespace

long GifLzwDecode(const uint8_t* data, size_t size, int minCodeSize, uint8_t* out, size_t outSize)
{
    if (minCodeSize < 2 || minCodeSize > 9)
        return -1;
    const unsigned clearCode = 1u << minCodeSize;
    const unsigned endCode = clearCode + 1;
    const unsigned firstFree = clearCode + 2;
    unsigned codeSize = minCodeSize + 1;
    unsigned nextFree = firstFree;
    unsigned topCode = 1u << codeSize;

    uint16_t prefix[kMaxCodes];
    uint8_t suffix[kMaxCodes];
    uint8_t stack[kMaxCodes + 1];
    std::memset(prefix, 0, sizeof prefix);
    for (unsigned i = 0; i < kMaxCodes; ++i)
        suffix[i] = static_cast<uint8_t>(i);

    size_t bitPos = 0;
    const uint64_t totalBits = static_cast<uint64_t>(size) * 8;
    auto readCode = [&]() -> unsigned {
        if (bitPos + codeSize > totalBits)
            return endCode;
        unsigned code = 0;
        for (unsigned i = 0; i < codeSize; ++i, ++bitPos)
            code |= ((data[bitPos >> 3] >> (bitPos & 7)) & 1u) << i;
        return code;
    };

    size_t produced = 0;
    bool havePrev = false;
    unsigned prev = 0;
    uint8_t firstChar = 0;
    while (produced < outSize) {
        unsigned code = readCode();
        if (code == endCode)
            break;
        if (code == clearCode) {
            codeSize = minCodeSize + 1;
            nextFree = firstFree;
            topCode = 1u << codeSize;
            havePrev = false;
            continue;
        }
        if (!havePrev) {
            if (code >= nextFree)
                code = 0;
            out[produced++] = static_cast<uint8_t>(code);
            prev = code;
            firstChar = static_cast<uint8_t>(code);
            havePrev = true;
            continue;
        }
        const unsigned inCode = code;
        unsigned depth = 0;
        if (code >= nextFree) {
            stack[depth++] = firstChar;
            code = prev;
        }
        // Every entry's prefix is a smaller code, so the chain ends within the table.
        while (code >= firstFree && depth < kMaxCodes) {
            stack[depth++] = suffix[code];
            code = prefix[code];
        }
        if (code >= clearCode)
            code = 0; // a chain that lands on clear/end in a damaged file
        firstChar = suffix[code];
        stack[depth++] = firstChar;
        if (nextFree < topCode && nextFree < kMaxCodes) {
            prefix[nextFree] = static_cast<uint16_t>(prev);
            suffix[nextFree] = firstChar;
            ++nextFree;
        }
        if (nextFree >= topCode && codeSize < 12) {
            topCode <<= 1;
            ++codeSize;
        }
        prev = inCode;
        while (depth > 0 && produced < outSize)
            out[produced++] = stack[--depth];
    }
    return static_cast<long>(produced);
}

GifRunLengthCoder::GifRunLengthCoder(int startWidth)
{
    startWidth_ = static_cast<unsigned>(startWidth);
    clearCode_ = 1u << (startWidth_ - 1);
    endCode_ = clearCode_ + 1;
    firstRunCode_ = clearCode_ + 2;
    startBump_ = clearCode_ - 1;
    startClearLimit_ = startWidth_ <= 3 ? 9 : clearCode_ - 2;
    largestCount_ = kMaxCodes - clearCode_ - 3;
    Reset();
    Emit(clearCode_);
}

void GifRunLengthCoder::Emit(unsigned code)
{
    bitBuffer_ |= code << bitCount_;
    bitCount_ += width_;
    while (bitCount_ >= 8) {
        block_.push_back(static_cast<uint8_t>(bitBuffer_ & 0xFF));
        bitBuffer_ >>= 8;
        bitCount_ -= 8;
        if (block_.size() == 255) {
            out_.push_back(255);
            out_.insert(out_.end(), block_.begin(), block_.end());
            block_.clear();
        }
    }
}

void GifRunLengthCoder::Reset()
{
    width_ = startWidth_;
    bump_ = startBump_;
    clearLimit_ = startClearLimit_;
    count_ = 0;
    tableLength_ = 0;
    justCleared_ = true;
}

void GifRunLengthCoder::WritePlain(unsigned code)
{
    justCleared_ = false;
    Emit(code);
    ++count_;
    if (count_ >= bump_) {
        ++width_;
        bump_ += 1u << (width_ - 1);
    }
    if (count_ >= clearLimit_) {
        Emit(clearCode_);
        Reset();
    }
}

unsigned GifRunLengthCoder::Triangle(unsigned count) const
{
    const unsigned r = largestCount_;
    const unsigned perRun = r * (r + 1) / 2;
    unsigned cost = 0;
    while (count >= perRun) {
        cost += r;
        count -= perRun;
    }
    if (count > 0) {
        // Newton's integer square root from a power of two above the value.
        unsigned s = 1;
        while (s * s < count)
            s <<= 1;
        for (;;) {
            unsigned next = (s + count / s) / 2;
            if (next >= s)
                break;
            s = next;
        }
        while (s * (s + 1) >= 2 * count)
            --s;
        while (s * (s + 1) < 2 * count)
            ++s;
        cost += s;
    }
    return cost;
}

void GifRunLengthCoder::RestoreClearLimit()
{
    clearLimit_ = startClearLimit_;
    if (count_ >= clearLimit_) {
        Emit(clearCode_);
        Reset();
    }
}

void GifRunLengthCoder::FromClear(unsigned n)
{
    clearLimit_ = largestCount_;
    tableValue_ = runValue_;
    unsigned k = 1;
    while (n > 0) {
        if (k == 1) {
            tableLength_ = 1;
            WritePlain(runValue_);
            --n;
        } else if (n >= k) {
            tableLength_ = k;
            WritePlain(firstRunCode_ + k - 2);
            n -= k;
        } else if (n == 1) {
            ++tableLength_;
            WritePlain(runValue_);
            n = 0;
        } else {
            ++tableLength_;
            WritePlain(firstRunCode_ + n - 2);
            n = 0;
        }
        k = count_ == 0 ? 1 : k + 1;
    }
    RestoreClearLimit();
}

void GifRunLengthCoder::ClearOrRepeat(unsigned n)
{
    if (1 + Triangle(n) < n) {
        Emit(clearCode_);
        Reset();
        FromClear(n);
    } else {
        for (; n > 0; --n)
            WritePlain(runValue_);
    }
}

void GifRunLengthCoder::WithTable(unsigned n)
{
    const unsigned t = tableLength_;
    unsigned repeats = n / t;
    unsigned leftover = n % t;
    unsigned extra = leftover ? 1 : 0;
    if (count_ + repeats + extra > largestCount_) {
        repeats = largestCount_ - count_;
        leftover = n - repeats * t;
        extra = 1 + Triangle(leftover);
    }
    if (1 + Triangle(n) < repeats + extra) {
        Emit(clearCode_);
        Reset();
        FromClear(n);
        return;
    }
    clearLimit_ = largestCount_;
    for (; repeats > 0; --repeats)
        WritePlain(firstRunCode_ + t - 2);
    if (leftover) {
        if (justCleared_)
            FromClear(leftover);
        else if (leftover == 1)
            WritePlain(runValue_);
        else
            WritePlain(firstRunCode_ + leftover - 2);
    }
    RestoreClearLimit();
}

void GifRunLengthCoder::FlushRun()
{
    if (runLength_ == 0)
        return;
    if (runLength_ == 1)
        WritePlain(runValue_);
    else if (justCleared_)
        FromClear(runLength_);
    else if (tableLength_ < 2 || tableValue_ != runValue_)
        ClearOrRepeat(runLength_);
    else
        WithTable(runLength_);
    runLength_ = 0;
}

void GifRunLengthCoder::Pixel(unsigned value)
{
    if (runLength_ > 0 && value != runValue_)
        FlushRun();
    runValue_ = value;
    ++runLength_;
}

std::vector<uint8_t> GifRunLengthCoder::Finish()
{
    FlushRun();
    Emit(endCode_);
    if (bitCount_ > 0) {
        block_.push_back(static_cast<uint8_t>(bitBuffer_ & 0xFF));
        bitBuffer_ = 0;
        bitCount_ = 0;
    }
    // Emit may have flushed a full block; one more partial block at most remains.
    if (block_.size() == 255 || !block_.empty()) {
        out_.push_back(static_cast<uint8_t>(block_.size()));
        out_.insert(out_.end(), block_.begin(), block_.end());
        block_.clear();
    }
    return std::move(out_);
}
