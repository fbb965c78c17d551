// Tab frames and the pages they hold. A frame lays the page headers out as a strip of tabs, slides
// a highlight plate to the selected one, scrolls the strip with two arrow buttons when the tabs do
// not fit, and cross-fades from the old page to the new one when animations are on.
//
// A derived frame (the main window's strip, the album's bottom strip) changes the tab widths,
// the background, the switch rules, the arrows and the fade through the six virtual operations;
// the base drawing and input reach them only through those.
//
// Threads: pages are added, selected and removed on the UI thread; OnDraw runs on the render
// thread. The page list, the snapshots and the indices change under the frame's lock. The
// slide (scroll and highlight) is drawn on the render thread; input reads the target values.
#pragma once

#include "ui/Button.h"
#include "ui/Sprite.h"

#include <functional>
#include <vector>

class CSTabPage : public CMessageSprite {
public:
    static constexpr int kTitleCapacity = 32;

    explicit CSTabPage(const char16_t* title = u"");
    ~CSTabPage() override;

    virtual int Create(CSprite* parent, CRenderWindow* window, int32_t id, int left, int top,
                       int right, int bottom, int32_t zLevel);
    virtual void OnPageLeave() {}
    // 0 refuses the switch to this page.
    virtual int OnPageEnter() { return 1; }
    void ReleaseResources(int flag) override;

    void SetTitle(const char16_t* text);
    const char16_t* Title() const { return m_title; }
    // The tab picture: an optional icon ("icon:[name]text"), 5 clear columns, the text in light
    // grey through its coverage. Nonzero on success.
    int BuildHeaderImage();
    const ImageBuffer8& HeaderImage() const { return m_header; }

protected:
    ImageBuffer8 m_header;
    char16_t m_title[kTitleCapacity] = {};
};

class CSTabFrame : public CMessageSprite {
public:
    // Animation state bits.
    static constexpr int kSlide = 1, kFade = 2;
    static constexpr int kFirstPageId = 1000;

    CSTabFrame();
    ~CSTabFrame() override;

    virtual const ImageBuffer8* GetTabBackground();
    virtual int SelectPage(CSTabPage* page, int force);
    virtual int Create(CSprite* parent, CRenderWindow* window, int32_t id, int left, int top,
                       int right, int bottom, int32_t zLevel);
    virtual void GetTabExtent(int index, int* start, int* end);
    virtual void UpdateScrollButtons();
    // Blends `from` (level 0) into `to` (level 255) over the page area of the frame's image.
    virtual void BlendPages(const ImageBuffer8& first, const ImageBuffer8& second, int left,
                            int top, int right, int bottom);

    int AddPage(CSTabPage* page);
    void RemovePage(CSTabPage* page);
    int FindPage(const CSTabPage* page) const;
    CSTabPage* GetSelectedPage() const;
    CSTabPage* PageAt(int index) const;
    int PageCount() const;
    int TabFromPoint(int x, int y) const;
    void ScrollTabs(bool toLeft);

    void SetPos(int x, int y, int width, int height) override;
    SRect GetFocusRect() override;
    int OnCreate() override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }
    void OnCaptureReleased() override { m_hovered = -1; }
    int OnSetCursor(int x, int y) override;
    int OnSpriteMessage(SpriteMessage* message) override;

    // ---- state for owners and tests ----
    int Selected() const { return m_selected.load(); }
    int Previous() const { return m_previous.load(); }
    int Hovered() const { return m_hovered.load(); }
    int AnimationState() const { return m_animState.load(); }
    int FadeLevel() const { return m_fadeLevel.load(); }
    int Direction() const { return m_direction.load(); }
    int SwitchingEffectRunning() const { return m_switchEffect.load(); }
    int ScrollTarget() const { return m_scrollTarget.load(); }
    int Scroll() const { return m_scroll.load(); }
    int HighlightStart() const { return m_highlightStart.load(); }
    int HighlightEnd() const { return m_highlightEnd.load(); }
    // Posted by the render thread when a slide or fade has ended.
    static constexpr int32_t kMsgAnimationEnded = 10142;
    SRect PageArea() const { return m_pageArea; }
    int StripLeft() const { return m_stripLeft; }
    int StripRight() const { return m_stripRight; }
    int StripTop() const { return m_stripTop; }
    int StripBottom() const { return m_stripBottom; }
    CSButton& LeftButton() { return m_leftButton; }
    CSButton& RightButton() { return m_rightButton; }

    std::atomic<int32_t> m_switchingAllowed{1};
    // The UI thread waits for the render thread to end a fade at most this long, then ends it
    // itself: a hidden or stalled window never hangs the switch.
    int32_t m_fadeWaitLimitMs = 3000;
    // One step of that wait (default: sleep 50 ms); tests pump a frame here.
    std::function<void()> m_fadeWaitStep;

protected:
    int RenderPageImage(ImageBuffer8& snapshot, CSTabPage* page);
    void DrawTabStrip(int level);
    void DrawPageFade();
    void StartSlide();
    void HidePage(CSprite* page);
    void SelectIndexAfterRemoval(int removed);

    int32_t m_nextPageId = kFirstPageId;
    std::atomic<int32_t> m_selected{-1};
    std::atomic<int32_t> m_previous{-1};
    int32_t m_stripLeft = 8, m_stripRight = 0;
    // Where the strip is going (UI thread) and where the drawn slide is (render thread).
    std::atomic<int32_t> m_scrollTarget{0};
    std::atomic<int32_t> m_scroll{0};
    std::atomic<int32_t> m_highlightStart{-1}, m_highlightEnd{-1};
    std::atomic<int32_t> m_slidePending{0};
    std::atomic<int32_t> m_stripRedrawPending{0};
    CSButton m_leftButton;
    CSButton m_rightButton;
    std::atomic<int32_t> m_switchEffect{0};
    int32_t m_stripTop = 0, m_stripBottom = 32;
    std::atomic<int32_t> m_hovered{-1};
    int32_t m_pressed = -1;
    ImageBuffer8 m_oldSnapshot;
    ImageBuffer8 m_newSnapshot;
    std::atomic<int32_t> m_fadeLevel{0};
    std::atomic<int32_t> m_direction{0};
    SRect m_pageArea{};
    std::vector<CSTabPage*> m_pages;
};

// The album's frame: the same strip along the bottom edge.
class CSVerticalTabFrame : public CSTabFrame {
public:
    void SetPos(int x, int y, int width, int height) override;
};
