// The ramp and the glow are per pixel and run in bands; the blur between them runs once on the
// whole ramped picture, so the result does not depend on how the picture was cut into bands.
#include "algorithms/DiffuseFilter.h"

#include "algorithms/GaussBlur.h"
#include "algorithms/PixelAccess.h"

#include <cmath>

void CDiffuseFilter::BuildToneRamp(const DiffuseParams& p, uint16_t* t)
{
    const int64_t h = std::max(0, p.highlight), d = std::max(0, p.shadow);
    int64_t start, end;
    if (p.mode == 1) {
        start = 55000 - 100 * h;
        end = 60000 - 30 * h;
    } else {
        start = 30 * d;
        end = 65535 - 200 * h;
    }
    for (int64_t i = 0; i < 65536; ++i)
        t[i] = i < start ? 0 : i < end ? ClampU16((i - start) * 65535 / (end - start)) : 65535;
}

int CDiffuseFilter::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pSource->data || !m_pDestination)
        return 0;
    // Stored records are limited to what the dialog can set.
    if (!std::isfinite(m_params.radius))
        return 0;
    m_params.radius = std::clamp(m_params.radius, 0.0, 1000.0);
    m_params.amount = std::clamp(m_params.amount, 0, 100);
    m_table.resize(65536);
    BuildToneRamp(m_params, m_table.data());

    int ok = 0;
    m_stage = 0;
    ImageBuffer16* destination = m_pDestination;
    m_pDestination = &m_ramped;
    if (AllocImage16(m_ramped, m_pSource->width, m_pSource->height) && SplitIntoBands(0, 0) && RunBands()) {
        SetProgress(10);
        CGaussBlur blur;
        blur.SetParent(this, 10, 70);
        if (blur.BlurImage16(m_params.radius, m_ramped, m_blurred)) {
            SetProgress(70);
            m_stage = 1;
            m_pDestination = destination;
            ok = AllocImage16(*destination, m_pSource->width, m_pSource->height) && SplitIntoBands(0, 0) &&
                 RunBands();
        }
    }
    m_pDestination = destination;
    FreeImageBuffer(m_ramped);
    FreeImageBuffer(m_blurred);
    if (ok)
        SetProgress(100);
    return ok;
}

int CDiffuseFilter::ProcessBand(BandTask& task)
{
    const ImageBuffer16& S = *task.bandSource;
    ImageBuffer16& D = *task.bandDest;
    const size_t n = PixelCount(S);
    const uint16_t* s = Pixels16(S);
    uint16_t* d = Pixels16(D);
    if (m_stage == 0) {
        const uint16_t* t = m_table.data();
        for (size_t i = 0; i < n; ++i) {
            d[i * 4 + 0] = t[s[i * 4 + 0]];
            d[i * 4 + 1] = t[s[i * 4 + 1]];
            d[i * 4 + 2] = t[s[i * 4 + 2]];
            d[i * 4 + 3] = s[i * 4 + 3];
        }
        return 1;
    }
    // The band's rows of the blurred picture: the band's own rows in the image.
    const uint16_t* g = Row16(m_blurred, task.firstWithMargin);
    const int64_t a = m_params.amount;
    for (size_t i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) {
            const int64_t src = s[i * 4 + c], blur = g[i * 4 + c];
            d[i * 4 + c] = m_params.mode == 1 ? ClampU16(src + blur * a / 100)
                                              : static_cast<uint16_t>((blur * a + src * (100 - a)) / 100);
        }
        d[i * 4 + 3] = s[i * 4 + 3];
    }
    return 1;
}
