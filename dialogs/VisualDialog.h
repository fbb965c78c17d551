// Visual variants (template 160, over the page): the current version of a square part of the
// layer in the middle of a grid, the versions one step away around it; a click glides the grid
// until the chosen version sits in the middle. Page 0 steps contrast (across) and brightness (up),
// page 1 red, green and blue on three axes 120 degrees apart. OK applies the steps to the layer.
//
// Threads: tiles are made and drawn on the render thread in OnDraw, under the dialog's lock
// (held by the sprite update), with a CVisual of their own; OK applies with another CVisual on the
// UI thread (its tables are built lazily inside the object). The UI thread replaces the reduced
// copy and empties the tile caches under the same lock. The hit list is filled by the render
// thread and read by the mouse handlers, both under the hit lock. Positions, targets, scales,
// page and animation are atomics: the UI thread writes targets and starts animations, the render
// thread steps them.
#pragma once

#include "algorithms/Visual.h"
#include "dialogs/AlgorithmDialog.h"
#include "platform/Sync.h"
#include "ui/Panel.h"

#include <array>
#include <atomic>
#include <memory>
#include <vector>

struct VisualTile {
    int32_t keys[3] = {};
    ImageBuffer8 picture{};

    VisualTile() = default;
    VisualTile(const VisualTile&) = delete;
    VisualTile& operator=(const VisualTile&) = delete;
    ~VisualTile() { FreeImageBuffer(picture); }
};

struct VisualHit {
    int32_t steps[5] = {}; // contrast, brightness, red, green, blue
    SRect rect{};          // dialog coordinates
};

class CVisualDlg : public CAlgorithmDialog {
public:
    static constexpr int kTemplateId = 160;
    static constexpr int32_t kPanelId = 9991;
    static constexpr int32_t kItemTone = 1, kItemColour = 2, kItemAxes = 3, kItemZoomIn = 4, kItemZoomOut = 5,
                             kItemReset = 6;
    static constexpr int32_t kMsgPanelRefresh = 10007;
    static constexpr int kAnimNone = 0, kAnimGlide = 101, kAnimToTone = 201, kAnimToColour = 202;
    static constexpr int kHoverNone = -1, kHoverPan = -2;
    static constexpr int kIconFrameWidth = 120;

    CVisualDlg();
    ~CVisualDlg() override;

    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnMouseWheel(int x, int y, int delta) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;
    void OnCaptureReleased() override;
    int OnSetCursor(int x, int y) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;

    // The step strength of a reduced copy: 50 for none, up to 100 for colourful pictures.
    static int MeasureStrength(const ImageBuffer16& reduced);
    // The largest centred square of a w x h picture.
    static SRect CentredSquare(int width, int height);

    int SetupGrid();
    int MakeSourceCopy();
    // A tile of the reduced copy with the five steps; null on failure. Render thread (or a
    // caller holding the dialog's lock).
    std::unique_ptr<VisualTile> MakeTile(int page, const int32_t steps[5]);

    void SelectTile(int index);
    void StepGlide();
    void StepToTonePage();
    void StepToColourPage();
    void ZoomIn();
    void ZoomOut();
    void ResetSteps();
    void ChangePage(int page);

    // ---- state for tests ----
    std::vector<VisualHit> Hits() const;
    std::array<double, 5> Position() const;
    std::array<double, 5> Target() const;
    int Animation() const { return m_animation.load(); }
    int Page() const { return m_page.load(); }
    int Pitch() const { return m_pitch; }
    SRect Grid() const { return m_grid; }
    SRect Region() const { return m_region; }
    int Strength() const { return m_strength.load(); }
    int Hovered() const { return m_hovered; }
    size_t CachedTiles() const;
    const ImageBuffer16& Reduced() const { return m_reduced; }
    CPanelSprite& Panel() { return m_panel; }

    std::atomic<int32_t> m_page{0}; // set by the command before the dialog opens

private:
    void DrawGrid();
    void DrawTonePage(std::vector<VisualHit>& hits);
    void DrawColourPage(std::vector<VisualHit>& hits);
    const VisualTile* CachedTile(int page, int32_t a, int32_t b, int32_t c, const int32_t steps[5]);
    void EmptyCaches(); // caller holds m_lock
    void RefreshPanel();
    void RequestRedraw();
    void KeepFramesComing();
    // Replaces the region, remakes the copy and empties the caches; false when the copy failed.
    bool SetRegion(const SRect& region);
    int HitAt(int x, int y) const;
    bool OnGrid(int x, int y) const;

    int32_t m_pitch = 0;
    SRect m_grid{};
    ImageBuffer16 m_reduced{}; // under m_lock
    ImageList8 m_icons;
    std::vector<std::unique_ptr<VisualTile>> m_toneTiles, m_colourTiles; // under m_lock
    SRect m_region{};
    mutable platform::CriticalSection m_hitLock;
    std::atomic<int32_t> m_strength{50};
    std::atomic<double> m_position[5] = {};
    std::atomic<double> m_target[5] = {};
    std::vector<VisualHit> m_hits; // under m_hitLock
    int32_t m_hovered = kHoverNone;
    int32_t m_panning = 0;
    SPoint m_panStart{};
    SRect m_panRegion{};
    int32_t m_pressedHit = -1;
    SPoint m_pressPoint{};
    std::atomic<int32_t> m_redraw{0};
    std::atomic<int32_t> m_animation{kAnimNone};
    std::atomic<double> m_toneScale{1.0}, m_colourScale{1.0};
    CPanelSprite m_panel;
    bool m_panelBuilt = false;
    CVisual m_tileVisual; // the render thread's
};
