// Tone curves (template 162): a curve box for one of five channels (RGB, red, green, blue,
// luminance) in 8-bit or 16-bit editing, straight or smooth segments, an automatic levels and an
// automatic equalising curve, and a colour picker that marks a picked colour on the input axis.
// The preview applies the shown channel's mode: one curve on B, G and R, the three colour
// curves together, or one curve on luminance. History step 22.
//
// The five channel tables belong to the dialog and change on the UI thread; each job gets its
// own copy of the tables it applies, so a change never rewrites what the worker reads.
#pragma once

#include "algorithms/ToneAdjust.h"
#include "dialogs/CurveBox.h"
#include "dialogs/FilterDialog.h"
#include "ui/Button.h"

#include <array>
#include <atomic>
#include <memory>

// The mean colour (B, G, R, A) of the picture's pixels within `radius` of (x, y): only pixels
// inside the picture with nonzero alpha count; all zeros when none does.
std::array<uint16_t, 4> SampleDiscAverage(const ImageBuffer16& picture, int radius, int x, int y);

class CCurveDlg : public CFilterDialog {
public:
    static constexpr int kTemplateId = 162;
    static constexpr uint16_t kStepId = SchemeStepCurves;
    static constexpr int32_t kBoxId = 9990, kToolPanelId = 9991;
    static constexpr int32_t kChannelButtonId = 1119, kBoxPlaceId = 1120, kPanelPlaceId = 1121, kResetId = 1122;
    static constexpr int32_t kTool8Bit = 3001, kTool16Bit = 3002, kToolStraight = 3003, kToolSmooth = 3004,
                             kToolPicker = 3005, kToolAutoLevels = 3006, kToolEqualise = 3007;
    static constexpr int32_t kMenuChannelFirst = 200; // 200..204
    static constexpr int kChannels = 5;
    static constexpr int kPickRadius = 5;

    CCurveDlg();
    ~CCurveDlg() override;

    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;
    int Apply() override;

    // Every curve back to the identity, smooth, channel RGB, histogram from the before picture.
    void Reset();
    // Shows `channel`; with `save` the shown channel's points are kept first.
    void SelectChannel(int channel, bool save);
    void UpdatePanel();
    void ShowChannelMenu();
    // The automatic curve of the shown channel (levels 1) or its equalising curve (levels 0);
    // for red, green or blue the other two colour channels get theirs first.
    void AutoCurve(int levels);

    // ---- state for tests ----
    CCurveBox& Box() { return m_box; }
    CPanelSprite& ToolPanel() { return m_tools; }
    CSMenu& ChannelMenu() { return m_channelMenu; }
    const uint16_t* ChannelTable(int channel) const { return m_tables.get() + size_t(channel) * kToneLutSize; }
    const std::array<CurvePoint, CCurveBox::kMaxPoints>& StoredPoints(int channel) const
    {
        return m_stored[size_t(channel)];
    }
    std::array<uint16_t, 4> PickedColour() const;
    int MarkerX() const { return m_markerX.load(); }

    CCurve m_algorithm;
    CurveParams m_params;

private:
    // The automatic curve of one channel into its table and stored points.
    void AutoCurveFor(int channel, int levels);
    void CopyBoxTableToChannel();
    void StoreDefaultPoints(int channel);
    void UpdateMarker();
    std::vector<CurvePoint> StoredList(int channel) const;

    CPanelSprite m_tools;
    CCurveBox m_box;
    ImageList8 m_toolIcons;
    ImageBuffer8 m_pickerIcon{};
    CSMenu m_channelMenu;
    std::array<std::array<CurvePoint, CCurveBox::kMaxPoints>, kChannels> m_stored{};
    std::unique_ptr<uint16_t[]> m_tables;  // 5 x 65536: RGB, R, G, B, Y
    std::unique_ptr<uint16_t[]> m_jobTables; // the running job's copy (up to 3 tables)
    CSButton* m_channelButton = nullptr;
    uint16_t m_picked[4] = {0, 0, 0, 0xFFFF};
    std::atomic<int32_t> m_markerX{-1}; // dialog pixels; -1 none (read by the render thread)
    bool m_boxBuilt = false;
    bool m_toolsBuilt = false;
};
