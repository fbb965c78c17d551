// The busy ring: three white bands with gaps turning at two speeds, redrawn every frame, with an
// optional two-digit percentage in its middle.
#pragma once

#include "ui/Sprite.h"

class CSProgress : public CDialogControl {
public:
    CSProgress();
    ~CSProgress() override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int) override {} // the pictures live until hidden or destroyed

    void SetPercent(int value);
    void Show(int show);
    // The busy bracket's end forgets the last value, so the next busy run shows any value.
    void ResetPercent() { m_lastValue = -1; }
    int ShowsPercent() const { return m_showPercent; }
    const ImageBuffer8& PercentImage() const { return m_percent; }

private:
    ImageBuffer8 m_percent;
    int32_t m_showPercent = 0;
    int32_t m_lastValue = -1;
};

// The ring's pixel value (alpha before averaging) of one sample, for tests and the drawing.
int ProgressRingSample(double u, double v, int radius, int a, int b);
