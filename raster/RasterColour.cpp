// RGB <-> HSL in RGBQUAD form: blue = lightness, green = saturation, red = hue (255 = 360 deg).
#include "raster/Raster.h"

#include <algorithm>

RGBQUAD CRaster::ColourToHsl(RGBQUAD colour)
{
    int r = colour.rgbRed, g = colour.rgbGreen, b = colour.rgbBlue;
    int mx = std::max({r, g, b}), mn = std::min({r, g, b});
    int l = ((mx + mn) * 255 + 255) / 510;
    int s = 0, h = 170;
    if (mx != mn) {
        int d = mx - mn;
        if (l <= 127)
            s = (d * 255 + (mx + mn) / 2) / (mx + mn);
        else
            s = (d * 255 + (510 - mx - mn) / 2) / (510 - mx - mn);
        int rDelta = ((mx - r) * 42 + d / 2) / d;
        int gDelta = ((mx - g) * 42 + d / 2) / d;
        int bDelta = ((mx - b) * 42 + d / 2) / d;
        if (r == mx)
            h = bDelta - gDelta;
        else if (g == mx)
            h = 85 + rDelta - bDelta;
        else
            h = 170 + gDelta - rDelta;
        h &= 0xFF;
    }
    return RGBQUAD{static_cast<uint8_t>(l), static_cast<uint8_t>(s), static_cast<uint8_t>(h), 0};
}

static float HueChannel(float m1, float m2, float t)
{
    if (t > 360)
        t -= 360;
    else if (t < 0)
        t += 360;
    if (t < 60)
        return m1 + (m2 - m1) * t / 60;
    if (t < 180)
        return m2;
    if (t < 240)
        return m1 + (m2 - m1) * (240 - t) / 60;
    return m1;
}

RGBQUAD CRaster::HslToColour(RGBQUAD hsl)
{
    float h = hsl.rgbRed * 360.0f / 255.0f;
    float s = hsl.rgbGreen / 255.0f;
    float l = hsl.rgbBlue / 255.0f;
    if (hsl.rgbGreen == 0) {
        auto v = static_cast<uint8_t>(l * 255);
        return RGBQUAD{v, v, v, 0};
    }
    float m2 = l <= 0.5f ? l * (1 + s) : l + s - l * s;
    float m1 = 2 * l - m2;
    auto channel = [&](float t) {
        return static_cast<uint8_t>(std::clamp(HueChannel(m1, m2, t) * 255, 0.0f, 255.0f));
    };
    return RGBQUAD{channel(h - 120), channel(h), channel(h + 120), 0};
}
