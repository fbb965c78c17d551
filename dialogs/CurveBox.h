// The curve box: a square plot in which the user draws a tone curve over the picture's
// histogram, with grey ramps along the left and bottom edges, a grid, the curve and draggable
// control points. Its points give a 65536-entry table of 16-bit linear outputs; the parent reads
// it when MSG_CURVE_CHANGED {0, 0} arrives (a drag ended or a point was deleted; adding a point
// by a click posts nothing).
//
// Threads: input, point changes and table rebuilds run on the UI thread under the box's lock;
// OnDraw runs on the render thread under the same lock. The plot and marker rectangles are
// placed on the UI thread, so hit tests never read what the render thread writes. The parent's
// channel tables are drawn too: the parent rewrites them under the box's lock.
#pragma once

#include "imaging/ImageBuffer.h"
#include "ui/Sprite.h"

#include <array>
#include <cstdint>
#include <vector>

enum CurveEditMode : int32_t {
    kCurveEdit8Bit = 1,  // points placed, drawn and interpolated in sRGB-encoded 8-bit space
    kCurveEdit16Bit = 2, // 16-bit linear editing
};

enum CurvePointKind : int32_t {
    kPointFixed = 0,      // never moves; in stored lists it ends the list
    kPointHorizontal = 1, // moves along x only
    kPointVertical = 2,   // moves along y only
    kPointEnd = 3,        // slides along the plot border, never deleted
    kPointFree = 4,       // points added by a click
};

struct CurvePoint {
    int32_t x = 0; // input 0..65535, 16-bit linear
    int32_t y = 0; // output 0..65535
    int32_t kind = kPointFixed;
    double tangent = 1.0; // written by the table build
    SRect marker{};       // box pixels; hit testing
};

void InitCurvePoint(CurvePoint& point);
CurvePoint MakeCurvePoint(int32_t x, int32_t y, int32_t kind);

class CCurveBox : public CMessageSprite {
public:
    static constexpr int kMaxPoints = 10;
    static constexpr int kMinSpacing = 100; // input units between neighbouring points
    static constexpr int kTableSize = 65536;
    static constexpr int kHistogramBins = 4096;
    static constexpr uint32_t kDefaultHistogramColour = 0xFF404040;
    static constexpr int kAddPointCursor = 163;

    CCurveBox();

    int OnCreate() override;
    int OnDraw(uint32_t time) override;
    void SetPos(int x, int y, int width, int height) override;
    void OnMouseMove(int x, int y, uint32_t keyFlags) override;
    void OnLButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnLButtonUp(int x, int y, uint32_t keyFlags) override;
    void OnRButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnCaptureReleased() override;
    int OnSetCursor(int x, int y) override;
    // Moves point `index` towards the box pixel (x, y) within its kind and its neighbours.
    virtual void MovePoint(int index, int x, int y);

    // Both modes (the dialogs pass equal values) and a table rebuild under the lock.
    void SetBitMode(int bitMode, int scaleMode);
    // Pixel to value on the scale (0..255 or 0..65535), before any decoding.
    int ValueFromX(int x) const;
    int ValueFromY(int y) const;
    // The same turned into a 16-bit linear value (decoded in bit mode 1).
    int InputFromX(int x) const;
    int OutputFromY(int y) const;
    // A point's place in box pixels.
    SPoint PointPosition(const CurvePoint& point) const;
    // Rebuilds the table from the points; with `lock` under the box's lock, marking it dirty.
    void RebuildLookupTable(bool lock);
    void ComputeHistogram();

    // ---- set by the parent (UI thread) ----
    void SetPoints(const std::vector<CurvePoint>& points); // no rebuild
    void SetChannel(int channel);
    void SetSmooth(int smooth);
    void SetHistogramColour(uint32_t colour);
    // Five consecutive tables (RGB, R, G, B, Y) owned by the parent; null: only the own curve.
    void SetChannelTables(uint16_t* tables);
    void SetHistogramSource(const ImageBuffer16* source);
    // Copies a computed table in as the curve shown (the points stay as set).
    void SetLookupTable(const uint16_t* table);

    // ---- state (UI thread) ----
    const std::vector<CurvePoint>& Points() const { return m_points; }
    const uint16_t* LookupTable() const { return m_table.data(); }
    int BitMode() const { return m_bitMode; }
    int ScaleMode() const { return m_scaleMode; }
    int Channel() const { return m_channel; }
    int Smooth() const { return m_smooth; }
    int HitIndex() const { return m_hitIndex; }
    int Dragging() const { return m_dragging; }
    uint32_t HistogramColour() const { return m_histogramColour; }
    SRect PlotRect() const { return m_plot; }
    const uint32_t* Histogram(int index) const { return m_histograms[size_t(index & 3)].data(); }

protected:
    // Draws the other channels' tables and the own curve, then the point markers.
    void DrawCurvesAndPoints();
    void DrawCurve(const uint16_t* table, uint32_t colour);
    // Marker rectangles from the points' places (UI thread, under the lock).
    void PlaceMarkers();
    void PostChanged();
    void FillBackground();
    void SetPixel(int x, int y, uint32_t colour);

    SRect m_plot{};
    std::array<std::array<uint32_t, kHistogramBins>, 4> m_histograms{};
    int32_t m_hitIndex = -1;
    int32_t m_dragging = 0;
    SPoint m_press{-1000, -1000};
    int32_t m_bitMode = kCurveEdit16Bit;
    int32_t m_scaleMode = kCurveEdit16Bit;
    int32_t m_channel = 0;
    int32_t m_smooth = 1;
    uint32_t m_histogramColour = kDefaultHistogramColour;
    std::vector<CurvePoint> m_points;
    std::vector<uint16_t> m_table;
    uint16_t* m_channelTables = nullptr;
    const ImageBuffer16* m_histogramSource = nullptr;
    uint64_t m_histogramPixels = 0;

private:
    void BuildLookupTable8();
    void BuildLookupTable16();
};

// Exact sRGB encode and decode of 0..1 values (the table build's own precision).
double SrgbEncodeExact(double linear);
double SrgbDecodeExact(double encoded);
