// Shared pieces of the editor's tests: small documents, the canvas's skin pictures drawn as
// plain strips, and a canvas on a headless test window.
#pragma once

#include "editor/EditView.h"
#include "editor/Tool.h"
#include "platform/Settings.h"
#include "ui/tests/UiTestWindow.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// A temporary folder and, for its lifetime, the settings files inside it.
struct ScopedSettings {
    std::string folder;
    ScopedSettings()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zdeditorXXXXXX").string();
        folder = mkdtemp(pattern.data());
        platform::SetSettingsFiles(platform::Utf8ToUtf16(folder + "/user.txt"),
                                   platform::Utf8ToUtf16(folder + "/machine.txt"));
    }
    ~ScopedSettings()
    {
        platform::SetSettingsFiles(platform::DefaultUserSettingsFile(), platform::DefaultMachineSettingsFile());
        std::filesystem::remove_all(folder);
    }
};

inline ImageBuffer16 MakeImage16(int w, int h, const std::function<uint16_t(int, int, int)>& f)
{
    ImageBuffer16 img;
    AllocImage16(img, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                img.data[(size_t(y) * w + x) * 4 + c] = f(x, y, c);
    return img;
}

inline ImageBuffer16 SolidImage16(int w, int h, uint16_t b, uint16_t g, uint16_t r, uint16_t a = 0xFFFF)
{
    return MakeImage16(w, h, [=](int, int, int c) {
        const uint16_t v[4] = {b, g, r, a};
        return v[c];
    });
}

inline const uint16_t* PixelAt(const ImageBuffer16& img, int x, int y)
{
    return img.data + (size_t(y) * img.width + x) * 4;
}

// Adds a copy of the image as a layer and frees the image.
inline CZDLayer* AddOwned(CZDDoc& doc, ImageBuffer16 image, const char16_t* name = u"layer")
{
    const int ok = doc.AddLayer(image, name);
    FreeImageBuffer(image);
    return ok ? doc.layers.back().get() : nullptr;
}

inline Plane8 MakePlane(int w, int h, const std::function<uint8_t(int, int)>& f)
{
    Plane8 p;
    AllocPlane8(p, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.data[size_t(y) * w + x] = f(x, y);
    return p;
}

// The canvas's skin pictures as grey strips of the right frame widths; anything else drawn.
inline int CanvasTestImages(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const std::u16string n = name;
    int w = 0, h = 0;
    if (n == u"editview.png") {
        w = 11 * 38;
        h = 38;
    } else if (n == u"selection.png") {
        w = 4 * 16;
        h = 16;
    } else if (n == u"no.png") {
        w = h = 24; // the tool page's no-tool button
    } else if (n == u"history.png") { // the side panels
        w = 4 * 28;
        h = 28;
    } else if (n == u"layertool.png") {
        w = 10 * 28;
        h = 28;
    } else if (n == u"eye.png") {
        w = 20;
        h = 16;
    } else if (n == u"right.png") {
        w = h = 16;
    }
    if (w) {
        if (!AllocImage8(out, w, h))
            return 0;
        std::memset(out.data, 0xC0, out.byteSize);
        return 1;
    }
    return DrawnUiImage(folder, name, out);
}

// A tool that records what the canvas hands it and answers with the set results.
class RecordingTool : public CTool {
public:
    struct Call {
        std::string what;
        int a, b, c, d;
    };
    int Activate() override { return 1; }
    int OnButtonDown(int isLeft, int x, int y, uint32_t) override { return Log("down", isLeft, x, y, 0, consume); }
    int OnButtonUp(int isLeft, int x, int y, uint32_t) override { return Log("up", isLeft, x, y, 0, consume); }
    int OnDoubleClick(int isLeft, int x, int y, uint32_t) override { return Log("dbl", isLeft, x, y, 0, consume); }
    int OnMouseMove(int pressed, int lx, int ly, int x, int y) override
    {
        calls.push_back({"move", pressed, lx, ly, x * 10000 + y});
        return consume;
    }
    int OnModifierKey(uint32_t key) override { return Log("mod", int(key), 0, 0, 0, consume); }
    int OnKey(uint32_t code, int isVirtual) override { return Log("key", int(code), isVirtual, 0, 0, consume); }
    void OnCaptureLost() override { Log("lost", 0, 0, 0, 0, 0); }
    void OnPanelMessage(SpriteMessage* m) override { Log("panel", m->code, int(m->param1), 0, 0, 0); }
    int GetToolGroup() override { return group; }

    int Log(const char* what, int a, int b, int c, int d, int result)
    {
        calls.push_back({what, a, b, c, d});
        return result;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> v;
        for (const Call& c : calls)
            v.push_back(c.what);
        return v;
    }

    std::vector<Call> calls;
    int consume = 0;
    int group = kToolGroupPlain;
};

// The page the canvas sits on: takes input and hands every event to the child under the point,
// as the editor tab does.
class PageSprite : public CMessageSprite {
public:
    PageSprite() { SetFlags(SF_INPUT); }
    int OnDraw(uint32_t) override
    {
        if (!AllDirty() || !m_image.data)
            return 0;
        std::memset(m_image.data, 0x20, m_image.byteSize);
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }
};

// A canvas of the given size on a test window, showing `doc` (set up by the caller).
struct CanvasFixture {
    UiTestWindow t;
    PageSprite* parent = nullptr;
    CSEditView* view = nullptr;

    // thread: the real render thread draws (on the manual clock) while the test acts as the UI
    // thread; the test then never calls t.Frame().
    explicit CanvasFixture(int width = 1000, int height = 700, int hostMode = 0, bool thread = false)
        : t(width + 40, height + 40, 96, thread)
    {
        SetUiImageSource(&CanvasTestImages);
        ResetSharedUiImages();
        parent = new PageSprite;
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, width + 20, height + 20));
        t.window->AddTopLevel(parent);
        view = new CSEditView;
        view->SetAutoDelete(1);
        view->hostMode = hostMode;
        EXPECT_TRUE(view->Create(parent, nullptr, 7, 1, 0, 0, width, height));
        parent->AddChild(view);
        view->SetPos(0, 0, width, height);
    }
    void Show(CZDDoc& doc, HistoryStore* history = nullptr)
    {
        view->SetDocument(&doc, history);
        view->FitToWindow();
        t.Frame();
    }
    void Click(int x, int y, platform::MouseButton b = platform::MouseButton::Left)
    {
        t.Input().InjectMouseMove({x, y});
        t.Input().InjectButton(b, true, {x, y});
        t.Input().InjectButton(b, false, {x, y});
        t.Pump();
    }
    void Key(uint32_t key, bool down)
    {
        t.Input().InjectKey(key, down);
        t.Pump();
    }
};
