// A render window on the headless backend for tests: drawn UI images, a manual clock, and the
// frame loop pumped by the test (or the real render thread when asked for).
#pragma once

#include "imaging/AlphaTables.h"
#include "platform/Clock.h"
#include "ui/DrawnUiImages.h"
#include "ui/RenderWindow.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

struct UiTestWindow {
    platform::ManualTickSource clock{100000};
    platform::ScopedTickSource scopedClock{clock};
    std::unique_ptr<CRenderWindow> window;

    explicit UiTestWindow(int width = 640, int height = 480, int dpi = 96, bool thread = false,
                          CRenderWindow* custom = nullptr)
    {
        SetUiImageSource(&DrawnUiImage);
        ResetSharedUiImages();
        const std::string dpiText = std::to_string(dpi);
        setenv("ZENDRA_DPI", dpiText.c_str(), 1);
        window.reset(custom ? custom : new CRenderWindow);
        RenderWindowOptions o;
        o.backend = platform::BackendKind::Headless;
        o.window.width = width;
        o.window.height = height;
        o.maximize = false;
        o.startRenderThread = thread;
        opened = window->Open(o);
        unsetenv("ZENDRA_DPI");
        if (opened) {
            Pump();
            window->SetWindowReady(1);
        }
    }
    ~UiTestWindow()
    {
        window.reset();
        SetUiImageSource(nullptr);
        ResetSharedUiImages();
    }

    platform::Window& Platform() { return *window->PlatformWindow(); }
    platform::HeadlessControl& Input() { return *window->PlatformWindow()->Headless(); }
    void Pump() { window->PlatformWindow()->PumpPending(); }
    // One frame at the next 30 ms step of the manual clock.
    void Frame()
    {
        clock.Advance(30);
        window->RenderFrame(platform::GetTickCount32());
    }
    // The window's surface pixel (B, G, R, A) at a client point.
    uint32_t SurfacePixel(int x, int y)
    {
        int w = 0, h = 0;
        std::vector<uint8_t> s = Input().ReadSurface(w, h);
        if (x < 0 || y < 0 || x >= w || y >= h)
            return 0;
        const uint8_t* p = &s[(size_t(y) * w + x) * 4];
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    }

    bool opened = false;
};

// A message sprite of one solid colour that records what reaches it.
class TestSprite : public CMessageSprite {
public:
    explicit TestSprite(uint32_t bgra = 0xFF808080, bool input = true, bool focusable = false)
        : m_colour(bgra), m_focusable(focusable)
    {
        if (input)
            SetFlags(SF_INPUT);
    }
    int OnDraw(uint32_t) override
    {
        if (!AllDirty() || !m_image.data)
            return 0;
        for (uint32_t i = 0; i < m_image.pixelCount; ++i)
            std::memcpy(m_image.data + size_t(i) * 4, &m_colour, 4);
        ++draws;
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }
    int CanFocus() override { return m_focusable ? 1 : 0; }
    int OnSpriteMessage(SpriteMessage* m) override
    {
        codes.push_back(m->code);
        params.push_back(m->param1);
        return CMessageSprite::OnSpriteMessage(m);
    }
    void OnMouseMove(int x, int y, uint32_t flags) override { Record('M', x, y, flags); CMessageSprite::OnMouseMove(x, y, flags); }
    void OnLButtonDown(int x, int y, uint32_t flags) override { Record('D', x, y, flags); CMessageSprite::OnLButtonDown(x, y, flags); }
    void OnLButtonUp(int x, int y, uint32_t flags) override { Record('U', x, y, flags); CMessageSprite::OnLButtonUp(x, y, flags); }
    void OnKeyDown(uint32_t key, uint32_t, uint32_t) override { keys.push_back(key); }
    void OnCaptureReleased() override { ++captureReleased; }
    void OnMouseWheel(int x, int y, int delta) override { Record('W', x, y, uint32_t(delta)); }
    int OnDropFiles(int x, int y, const std::vector<platform::String16>* files) override
    {
        Record('F', x, y, uint32_t(files ? files->size() : 0));
        return 1;
    }
    void SetColour(uint32_t c) { m_colour = c; SetAllDirty(1); }

    struct Event { char kind; int x, y; uint32_t flags; };
    std::vector<Event> events;
    std::vector<int> codes;
    std::vector<intptr_t> params;
    std::vector<uint32_t> keys;
    int draws = 0;
    int captureReleased = 0;

private:
    void Record(char k, int x, int y, uint32_t f) { events.push_back({k, x, y, f}); }
    uint32_t m_colour;
    bool m_focusable;
};
