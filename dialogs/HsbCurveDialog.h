// Hue curves (template 165): three curves over the hue circle change, for every hue, the hue
// itself, the saturation and the lightness of the pixels of that hue (CHSBCurve). The curves are
// edited in a curve box whose 13 points move only up and down and whose two ends always carry
// the same value. History step 23 (the three curves as control values).
#pragma once

#include "algorithms/ToneAdjust.h"
#include "dialogs/CurveBox.h"
#include "dialogs/FilterDialog.h"
#include "ui/Button.h"
#include "ui/Menu.h"
#include "ui/Panel.h"

#include <array>
#include <atomic>
#include <memory>

class CHSBCurveBox : public CCurveBox {
public:
    static constexpr int kPoints = 13;

    void SetPos(int x, int y, int width, int height) override;
    int OnDraw(uint32_t time) override;
    void MovePoint(int index, int x, int y) override;
    // No point is ever deleted.
    void OnRButtonDown(int x, int y, uint32_t flags) override { CMessageSprite::OnRButtonDown(x, y, flags); }

    // The curve shown, 0 hue, 1 saturation, 2 lightness, and the dialog's three tables (drawn
    // under the box's lock).
    void SetHsbCurve(int curve, uint16_t* tables);
    int HsbCurve() const { return m_hsbCurve; }
    // The colour a point of the shown curve stands for (B, G, R, A, 16 bits).
    std::array<uint16_t, 4> PointColour(const CurvePoint& point) const;

private:
    int32_t m_hsbCurve = 1;
    uint16_t* m_hsbTables = nullptr;
};

class CHSBCurveDlg : public CFilterDialog {
public:
    static constexpr int kTemplateId = 165;
    static constexpr uint16_t kStepId = SchemeStepHsbCurves;
    static constexpr int32_t kBoxId = 9990, kToolPanelId = 9991;
    static constexpr int32_t kBoxPlaceId = 1123, kPanelPlaceId = 1121, kCurveButtonId = 1124, kResetId = 1122;
    static constexpr int32_t kToolPicker = 3005;
    static constexpr int32_t kMenuCurveFirst = 205; // 205 hue, 206 saturation, 207 lightness
    static constexpr int kPickRadius = 5;
    static constexpr int kTableSize = 65536;

    CHSBCurveDlg();
    ~CHSBCurveDlg() override;

    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;
    int Apply() override;

    void Reset();
    // Shows curve `channel` (box channels 5, 6, 7); with `save` the shown curve's points are kept.
    void SelectCurve(int channel, bool save);
    void UpdatePanel();
    void ShowCurveMenu();

    // ---- state for tests ----
    CHSBCurveBox& Box() { return m_box; }
    CPanelSprite& ToolPanel() { return m_tools; }
    CSMenu& CurveMenu() { return m_menu; }
    const uint16_t* Table(int index) const { return m_tables.get() + size_t(index) * kTableSize; }
    std::array<uint16_t, 4> PickedColour() const { return {m_picked[0], m_picked[1], m_picked[2], m_picked[3]}; }
    int MarkerX() const { return m_markerX.load(); }

    CHSBCurve m_algorithm;

private:
    void CopyBoxTableToCurve();
    void UpdateMarker();
    std::vector<CurvePoint> StoredList(int curve) const;

    CPanelSprite m_tools;
    CHSBCurveBox m_box;
    ImageList8 m_toolIcons;
    ImageBuffer8 m_pickerIcon{};
    CSMenu m_menu;
    CSButton* m_curveButton = nullptr;
    uint16_t m_picked[4] = {0, 0, 0, 0xFFFF};
    std::unique_ptr<uint16_t[]> m_tables;    // 3 x 65536: hue shift, saturation, lightness
    std::unique_ptr<uint16_t[]> m_jobTables; // the running job's copy
    std::array<std::array<CurvePoint, 15>, 3> m_stored{};
    std::atomic<int32_t> m_markerX{-1}; // dialog pixels; -1 none (read by the render thread)
    bool m_boxBuilt = false;
    bool m_toolsBuilt = false;
};
