#include "batch/AutomationScheme.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/SchemeSteps.h"
#include "batch/SavePanel.h"
#include "imaging/ImageBuffer.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>

namespace {

uint32_t U32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

// The record loop over any source of bytes: read(buffer, n) gives the bytes it could read.
size_t ReadRecords(const std::function<size_t(uint8_t*, size_t)>& read, std::vector<SchemeStep>& steps)
{
    std::vector<uint8_t> buffer(kSchemeRecordMax);
    size_t added = 0;
    for (;;) {
        uint8_t head[4] = {};
        if (read(head, 4) == 0)
            break;
        const uint32_t length = U32(head);
        if (length > kSchemeRecordMax || length < 6 || read(buffer.data(), length) != length)
            break;
        const uint16_t id = uint16_t(buffer[0] | buffer[1] << 8);
        const uint32_t p = U32(buffer.data() + 2);
        if (p > length - 6)
            break;
        SchemeStep step;
        step.id = id;
        step.params.assign(buffer.begin() + 6, buffer.begin() + 6 + p);
        steps.push_back(std::move(step));
        ++added;
    }
    return added;
}

std::u16string NameOf(const std::u16string& path)
{
    const size_t slash = path.find_last_of(u'/');
    std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string::npos && dot > 0)
        name.resize(dot);
    return name;
}

int RunNestedScheme(void* context, const platform::String16& path, ImageBuffer16& input, ImageBuffer16& output,
                    CAlgorithm* parent, int low, int high)
{
    const auto* outer = static_cast<const CAutomationScheme*>(context);
    // A chain deeper than the limit, or one that comes back to a file it has open, stops here.
    if (!outer || outer->m_level + 1 > kMaxSchemeDepth)
        return 0;
    const std::u16string key = SchemeFileKey(std::u16string(path));
    if (std::find(outer->m_openFiles.begin(), outer->m_openFiles.end(), key) != outer->m_openFiles.end())
        return 0;
    SchemeData inner;
    if (!LoadScheme(inner, std::u16string(path)))
        return 0;
    CAutomationScheme nested;
    nested.m_strength = 100;
    nested.m_skipImageSize = 0;
    nested.m_level = outer->m_level + 1;
    nested.m_openFiles = outer->m_openFiles;
    nested.m_openFiles.push_back(key);
    nested.SetSource(&input);
    nested.SetDestination(&output);
    nested.SetParams(&inner);
    nested.SetParent(parent, low, high);
    return nested.Run();
}

} // namespace

void ClearScheme(SchemeData& scheme)
{
    scheme.steps.clear();
}

size_t ParseSchemeRecords(std::span<const uint8_t> file, std::vector<SchemeStep>& steps)
{
    size_t at = 0;
    return ReadRecords(
        [&](uint8_t* out, size_t n) {
            const size_t k = std::min(n, file.size() - at);
            if (k > 0)
                std::memcpy(out, file.data() + at, k);
            at += k;
            return k;
        },
        steps);
}

std::vector<uint8_t> SchemeFileBytes(const SchemeData& scheme)
{
    std::vector<uint8_t> out;
    for (const SchemeStep& s : scheme.steps) {
        if (s.params.size() > kSchemeRecordMax - 6)
            continue;
        const uint32_t p = uint32_t(s.params.size());
        PutU32(out, p + 6);
        out.push_back(uint8_t(s.id));
        out.push_back(uint8_t(s.id >> 8));
        PutU32(out, p);
        out.insert(out.end(), s.params.begin(), s.params.end());
    }
    return out;
}

int LoadScheme(SchemeData& scheme, const std::u16string& path)
{
    // Only a plain file: a device or a pipe named by a step could stall the run for ever.
    std::error_code error;
    if (!std::filesystem::is_regular_file(platform::ToNativePath(path), error))
        return 0;
    platform::File file;
    if (!file.Open(path, platform::FileMode::Read))
        return 0;
    ReadRecords(
        [&](uint8_t* out, size_t n) {
            size_t got = 0;
            while (got < n) {
                const int64_t k = file.Read(out + got, n - got);
                if (k <= 0)
                    break;
                got += size_t(k);
            }
            return got;
        },
        scheme.steps);
    file.Close();
    scheme.name = NameOf(path);
    scheme.path = path;
    scheme.folder = 0;
    return 1;
}

bool SaveSchemeFile(const SchemeData& scheme, const std::u16string& path)
{
    const std::vector<uint8_t> bytes = SchemeFileBytes(scheme);
    if (!platform::MayReplaceFile(platform::ToNativePath(path), false))
        return false;
    return platform::WriteWholeFileAtomic(path, bytes);
}

int StepWeight(uint16_t id)
{
    if (id < 1 || id > 35)
        return 0;
    const SchemeStepRow* row = FindSchemeStep(id);
    return row ? row->weight : 0;
}

std::u16string SchemeFileKey(const std::u16string& path)
{
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(platform::ToNativePath(path), error);
    return error ? path : std::u16string(platform::FromNativePath(real.string()));
}

int CAutomationScheme::Run()
{
    ImageBuffer16* source = Source();
    ImageBuffer16* destination = Destination();
    const auto* scheme = static_cast<const SchemeData*>(Params());
    if (!source || !destination || !CopyImage16(*destination, *source))
        return 0;
    if (!scheme || scheme->folder)
        return 1;
    if (m_level == 0 && m_openFiles.empty() && !scheme->path.empty())
        m_openFiles.push_back(SchemeFileKey(scheme->path));
    int total = 1;
    for (const SchemeStep& s : scheme->steps)
        total += StepWeight(s.id);
    int done = 0;
    ImageBuffer16 work{};
    for (const SchemeStep& s : scheme->steps) {
        FreeImageBuffer(work);
        const int weight = StepWeight(s.id);
        m_stepEnd = (done + weight) * 100 / total;
        SchemeReplay how;
        how.parent = this;
        how.progressLow = done * 100 / total;
        how.progressHigh = m_stepEnd;
        how.skipImageSize = m_skipImageSize != 0;
        how.nestedScheme = &RunNestedScheme;
        how.nestedContext = this;
        const int ok = ReplaySchemeStep(s.id, s.params.data(), s.params.size(), *destination, work, how);
        done += weight;
        SetProgress(done * 100 / total);
        if (!ok) {
            FreeImageBuffer(work);
            return 0;
        }
        if (work.data && !CopyImage16(*destination, work)) {
            FreeImageBuffer(work);
            return 0;
        }
        if (OnAlgorithmJobThread() && IsAlgorithmCancelled()) {
            FreeImageBuffer(work);
            return 1; // the steps done so far stand; no blend
        }
    }
    FreeImageBuffer(work);
    if (m_strength < 100 && destination->width == source->width && destination->height == source->height) {
        const int64_t keep = 100 - std::max(0, m_strength), take = std::max(0, m_strength);
        const size_t n = size_t(source->pixelCount);
        for (size_t i = 0; i < n; ++i)
            for (int c = 0; c < 3; ++c) {
                uint16_t& d = destination->data[i * 4 + c];
                d = uint16_t((int64_t(source->data[i * 4 + c]) * keep + int64_t(d) * take) / 100);
            }
    }
    return 1;
}
