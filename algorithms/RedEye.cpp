#include "algorithms/RedEye.h"

#include "algorithms/ColourOps.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cstring>
#include <vector>

CRedEye::~CRedEye()
{
    FreePlane8(m_work);
}

int CRedEye::HueMembership(int h)
{
    const int b = std::min(h, 65536 - h); // distance from red
    if (b < 8000)
        return 255;
    if (b < 12000)
        return 255 - 255 * (b - 8000) / 4000;
    return 0;
}

int CRedEye::SaturationMembership(int s)
{
    if (s < 12000)
        return 0;
    return static_cast<int>(std::min(1.0, (s - 12000) / 10000.0) * 255);
}

int CRedEye::LightnessMembership(int l)
{
    if (l < 1000)
        return 0;
    if (l < 3000)
        return 255 * (l - 1000) / 2000; // reaches 255 at 3000 without a step
    if (l < 20000)
        return 255;
    return static_cast<int>(std::max(0.0, (35000 - l) / 15000.0) * 255);
}

int CRedEye::Run()
{
    if (m_pParams)
        m_mask = static_cast<const RedEyeParams*>(m_pParams)->mask;
    if (!m_mask || !m_mask->data || !m_pSource || !m_pDestination || !m_pSource->data)
        return 0;
    const ImageBuffer16& src = *m_pSource;
    const Plane8& mask = *m_mask;
    if (mask.width != src.width || mask.height != src.height)
        return 0;
    m_box = MaskBBox(mask);
    const int bw = m_box.right - m_box.left, bh = m_box.bottom - m_box.top;
    if (bw > mask.width / 2 || bh > mask.height / 2 || bw < 4 || bh < 4)
        return 0;
    if (!AllocPlane8(m_work, bw, bh))
        return 0;
    std::vector<uint8_t> hue(65536), sat(65536), light(65536); // heap: worker stacks are small
    for (int i = 0; i < 65536; ++i) {
        hue[i] = static_cast<uint8_t>(HueMembership(i));
        sat[i] = static_cast<uint8_t>(SaturationMembership(i));
        light[i] = static_cast<uint8_t>(LightnessMembership(i));
    }
    for (int y = 0; y < bh; ++y)
        for (int x = 0; x < bw; ++x) {
            const int m = mask.data[size_t(y + m_box.top) * mask.width + x + m_box.left];
            uint8_t& out = m_work.data[size_t(y) * bw + x];
            if (!m) {
                out = 0;
                continue;
            }
            uint16_t p[4];
            std::memcpy(p, Row16(src, y + m_box.top) + (x + m_box.left) * 4, sizeof p);
            RgbToHsl16(p, 1);
            out = static_cast<uint8_t>(double(hue[p[2]]) * m * sat[p[1]] * light[p[0]] / 16581375.0);
        }
    SetProgress(20);
    Plane8 blurred{};
    CChannelOP context;
    context.SetParent(this, 20, 60);
    const int ok = FeatherMask(1.0, m_work, blurred) && CopyPlane8(m_work, blurred);
    FreePlane8(blurred);
    if (!ok)
        return 0;
    SetProgress(60);
    if (!CopyUnlessSame(*m_pDestination, src))
        return 0;
    for (int y = 0; y < bh; ++y) {
        uint16_t* p = Row16(*m_pDestination, y + m_box.top) + m_box.left * 4;
        for (int x = 0; x < bw; ++x, p += 4) {
            const int a = m_work.data[size_t(y) * bw + x];
            if (a <= 0)
                continue;
            const int64_t d = std::min(255, a * 2);
            p[2] = static_cast<uint16_t>((std::max(p[0], p[1]) * d + (255 - d) * int64_t(p[2])) / 255);
        }
    }
    return 1;
}
