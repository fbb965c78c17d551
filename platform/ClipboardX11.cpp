// The X11 CLIPBOARD selection. One own connection and one unmapped window, served by one own
// thread: the selection is answered even while the UI thread is busy, and no other Xlib
// connection of the program is touched. Callers hand requests to that thread and wait for the
// answer; every wait on another program there is bounded.
#include "platform/Clipboard.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// Xlib's error handler is process-wide and its default ends the process. Errors on our own
// connections (a requestor window that went away mid-transfer) are expected and ignored;
// others go to the handler that was there before.
// Never destroyed: the system clipboard, itself a static, may close its display after the
// other statics of this file are gone.
std::mutex& g_handlerMutex = *new std::mutex;
std::set<Display*>& g_ourDisplays = *new std::set<Display*>;
XErrorHandler g_previousHandler = nullptr;
bool g_handlerInstalled = false;

int OnXError(Display* display, XErrorEvent* error)
{
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        if (g_ourDisplays.count(display))
            return 0;
    }
    return g_previousHandler ? g_previousHandler(display, error) : 0;
}

void AddOurDisplay(Display* display)
{
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    if (!g_handlerInstalled) {
        g_previousHandler = XSetErrorHandler(OnXError);
        g_handlerInstalled = true;
    }
    g_ourDisplays.insert(display);
}

void RemoveOurDisplay(Display* display)
{
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    g_ourDisplays.erase(display);
}

std::string Utf16ToLatin1(StringView16 text)
{
    std::string out;
    for (char16_t c : text)
        out.push_back(c < 256 ? static_cast<char>(c) : '?');
    return out;
}

String16 Latin1ToUtf16(std::string_view text)
{
    String16 out;
    for (unsigned char c : text)
        out.push_back(c);
    return out;
}

// "copy" or "cut", then one URI a line.
std::string BuildGnomeCopiedFiles(const std::vector<String16>& paths, bool cut)
{
    std::string uris = BuildUriList(paths);
    std::string out = cut ? "cut" : "copy";
    size_t pos = 0;
    while (pos < uris.size()) {
        const size_t end = uris.find("\r\n", pos);
        out += "\n" + uris.substr(pos, end - pos);
        pos = end + 2;
    }
    return out;
}

struct Transfer {
    Window requestor = 0;
    Atom property = 0;
    Atom type = 0;
    std::shared_ptr<const std::vector<uint8_t>> data;
    size_t offset = 0;
    bool finished = false; // the closing zero-length piece was written
    Clock::time_point deadline;
};

class X11Clipboard final : public Clipboard {
public:
    X11Clipboard(Display* display, int waitMs)
        : dpy_(display)
        , waitMs_(std::max(50, waitMs))
    {
        AddOurDisplay(dpy_);
        XSetWindowAttributes attrs {};
        attrs.event_mask = PropertyChangeMask;
        win_ = XCreateWindow(dpy_, DefaultRootWindow(dpy_), -10, -10, 1, 1, 0, CopyFromParent, InputOnly,
            CopyFromParent, CWEventMask, &attrs);
        clipboard_ = Intern("CLIPBOARD");
        targets_ = Intern("TARGETS");
        timestamp_ = Intern("TIMESTAMP");
        incr_ = Intern("INCR");
        multiple_ = Intern("MULTIPLE");
        utf8_ = Intern("UTF8_STRING");
        textPlainUtf8_ = Intern("text/plain;charset=utf-8");
        png_ = Intern("image/png");
        bmp_ = Intern("image/bmp");
        uriList_ = Intern("text/uri-list");
        gnomeFiles_ = Intern("x-special/gnome-copied-files");
        transferProperty_ = Intern("ZENDRA_CLIPBOARD");
        timeProperty_ = Intern("ZENDRA_TIME");
        // A transfer piece stays well inside the largest request the server takes.
        long maxRequest = XExtendedMaxRequestSize(dpy_);
        if (maxRequest == 0)
            maxRequest = XMaxRequestSize(dpy_);
        chunk_ = std::clamp<size_t>(size_t(maxRequest) * 4 - 1024, 4096, 256 * 1024);
        XFlush(dpy_);
        wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        thread_ = std::thread([this] { Loop(); });
    }

    ~X11Clipboard() override
    {
        // A lost display makes Xlib end the process from our own thread; the static
        // destructors then run there, and waiting for ourselves would never end.
        if (std::this_thread::get_id() == thread_.get_id()) {
            thread_.detach();
            return;
        }
        Run<int>([this] {
            HandOverToManager();
            quit_ = true;
            return 0;
        });
        thread_.join();
        if (wakeFd_ >= 0)
            close(wakeFd_);
        XDestroyWindow(dpy_, win_);
        XCloseDisplay(dpy_);
        RemoveOurDisplay(dpy_);
    }

    bool SetContents(std::vector<ClipboardItem> items) override
    {
        for (const ClipboardItem& item : items)
            if (item.format == 0 || item.data.size() > kMaxClipboardBytes)
                return false;
        return Run<bool>([this, items = std::move(items)]() mutable { return TakeOwnership(std::move(items)); });
    }

    bool Empty() override { return SetContents({}); }

    bool HasFormat(uint32_t format) override
    {
        return Run<bool>([this, format] {
            if (IsOwner())
                return OwnedBlock(format).has_value();
            const std::vector<Atom> offered = FetchTargets();
            for (Atom a : TargetsFor(format))
                if (std::find(offered.begin(), offered.end(), a) != offered.end())
                    return true;
            return false;
        });
    }

    std::optional<std::vector<uint8_t>> GetData(uint32_t format) override
    {
        return Run<std::optional<std::vector<uint8_t>>>([this, format] {
            if (IsOwner())
                return OwnedBlock(format);
            return FetchFormat(format);
        });
    }

    ClipboardStats Stats() const override
    {
        ClipboardStats s;
        s.incrementalSends = incrementalSends_.load();
        s.incrementalReceives = incrementalReceives_.load();
        return s;
    }

private:
    Atom Intern(const char* name) { return XInternAtom(dpy_, name, False); }

    // Runs fn on the clipboard thread and waits for its result.
    template <class R> R Run(std::function<R()> fn)
    {
        auto task = std::make_shared<std::packaged_task<R()>>(std::move(fn));
        std::future<R> result = task->get_future();
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            queue_.push_back([task] { (*task)(); });
        }
        const uint64_t one = 1;
        if (write(wakeFd_, &one, sizeof one) < 0) {
        }
        return result.get();
    }

    void Loop()
    {
        while (!quit_) {
            for (;;) {
                std::function<void()> task;
                {
                    std::lock_guard<std::mutex> lock(queueMutex_);
                    if (queue_.empty())
                        break;
                    task = std::move(queue_.front());
                    queue_.pop_front();
                }
                task();
            }
            if (quit_)
                break;
            while (XPending(dpy_) > 0) {
                XEvent ev;
                XNextEvent(dpy_, &ev);
                Dispatch(ev);
            }
            ExpireTransfers();
            // Events Xlib has read already would not wake the poll.
            if (XEventsQueued(dpy_, QueuedAfterFlush) > 0)
                continue;
            pollfd fds[2] = { { ConnectionNumber(dpy_), POLLIN, 0 }, { wakeFd_, POLLIN, 0 } };
            // Idle, it sleeps until the server or a caller has something: no timer wake-ups.
            poll(fds, 2, transfers_.empty() ? -1 : 100);
            if (fds[1].revents & POLLIN) {
                uint64_t count = 0;
                if (read(wakeFd_, &count, sizeof count) < 0) {
                }
            }
        }
    }

    // Waits for an event that `match` accepts, serving every other event meanwhile.
    bool WaitFor(const std::function<bool(const XEvent&)>& match, XEvent& out, Clock::time_point deadline)
    {
        for (;;) {
            while (XPending(dpy_) > 0) {
                XEvent ev;
                XNextEvent(dpy_, &ev);
                if (match(ev)) {
                    out = ev;
                    return true;
                }
                Dispatch(ev);
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return false;
            pollfd fd { ConnectionNumber(dpy_), POLLIN, 0 };
            poll(&fd, 1, static_cast<int>(std::min<long long>(left, 100)));
        }
    }

    Clock::time_point Deadline() const { return Clock::now() + std::chrono::milliseconds(waitMs_); }
    // A whole incremental receive: five waits (10 s by default), room for the largest block
    // between two programs on one display.
    int IncrementalLimitMs() const { return 5 * waitMs_; }

    // The server's time, from a property change on our window.
    Time ServerTime()
    {
        XChangeProperty(dpy_, win_, timeProperty_, XA_STRING, 8, PropModeAppend, nullptr, 0);
        XFlush(dpy_);
        XEvent ev;
        const Window win = win_;
        const Atom prop = timeProperty_;
        if (WaitFor(
                [win, prop](const XEvent& e) {
                    return e.type == PropertyNotify && e.xproperty.window == win && e.xproperty.atom == prop;
                },
                ev, Deadline()))
            return ev.xproperty.time;
        return CurrentTime;
    }

    bool IsOwner()
    {
        if (!owner_)
            return false;
        if (XGetSelectionOwner(dpy_, clipboard_) != win_) {
            owner_ = false;
            owned_.clear();
            converted_.clear();
        }
        return owner_;
    }

    bool TakeOwnership(std::vector<ClipboardItem> items)
    {
        owned_.clear();
        converted_.clear();
        for (ClipboardItem& item : items)
            owned_[item.format] = std::move(item.data);
        const Time time = ServerTime();
        XSetSelectionOwner(dpy_, clipboard_, win_, time);
        owner_ = XGetSelectionOwner(dpy_, clipboard_) == win_;
        ownTime_ = time;
        if (!owner_) {
            owned_.clear();
            return false;
        }
        return true;
    }

    std::optional<std::vector<uint8_t>> OwnedBlock(uint32_t format)
    {
        auto it = owned_.find(format);
        if (it != owned_.end())
            return it->second;
        // As on Windows, 8-bit text is made from the Unicode text when asked for.
        if (format == kCfText) {
            auto text = owned_.find(kCfUnicodeText);
            if (text != owned_.end()) {
                std::string utf8 = Utf16ToUtf8(ReadUnicodeTextBlock(text->second));
                std::vector<uint8_t> block(utf8.begin(), utf8.end());
                block.push_back(0);
                return block;
            }
        }
        return std::nullopt;
    }

    // The X targets that can give a block of this format, best first.
    std::vector<Atom> TargetsFor(uint32_t format)
    {
        switch (format) {
        case kCfUnicodeText:
        case kCfText:
            return { utf8_, textPlainUtf8_, XA_STRING };
        case kCfDib:
            return { png_, bmp_ };
        case kCfHdrop:
            return { gnomeFiles_, uriList_ };
        default:
            break;
        }
        if (format == RegisterClipboardFormat(kPreferredDropEffect))
            return { gnomeFiles_ };
        const String16 name = ClipboardFormatName(format);
        if (name.empty())
            return {};
        return { Intern(Utf16ToUtf8(name).c_str()) };
    }

    // What we offer for our own blocks, and the bytes of one target.
    std::vector<Atom> OfferedTargets()
    {
        std::vector<Atom> list { targets_, timestamp_, multiple_ };
        const uint32_t dropEffect = RegisterClipboardFormat(kPreferredDropEffect);
        for (const auto& [format, data] : owned_) {
            if (format == kCfUnicodeText || format == kCfText) {
                list.insert(list.end(), { utf8_, textPlainUtf8_, XA_STRING });
            } else if (format == kCfDib) {
                list.insert(list.end(), { png_, bmp_ });
            } else if (format == kCfHdrop) {
                list.insert(list.end(), { uriList_, gnomeFiles_ });
            } else if (format != dropEffect) {
                const String16 name = ClipboardFormatName(format);
                if (!name.empty())
                    list.push_back(Intern(Utf16ToUtf8(name).c_str()));
            }
        }
        std::sort(list.begin() + 3, list.end());
        list.erase(std::unique(list.begin() + 3, list.end()), list.end());
        return list;
    }

    std::shared_ptr<const std::vector<uint8_t>> Convert(Atom target)
    {
        auto cached = converted_.find(target);
        if (cached != converted_.end())
            return cached->second;
        std::optional<std::vector<uint8_t>> bytes;
        auto block = [this](uint32_t f) -> const std::vector<uint8_t>* {
            auto it = owned_.find(f);
            return it == owned_.end() ? nullptr : &it->second;
        };
        auto asBytes = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
        if (target == utf8_ || target == textPlainUtf8_ || target == XA_STRING) {
            String16 text;
            if (const auto* u = block(kCfUnicodeText)) {
                text = ReadUnicodeTextBlock(*u);
            } else if (const auto* t = block(kCfText)) {
                const auto end = std::find(t->begin(), t->end(), uint8_t(0));
                text = Utf8ToUtf16(std::string(t->begin(), end));
            } else {
                return nullptr;
            }
            bytes = asBytes(target == XA_STRING ? Utf16ToLatin1(text) : Utf16ToUtf8(text));
        } else if (target == png_ || target == bmp_) {
            const auto* dib = block(kCfDib);
            if (!dib)
                return nullptr;
            if (target == png_) {
                auto picture = ReadDibBlock(*dib);
                if (!picture)
                    return nullptr;
                bytes = EncodePicturePng(*picture);
                if (bytes->empty())
                    return nullptr;
            } else {
                // A BMP file is the DIB behind a 14-byte file header.
                const uint64_t size = 14 + uint64_t(dib->size());
                if (dib->size() < 40 || size > kMaxClipboardBytes)
                    return nullptr;
                const uint32_t header = (*dib)[0] | ((*dib)[1] << 8) | ((*dib)[2] << 16) | (uint32_t((*dib)[3]) << 24);
                const uint16_t compression = static_cast<uint16_t>((*dib)[16] | ((*dib)[17] << 8));
                if (header > dib->size())
                    return nullptr;
                const uint32_t offset = 14 + header + (header == 40 && compression == 3 ? 12 : 0);
                std::vector<uint8_t> file { 'B', 'M' };
                for (int i = 0; i < 4; ++i)
                    file.push_back(uint8_t(size >> (8 * i)));
                file.insert(file.end(), { 0, 0, 0, 0 });
                for (int i = 0; i < 4; ++i)
                    file.push_back(uint8_t(offset >> (8 * i)));
                file.insert(file.end(), dib->begin(), dib->end());
                bytes = std::move(file);
            }
        } else if (target == uriList_ || target == gnomeFiles_) {
            const auto* drop = block(kCfHdrop);
            if (!drop)
                return nullptr;
            auto paths = ReadDropFilesBlock(*drop);
            if (!paths)
                return nullptr;
            if (target == uriList_) {
                bytes = asBytes(BuildUriList(*paths));
            } else {
                const auto* effect = block(RegisterClipboardFormat(kPreferredDropEffect));
                const bool cut = effect && effect->size() >= 4 && (*effect)[0] == kDropEffectMove && (*effect)[1] == 0
                    && (*effect)[2] == 0 && (*effect)[3] == 0;
                bytes = asBytes(BuildGnomeCopiedFiles(*paths, cut));
            }
        } else {
            char* name = XGetAtomName(dpy_, target);
            if (!name)
                return nullptr;
            const uint32_t format = RegisterClipboardFormat(Utf8ToUtf16(name));
            XFree(name);
            if (const auto* raw = block(format))
                bytes = *raw;
        }
        if (!bytes)
            return nullptr;
        auto shared = std::make_shared<const std::vector<uint8_t>>(std::move(*bytes));
        converted_[target] = shared;
        return shared;
    }

    void Dispatch(const XEvent& ev)
    {
        if (ev.type == SelectionRequest) {
            Answer(ev.xselectionrequest);
        } else if (ev.type == SelectionClear) {
            if (ev.xselectionclear.window == win_ && ev.xselectionclear.selection == clipboard_) {
                owner_ = false;
                owned_.clear();
                converted_.clear();
            }
        } else if (ev.type == PropertyNotify && ev.xproperty.state == PropertyDelete) {
            ContinueTransfer(ev.xproperty.window, ev.xproperty.atom);
        }
    }

    void Answer(const XSelectionRequestEvent& req)
    {
        XEvent reply {};
        reply.xselection.type = SelectionNotify;
        reply.xselection.display = req.display;
        reply.xselection.requestor = req.requestor;
        reply.xselection.selection = req.selection;
        reply.xselection.target = req.target;
        reply.xselection.time = req.time;
        reply.xselection.property = None;
        // Old clients leave the property None and mean the target's name.
        const Atom property = req.property == None ? req.target : req.property;
        const bool valid = owner_ && req.owner == win_ && req.selection == clipboard_
            && (req.time == CurrentTime || ownTime_ == CurrentTime || req.time >= ownTime_);
        if (valid && req.target == multiple_) {
            if (req.property != None && AnswerMultiple(req.requestor, req.property))
                reply.xselection.property = req.property;
        } else if (valid && WriteTarget(req.requestor, req.target, property, true)) {
            reply.xselection.property = property;
        }
        XSendEvent(dpy_, req.requestor, False, NoEventMask, &reply);
        XFlush(dpy_);
    }

    // Puts one target's bytes on the requestor's property: at once, or in pieces when large
    // and `allowPieces`. False when we cannot give that target.
    bool WriteTarget(Window requestor, Atom target, Atom property, bool allowPieces)
    {
        if (target == targets_) {
            const std::vector<Atom> list = OfferedTargets();
            std::vector<long> values(list.begin(), list.end());
            XChangeProperty(dpy_, requestor, property, XA_ATOM, 32, PropModeReplace,
                reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
            return true;
        }
        if (target == timestamp_) {
            const long time = static_cast<long>(ownTime_);
            XChangeProperty(dpy_, requestor, property, XA_INTEGER, 32, PropModeReplace,
                reinterpret_cast<const unsigned char*>(&time), 1);
            return true;
        }
        if (target == multiple_)
            return false;
        auto data = Convert(target);
        if (!data)
            return false;
        if (data->size() <= chunk_) {
            XChangeProperty(dpy_, requestor, property, target, 8, PropModeReplace, data->data(),
                static_cast<int>(data->size()));
            return true;
        }
        if (!allowPieces)
            return false;
        // Large: announce the size, then one piece each time the requestor deletes the
        // property, and an empty piece at the end.
        XSelectInput(dpy_, requestor, PropertyChangeMask);
        const long size = static_cast<long>(data->size());
        XChangeProperty(dpy_, requestor, property, incr_, 32, PropModeReplace,
            reinterpret_cast<const unsigned char*>(&size), 1);
        Transfer t;
        t.requestor = requestor;
        t.property = property;
        t.type = target;
        t.data = data;
        t.deadline = Deadline();
        transfers_.push_back(std::move(t));
        ++incrementalSends_;
        return true;
    }

    // MULTIPLE: the requestor's property lists (target, property) pairs; each is answered on
    // its own property, and a pair we cannot give gets its target replaced by None.
    bool AnswerMultiple(Window requestor, Atom property)
    {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy_, requestor, property, 0, 1024, False, AnyPropertyType, &type, &format, &items,
                &after, &data)
                != Success
            || !data || format != 32 || after != 0 || items % 2 != 0) {
            if (data)
                XFree(data);
            return false;
        }
        std::vector<long> pairs(reinterpret_cast<const long*>(data), reinterpret_cast<const long*>(data) + items);
        XFree(data);
        for (size_t i = 0; i < pairs.size(); i += 2) {
            // Pieces would need one transfer per property; a large target is refused here.
            if (pairs[i + 1] == None || !WriteTarget(requestor, Atom(pairs[i]), Atom(pairs[i + 1]), false))
                pairs[i] = None;
        }
        XChangeProperty(dpy_, requestor, property, type, 32, PropModeReplace,
            reinterpret_cast<const unsigned char*>(pairs.data()), static_cast<int>(pairs.size()));
        return true;
    }

    // When a clipboard manager runs, it is asked to keep our blocks before we go, so what
    // was copied stays pasteable after the program ends. Bounded by one wait.
    void HandOverToManager()
    {
        if (!IsOwner() || owned_.empty())
            return;
        const Atom manager = Intern("CLIPBOARD_MANAGER");
        if (XGetSelectionOwner(dpy_, manager) == None)
            return;
        const Atom save = Intern("SAVE_TARGETS");
        std::vector<Atom> list = OfferedTargets();
        list.erase(list.begin(), list.begin() + 3); // not TARGETS, TIMESTAMP and MULTIPLE
        std::vector<long> values(list.begin(), list.end());
        XChangeProperty(dpy_, win_, transferProperty_, XA_ATOM, 32, PropModeReplace,
            reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
        XConvertSelection(dpy_, manager, save, transferProperty_, win_, CurrentTime);
        XFlush(dpy_);
        XEvent ev {};
        const Window win = win_;
        WaitFor(
            [win, manager](const XEvent& e) {
                return e.type == SelectionNotify && e.xselection.requestor == win && e.xselection.selection == manager;
            },
            ev, Deadline());
    }

    void ContinueTransfer(Window window, Atom property)
    {
        for (auto it = transfers_.begin(); it != transfers_.end(); ++it) {
            if (it->requestor != window || it->property != property)
                continue;
            if (it->finished) {
                EndTransfer(it);
                XFlush(dpy_);
                return;
            }
            const size_t piece = std::min(chunk_, it->data->size() - it->offset);
            XChangeProperty(dpy_, window, property, it->type, 8, PropModeReplace, it->data->data() + it->offset,
                static_cast<int>(piece));
            it->offset += piece;
            it->finished = piece == 0;
            it->deadline = Deadline();
            if (it->finished)
                EndTransfer(it);
            XFlush(dpy_);
            return;
        }
    }

    // Stops watching the requestor's properties unless another transfer still goes to it.
    std::vector<Transfer>::iterator EndTransfer(std::vector<Transfer>::iterator it)
    {
        const Window requestor = it->requestor;
        it = transfers_.erase(it);
        if (std::none_of(transfers_.begin(), transfers_.end(), [&](const Transfer& t) { return t.requestor == requestor; }))
            XSelectInput(dpy_, requestor, NoEventMask);
        return it;
    }

    void ExpireTransfers()
    {
        const auto now = Clock::now();
        for (auto it = transfers_.begin(); it != transfers_.end();) {
            if (it->deadline < now) {
                it = EndTransfer(it);
            } else {
                ++it;
            }
        }
        XFlush(dpy_);
    }

    // Reads our transfer property whole: type, format and bytes (format-32 items as 32-bit
    // values). False when absent or over the size limit.
    bool ReadProperty(Atom& type, int& format, std::vector<uint8_t>& bytes)
    {
        bytes.clear();
        long offset = 0; // in 32-bit units
        for (;;) {
            Atom actualType = None;
            int actualFormat = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(dpy_, win_, transferProperty_, offset, 1 << 18, False, AnyPropertyType,
                    &actualType, &actualFormat, &items, &after, &data)
                    != Success
                || actualType == None) {
                if (data)
                    XFree(data);
                return false;
            }
            type = actualType;
            format = actualFormat;
            size_t got = 0;
            if (actualFormat == 8) {
                got = items;
                bytes.insert(bytes.end(), data, data + items);
            } else if (actualFormat == 16) {
                const short* v = reinterpret_cast<const short*>(data);
                for (unsigned long i = 0; i < items; ++i)
                    bytes.insert(bytes.end(), { uint8_t(v[i]), uint8_t(v[i] >> 8) });
                got = items * 2;
            } else if (actualFormat == 32) {
                // Xlib hands 32-bit items over as longs.
                const long* v = reinterpret_cast<const long*>(data);
                for (unsigned long i = 0; i < items; ++i)
                    bytes.insert(bytes.end(),
                        { uint8_t(v[i]), uint8_t(v[i] >> 8), uint8_t(v[i] >> 16), uint8_t(uint32_t(v[i]) >> 24) });
                got = items * 4;
            }
            XFree(data);
            if (bytes.size() > kMaxClipboardBytes)
                return false;
            if (after == 0)
                return true;
            if (got == 0 || got % 4 != 0)
                return false;
            offset += static_cast<long>(got / 4);
        }
    }

    // Asks the owner for one target; the bytes, read incrementally when the owner says INCR.
    std::optional<std::vector<uint8_t>> FetchTarget(Atom target, Atom* typeOut = nullptr, bool* timedOut = nullptr)
    {
        if (timedOut)
            *timedOut = false;
        XDeleteProperty(dpy_, win_, transferProperty_);
        XConvertSelection(dpy_, clipboard_, target, transferProperty_, win_, CurrentTime);
        XFlush(dpy_);
        XEvent ev;
        const Window win = win_;
        const Atom selection = clipboard_;
        if (!WaitFor(
                [win, selection, target](const XEvent& e) {
                    return e.type == SelectionNotify && e.xselection.requestor == win
                        && e.xselection.selection == selection && e.xselection.target == target;
                },
                ev, Deadline())) {
            if (timedOut)
                *timedOut = true;
            return std::nullopt;
        }
        if (ev.xselection.property == None)
            return std::nullopt;
        Atom type = None;
        int format = 0;
        std::vector<uint8_t> bytes;
        if (!ReadProperty(type, format, bytes)) {
            XDeleteProperty(dpy_, win_, transferProperty_);
            return std::nullopt;
        }
        if (typeOut)
            *typeOut = type;
        if (type != incr_) {
            XDeleteProperty(dpy_, win_, transferProperty_);
            XFlush(dpy_);
            return bytes;
        }
        // Incremental: deleting the property asks for the next piece; an empty piece ends.
        const uint64_t announced = bytes.size() >= 4
            ? (bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint64_t(bytes[3]) << 24))
            : 0;
        if (announced > kMaxClipboardBytes) {
            XDeleteProperty(dpy_, win_, transferProperty_);
            return std::nullopt;
        }
        ++incrementalReceives_;
        std::vector<uint8_t> whole;
        whole.reserve(static_cast<size_t>(announced));
        XDeleteProperty(dpy_, win_, transferProperty_);
        XFlush(dpy_);
        const Atom prop = transferProperty_;
        // Each piece within the usual wait, and the whole transfer within one limit of its own:
        // an owner that sends a byte now and then cannot hold the caller for ever.
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(IncrementalLimitMs());
        for (;;) {
            if (!WaitFor(
                    [win, prop](const XEvent& e) {
                        return e.type == PropertyNotify && e.xproperty.window == win && e.xproperty.atom == prop
                            && e.xproperty.state == PropertyNewValue;
                    },
                    ev, std::min(Deadline(), end))) {
                XDeleteProperty(dpy_, win_, transferProperty_);
                XFlush(dpy_);
                return std::nullopt;
            }
            std::vector<uint8_t> piece;
            if (!ReadProperty(type, format, piece)) {
                XDeleteProperty(dpy_, win_, transferProperty_);
                return std::nullopt;
            }
            XDeleteProperty(dpy_, win_, transferProperty_);
            XFlush(dpy_);
            if (piece.empty()) {
                if (typeOut)
                    *typeOut = type;
                return whole;
            }
            if (whole.size() + piece.size() > kMaxClipboardBytes)
                return std::nullopt;
            whole.insert(whole.end(), piece.begin(), piece.end());
        }
    }

    // The owner's targets; `silent` when it did not answer at all in time.
    std::vector<Atom> FetchTargets(bool* silent = nullptr)
    {
        std::vector<Atom> list;
        auto bytes = FetchTarget(targets_, nullptr, silent);
        if (!bytes)
            return list;
        for (size_t i = 0; i + 4 <= bytes->size(); i += 4)
            list.push_back(
                (*bytes)[i] | ((*bytes)[i + 1] << 8) | ((*bytes)[i + 2] << 16) | (Atom((*bytes)[i + 3]) << 24));
        return list;
    }

    // Builds a block of `format` from what the owner offers.
    std::optional<std::vector<uint8_t>> FetchFormat(uint32_t format)
    {
        std::vector<Atom> wanted = TargetsFor(format);
        if (wanted.empty())
            return std::nullopt;
        bool silent = false;
        const std::vector<Atom> offered = FetchTargets(&silent);
        // An owner that does not answer is not asked again and again; one that refuses to
        // list its targets is asked for each in turn.
        if (silent)
            return std::nullopt;
        if (!offered.empty())
            std::erase_if(wanted, [&](Atom a) { return std::find(offered.begin(), offered.end(), a) == offered.end(); });
        for (Atom target : wanted) {
            auto bytes = FetchTarget(target);
            if (!bytes)
                continue;
            if (auto block = MakeBlock(format, target, *bytes))
                return block;
        }
        return std::nullopt;
    }

    std::optional<std::vector<uint8_t>> MakeBlock(uint32_t format, Atom target, const std::vector<uint8_t>& bytes)
    {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (format == kCfUnicodeText || format == kCfText) {
            String16 value = target == XA_STRING ? Latin1ToUtf16(text) : Utf8ToUtf16(text);
            const size_t nul = value.find(u'\0');
            if (nul != String16::npos)
                value.resize(nul);
            if (format == kCfUnicodeText)
                return BuildUnicodeTextBlock(value);
            const std::string utf8 = Utf16ToUtf8(value);
            std::vector<uint8_t> block(utf8.begin(), utf8.end());
            block.push_back(0);
            return block;
        }
        if (format == kCfDib) {
            std::optional<ClipboardPicture> picture;
            if (target == png_)
                picture = DecodePicturePng(bytes);
            else if (bytes.size() > 14 && bytes[0] == 'B' && bytes[1] == 'M')
                picture = ReadDibBlock(std::span<const uint8_t>(bytes).subspan(14));
            if (!picture)
                return std::nullopt;
            std::vector<uint8_t> dib = BuildDibBlock(*picture);
            if (dib.empty())
                return std::nullopt;
            return dib;
        }
        const uint32_t dropEffect = RegisterClipboardFormat(kPreferredDropEffect);
        if (format == kCfHdrop || format == dropEffect) {
            std::string_view list = text;
            bool cut = false;
            bool hasEffect = false;
            if (target == gnomeFiles_) {
                const size_t eol = list.find('\n');
                const std::string_view first = list.substr(0, eol);
                cut = first == "cut";
                hasEffect = cut || first == "copy";
                list = eol == std::string_view::npos ? std::string_view() : list.substr(eol + 1);
            }
            if (format == dropEffect) {
                if (!hasEffect)
                    return std::nullopt;
                const uint32_t value = cut ? kDropEffectMove : kDropEffectCopy;
                return std::vector<uint8_t> { uint8_t(value), 0, 0, 0 };
            }
            const std::vector<String16> paths = ReadUriList(list);
            if (paths.empty())
                return std::nullopt;
            return BuildDropFilesBlock(paths);
        }
        return bytes;
    }

    Display* dpy_;
    const int waitMs_;
    Window win_ = 0;
    Atom clipboard_, targets_, timestamp_, incr_, multiple_, utf8_, textPlainUtf8_, png_, bmp_, uriList_, gnomeFiles_;
    Atom transferProperty_, timeProperty_;
    size_t chunk_ = 256 * 1024;
    int wakeFd_ = -1;
    std::thread thread_;
    std::mutex queueMutex_;
    std::deque<std::function<void()>> queue_;

    // Clipboard thread only.
    bool quit_ = false;
    bool owner_ = false;
    Time ownTime_ = CurrentTime;
    std::map<uint32_t, std::vector<uint8_t>> owned_;
    std::map<Atom, std::shared_ptr<const std::vector<uint8_t>>> converted_;
    std::vector<Transfer> transfers_;

    std::atomic<uint64_t> incrementalSends_ { 0 };
    std::atomic<uint64_t> incrementalReceives_ { 0 };
};

} // namespace

std::unique_ptr<Clipboard> Clipboard::CreateX11(const std::string& displayName, int waitMs)
{
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!display)
        return nullptr;
    return std::make_unique<X11Clipboard>(display, waitMs);
}

} // namespace platform
