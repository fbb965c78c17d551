// The about box: the skin's "about.png" with the version line, centred in the window. A click or
// key more than 200 ms after it appeared closes it (a click meant for what was there before
// does not); the main window's start-up timer also closes it on its tenth tick.
#pragma once

#include "platform/Text.h"
#include "ui/Sprite.h"

#include <cstdint>

// Recognised by the start-up timer among the modal popups.
inline constexpr uint32_t SF_ABOUTBOX = 0x10000;

// "version " + the whole part of 8.4 - offset (offset in tenths) written with one decimal, and
// the closing words. Integer tenths: no rounding of 8.4 - 3.4 to 4.9999.
platform::String16 AboutVersionText(int offsetTenths);

class CAboutSprite : public CPopupSprite {
public:
    static constexpr uint32_t kGuardMs = 200;
    static constexpr int kTextRight = 529, kTextTop = 279;
    static constexpr uint32_t kTextColour = 0xC8C8C8;

    explicit CAboutSprite(int offsetTenths) : m_offsetTenths(offsetTenths) { SetFlags(SF_INPUT | SF_ABOUTBOX); }
    ~CAboutSprite() override;

    int OnCreate() override;
    int OnDraw(uint32_t time) override;
    void OnLButtonDown(int, int, uint32_t) override { OnInput(); }
    void OnRButtonDown(int, int, uint32_t) override { OnInput(); }
    void OnChar(uint32_t, uint32_t, uint32_t) override { OnInput(); }
    void OnKeyDown(uint32_t, uint32_t, uint32_t) override { OnInput(); }
    int CanFocus() override { return 1; }
    int ShowFocusMark() override { return 0; }
    void ReleaseResources(int flag) override;

    // Shows the box and runs its own loop until it is closed, then fades it out and takes it away.
    void Run();
    // The input handler: closes once the guard time has passed.
    void OnInput();
    // The start-up timer's close.
    void Close() { m_closed.store(1); }
    int Closed() const { return m_closed.load(); }
    uint32_t ShownAt() const { return m_shownTick; }
    const ImageBuffer8& VersionImage() const { return m_versionImage; }

private:
    int m_offsetTenths;
    ImageBuffer8 m_picture;
    ImageBuffer8 m_versionImage;
    uint32_t m_shownTick = 0;
    std::atomic<int> m_closed{0};
};
