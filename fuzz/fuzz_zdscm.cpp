// A ".zdscm" file may be anything: huge or short lengths, P past L, cut records, blocks of any
// bytes for any id, a step 36 naming any path. Reading must end with whole steps only, writing
// them back must read back the same, and replaying every step on a small picture must neither
// crash nor leave the picture in a broken state.
#include "batch/AutomationScheme.h"

#include "imaging/ColourTables.h"
#include "imaging/ImageBuffer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    static const bool tables = (BuildGammaTables(), true);
    (void)tables;
    SchemeData scheme;
    ParseSchemeRecords(std::span<const uint8_t>(data, size), scheme.steps);
    for (const SchemeStep& s : scheme.steps)
        if (s.params.size() > kSchemeRecordMax - 6)
            std::abort();
    const std::vector<uint8_t> written = SchemeFileBytes(scheme);
    std::vector<SchemeStep> again;
    ParseSchemeRecords(written, again);
    if (again.size() != scheme.steps.size())
        std::abort();
    for (size_t i = 0; i < again.size(); ++i)
        if (again[i].id != scheme.steps[i].id || again[i].params != scheme.steps[i].params)
            std::abort();
    // The replays that cost little on a tiny picture; the slow filters are the algorithms' own
    // fuzzing's business.
    if (scheme.steps.size() > 8)
        scheme.steps.resize(8);
    ImageBuffer16 in{}, out{};
    if (!AllocImage16(in, 9, 7))
        return 0;
    for (uint32_t i = 0; i < in.pixelCount * 4; ++i)
        in.data[i] = uint16_t(i * 997);
    CAutomationScheme run;
    run.m_strength = 50;
    run.SetSource(&in);
    run.SetDestination(&out);
    run.SetParams(&scheme);
    run.Run();
    if (out.data && (out.width < 1 || out.height < 1))
        std::abort();
    FreeImageBuffer(in);
    FreeImageBuffer(out);
    return 0;
}
