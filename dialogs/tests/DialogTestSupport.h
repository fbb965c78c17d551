// What the dialogs' tests share: a headless render window with the built program folder's
// templates and pictures, the worker with its helpers, an editor link to a test document and
// history, recorded message boxes, and algorithms the test holds at a gate.
#pragma once

#include "algorithms/AlgorithmThread.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/EditorLink.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/HistoryStore.h"
#include "platform/Path.h"
#include "platform/Thread.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "ui/DrawnUiImages.h"
#include "ui/ToolkitControls.h"
#include "ui/tests/UiTestWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <unistd.h>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace dialogtest {

inline std::string ProgramDir() { return std::string(ZENDRA_BINARY_DIR) + "/zendra"; }

// The generated pictures of the program folder first, the toolkit's drawn ones for the rest.
inline int ProgramFolderImage(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const std::string path =
        ProgramDir() + (folder == UiImageFolder::Skin ? "/skin/" : "/basic/") + platform::Utf16ToUtf8(name);
    if (CodecLoadImage8(out, platform::Utf8ToUtf16(path).c_str()))
        return 1;
    return DrawnUiImage(folder, name, out);
}

// A picture whose pixels tell their place: B = 1000 + 37 x, G = 2000 + 53 y, R = x * y * 11,
// A opaque except where the test says.
inline void FillPattern(ImageBuffer16& image, int width, int height, uint16_t alpha = 0xFFFF)
{
    ASSERT_TRUE(AllocImage16(image, width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint16_t* p = image.data + (size_t(y) * width + x) * 4;
            p[0] = uint16_t(1000 + 37 * x);
            p[1] = uint16_t(2000 + 53 * y);
            p[2] = uint16_t((x * y * 11) & 0xFFFF);
            p[3] = alpha;
        }
}

inline bool SameBytes(const ImageBuffer16& a, const ImageBuffer16& b)
{
    return a.data && b.data && a.width == b.width && a.height == b.height &&
           std::memcmp(a.data, b.data, a.byteSize) == 0;
}

inline std::vector<uint8_t> BytesOf(const ImageBuffer16& image)
{
    const auto* p = reinterpret_cast<const uint8_t*>(image.data);
    return image.data ? std::vector<uint8_t>(p, p + image.byteSize) : std::vector<uint8_t>{};
}

// An algorithm the test controls: it notes the record it got, then waits at the gate until the
// test opens it (or the job is cancelled), and writes source + delta into the destination.
struct GateRecord {
    uint16_t size = 8;
    uint16_t padding = 0;
    int32_t delta = 0;
};

class CGateAlgorithm : public CAlgorithm {
public:
    int Run() override
    {
        GateRecord r;
        if (Params())
            std::memcpy(&r, Params(), sizeof r);
        deltas.push_back(r.delta); // one job at a time: the worker's only
        ++runs;
        while (!open.load()) {
            if (IsAlgorithmCancelled()) {
                ++cancelled;
                return 0;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        SetProgress(50);
        ImageBuffer16* s = Source();
        ImageBuffer16* d = Destination();
        if (s && d) {
            if (!CopyImage16(*d, *s))
                return 0;
            for (uint32_t i = 0; i < d->pixelCount; ++i)
                for (int c = 0; c < 3; ++c)
                    d->data[size_t(i) * 4 + c] = uint16_t(std::clamp<int>(d->data[size_t(i) * 4 + c] + r.delta, 0, 65535));
        }
        finished.fetch_add(1);
        return result.load();
    }
    std::atomic<bool> open{true};
    std::atomic<int> result{1};
    std::atomic<int> runs{0};
    std::atomic<int> cancelled{0};
    std::atomic<int> finished{0};
    std::vector<int> deltas; // read after the worker is idle
};

struct MessageRecord {
    std::u16string key;
    int kind;
    int buttons;
};

// One test's world: window, worker, templates, pictures, controls, an editor page.
struct DialogWorld {
    UiTestWindow t{1280, 800};
    std::vector<MessageRecord> messages;
    int answer = 6; // what a Yes/No box answers
    CZDDoc doc;
    HistoryStore history;
    bool editorPage = true;
    platform::Rect pageArea{0, 40, 1280, 800};

    explicit DialogWorld(int helpers = 2)
    {
        BuildGammaTables();
        g_bAnimation.store(0);
        SetUiImageSource(&ProgramFolderImage);
        ResetSharedUiImages();
        RegisterToolkitControls();
        SetDialogTemplateFolder(platform::Utf8ToUtf16(ProgramDir() + "/dialogs"));
        SetDialogMessageSource([this](const char16_t* key, int kind, int buttons) {
            messages.push_back({key, kind, buttons});
            return buttons == 5 ? answer : 1;
        });
        EditorLink link;
        link.currentDocument = [this]() -> CZDDoc* { return editorPage ? &doc : nullptr; };
        link.currentHistory = [this]() -> HistoryStore* { return editorPage ? &history : nullptr; };
        link.pageArea = [this] { return editorPage ? pageArea : platform::Rect{}; };
        link.endActiveTool = [] {};
        SetEditorLink(link);
        theAlgorithmThread.StartWorker(helpers);
        t.Frame();
    }
    ~DialogWorld()
    {
        theAlgorithmThread.WaitIdle();
        theAlgorithmThread.StopWorker();
        g_pAlgorithmListener.store(nullptr);
        SetEditorLink({});
        SetDialogMessageSource({});
        SetDialogTemplateFolder({});
        g_bAnimation.store(1);
    }

    // A document of one layer (or two: the test's layer above a plain one) with its history.
    void OpenDocument(const ImageBuffer16& picture, bool twoLayers = false)
    {
        doc.Clear();
        if (twoLayers) {
            ImageBuffer16 base{};
            ASSERT_TRUE(AllocImage16(base, picture.width, picture.height));
            std::memset(base.data, 0x40, base.byteSize);
            ASSERT_TRUE(doc.AddLayer(base, u"base"));
            FreeImageBuffer(base);
        }
        ASSERT_TRUE(doc.AddLayer(picture, u"layer"));
        doc.SetCurrentLayer(doc.LayerCount() - 1);
        const std::string data = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/dlgtest-his-" +
                                 std::to_string(::getpid()) + "-" +
                                 std::to_string(reinterpret_cast<uintptr_t>(this)) + ".dat";
        ASSERT_TRUE(history.Init(&doc, platform::Utf8ToUtf16(data)));
        // The editor's first step: the picture as opened, which undo goes back to.
        ASSERT_TRUE(history.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0));
        doc.modified = 0;
    }
    ImageBuffer16& Layer() { return *doc.GetCurrentImage(); }

    // Dispatches what is queued until the condition holds (the worker posts meanwhile).
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 20000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            t.Pump();
            if (done())
                return true;
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    }
    // Everything the worker posted, handled.
    void Settle()
    {
        theAlgorithmThread.WaitIdle();
        t.Pump();
    }
    int Count(const char16_t* key) const
    {
        int n = 0;
        for (const MessageRecord& m : messages)
            n += m.key == key;
        return n;
    }
};

// Builds a dialog from its template and runs its initialisation, as DoModal would before its
// loop; null when either fails.
template <class Dialog>
std::unique_ptr<Dialog> OpenDialog(int templateId)
{
    auto d = std::make_unique<Dialog>();
    if (!CreateDialogFromTemplate(*d, templateId) || !d->OnInitDialog())
        return nullptr;
    return d;
}

// Posts a message to a sprite as a control would, then dispatches it.
inline void Send(DialogWorld& w, CMessageSprite* to, int32_t code, intptr_t p1, intptr_t p2 = 0)
{
    ASSERT_TRUE(::PostSpriteMessage(to, code, p1, p2, nullptr));
    w.t.Pump();
}

// Opens the gate of a held algorithm from another thread after a delay.
class GateOpener {
public:
    GateOpener(CGateAlgorithm& gate, int delayMs)
        : m_thread([&gate, delayMs] {
              std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
              gate.open.store(true);
          })
    {
    }
    ~GateOpener() { m_thread.join(); }

private:
    std::thread m_thread;
};

} // namespace dialogtest
