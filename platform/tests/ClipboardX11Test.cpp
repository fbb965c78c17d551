// The X11 clipboard against another program (xclip) on a private X server, both directions.
#include "platform/Clipboard.h"

#include "TestFolder.h"
#include "TestXServer.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <thread>

using namespace platform;

namespace {

class X11ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server_.Start()) << "Xvfb";
        clipboard_ = Clipboard::CreateX11(server_.Name(), 3000);
        ASSERT_TRUE(clipboard_);
    }

    // Runs a shell command with this server as the display; its output.
    std::string Sh(const std::string& command)
    {
        return testx::RunCapture("DISPLAY=" + server_.Name() + " timeout 20 " + command + " 2>/dev/null");
    }

    // xclip offering a file's bytes as one target; returns once the selection is xclip's.
    void XclipOffers(const std::string& target, const std::string& bytes, uint32_t format)
    {
        const std::string path = folder_.Native() + "/offer.bin";
        std::ofstream(path, std::ios::binary) << bytes;
        // Ours stays until xclip takes it: start from an empty clipboard of ours so the wait
        // below ends only once xclip is the owner.
        ASSERT_TRUE(clipboard_->Empty());
        const std::string command = "DISPLAY=" + server_.Name() + " xclip -i -selection clipboard -t '" + target
            + "' '" + path + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!clipboard_->HasFormat(format) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(clipboard_->HasFormat(format)) << target;
    }

    std::string XclipReads(const std::string& target) { return Sh("xclip -o -selection clipboard -t '" + target + "'"); }

    testx::XServer server_;
    test::TestFolder folder_;
    std::unique_ptr<Clipboard> clipboard_;
};

const char kText[] = "Gr\xc3\xbc\xc3\x9f" "e \xe2\x80\x93 \xe5\x86\x99\xe7\x9c\x9f \xd0\x96 \xf0\x9f\x93\xb7 tab\tend";

ClipboardPicture Picture()
{
    ClipboardPicture p;
    p.width = 3;
    p.height = 2;
    p.bgra = { 0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255, //
        10, 20, 30, 255, 40, 50, 60, 128, 70, 80, 90, 1 };
    return p;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// ImageMagick's reading of a picture file as R, G, B, A bytes.
std::string MagickRgba(const std::string& file)
{
    return testx::RunCapture("/usr/bin/convert '" + file + "' -depth 8 rgba:- 2>/dev/null");
}

} // namespace

TEST_F(X11ClipboardTest, TextBothWays)
{
    ASSERT_TRUE(clipboard_->SetText(Utf8ToUtf16(kText)));
    EXPECT_EQ(XclipReads("UTF8_STRING"), kText);
    EXPECT_EQ(XclipReads("text/plain;charset=utf-8"), kText);
    const std::string targets = XclipReads("TARGETS");
    EXPECT_NE(targets.find("UTF8_STRING"), std::string::npos) << targets;
    EXPECT_EQ(targets.find("image/png"), std::string::npos) << targets;
    // Our own reads come from our own blocks.
    EXPECT_EQ(clipboard_->GetText(), Utf8ToUtf16(kText));

    const std::string theirs = "\xc3\x9cn\xc3\xaf" "c\xc3\xb6" "d\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac\nline 2";
    XclipOffers("UTF8_STRING", theirs, kCfUnicodeText);
    EXPECT_EQ(clipboard_->GetText(), Utf8ToUtf16(theirs));
    const auto narrow = clipboard_->GetData(kCfText);
    ASSERT_TRUE(narrow);
    EXPECT_EQ(std::string(narrow->begin(), narrow->end()), theirs + std::string(1, '\0'));
    EXPECT_FALSE(clipboard_->HasFormat(kCfDib));
    EXPECT_FALSE(clipboard_->GetPicture());
    std::cout << "text both ways: " << theirs.size() << " and " << std::strlen(kText) << " bytes of UTF-8\n";
}

TEST_F(X11ClipboardTest, PictureBothWaysWithExactPixels)
{
    const ClipboardPicture p = Picture();
    ASSERT_TRUE(clipboard_->SetPicture(p));
    const std::string png = XclipReads("image/png");
    ASSERT_GT(png.size(), 8u);
    const std::string pngFile = folder_.Native() + "/ours.png";
    std::ofstream(pngFile, std::ios::binary) << png;
    std::string rgba;
    for (size_t i = 0; i < p.bgra.size(); i += 4)
        rgba += std::string { char(p.bgra[i + 2]), char(p.bgra[i + 1]), char(p.bgra[i]), char(p.bgra[i + 3]) };
    EXPECT_EQ(MagickRgba(pngFile), rgba) << "image/png as another program reads it";

    const std::string bmp = XclipReads("image/bmp");
    ASSERT_EQ(bmp.size(), 14u + 40u + 24u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(uint8_t(bmp[2]), 78);
    EXPECT_EQ(uint8_t(bmp[10]), 54);
    const std::vector<uint8_t> dib = BuildDibBlock(p);
    EXPECT_EQ(std::memcmp(bmp.data() + 14, dib.data(), dib.size()), 0);

    // Their picture: a PNG made by ImageMagick from known bytes.
    const std::string raw = folder_.Native() + "/theirs.rgba";
    std::ofstream(raw, std::ios::binary) << rgba;
    const std::string theirsFile = folder_.Native() + "/theirs.png";
    ASSERT_EQ(std::system(("/usr/bin/convert -size 3x2 -depth 8 'rgba:" + raw + "' 'png32:" + theirsFile + "'").c_str()), 0);
    const std::string theirPng = ReadFile(theirsFile);
    XclipOffers("image/png", theirPng, kCfDib);
    const auto got = clipboard_->GetPicture();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->width, 3);
    EXPECT_EQ(got->height, 2);
    EXPECT_EQ(got->bgra, p.bgra);
    std::cout << "picture both ways: 3x2, PNG " << png.size() << " and " << theirPng.size() << " bytes\n";
}

TEST_F(X11ClipboardTest, BmpFromAnotherProgram)
{
    // A 24-bit BMP as ImageMagick writes it: rows bottom-up, padded to 4 bytes, no alpha.
    const std::string raw = folder_.Native() + "/p.rgb";
    std::ofstream(raw, std::ios::binary) << std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12", 18);
    const std::string bmpFile = folder_.Native() + "/p.bmp";
    ASSERT_EQ(std::system(("/usr/bin/convert -size 3x2 -depth 8 'rgb:" + raw + "' 'bmp3:" + bmpFile + "'").c_str()), 0);
    const std::string bmp = ReadFile(bmpFile);
    XclipOffers("image/bmp", bmp, kCfDib);
    const auto got = clipboard_->GetPicture();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->width, 3);
    EXPECT_EQ(got->height, 2);
    const std::vector<uint8_t> want { 3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255, 15, 14, 13, 255, 18, 17, 16, 255 };
    EXPECT_EQ(got->bgra, want);
}

TEST_F(X11ClipboardTest, RegisteredFormatsTravelUnderTheirNames)
{
    const uint32_t format = RegisterClipboardFormat(u"application/x-zendra-layer");
    const std::vector<uint8_t> ours { 'L', 0, 1, 2, 0xFF, 'Z' };
    std::vector<ClipboardItem> items;
    items.push_back({ format, ours });
    items.push_back({ kCfUnicodeText, BuildUnicodeTextBlock(u"with text beside") });
    ASSERT_TRUE(clipboard_->SetContents(std::move(items)));
    EXPECT_EQ(XclipReads("application/x-zendra-layer"), std::string(ours.begin(), ours.end()));
    EXPECT_EQ(XclipReads("UTF8_STRING"), "with text beside");
    EXPECT_NE(XclipReads("TARGETS").find("application/x-zendra-layer"), std::string::npos);

    XclipOffers("application/x-zendra-layer", std::string("\x00\x01theirs", 8), format);
    const auto theirs = clipboard_->GetData(format);
    ASSERT_TRUE(theirs);
    EXPECT_EQ(*theirs, (std::vector<uint8_t> { 0, 1, 't', 'h', 'e', 'i', 'r', 's' }));
    EXPECT_FALSE(clipboard_->HasFormat(kCfUnicodeText));
}

TEST_F(X11ClipboardTest, FileListsBothWays)
{
    ASSERT_TRUE(clipboard_->SetFiles({ u"/tmp/a b/\u00fc.jpg", u"/tmp/c.jpg" }, kDropEffectMove));
    EXPECT_EQ(XclipReads("text/uri-list"), "file:///tmp/a%20b/%C3%BC.jpg\r\nfile:///tmp/c.jpg\r\n");
    EXPECT_EQ(XclipReads("x-special/gnome-copied-files"), "cut\nfile:///tmp/a%20b/%C3%BC.jpg\nfile:///tmp/c.jpg");
    ASSERT_TRUE(clipboard_->SetFiles({ u"/tmp/c.jpg" }, kDropEffectCopy));
    EXPECT_EQ(XclipReads("x-special/gnome-copied-files"), "copy\nfile:///tmp/c.jpg");

    struct Case {
        const char* target;
        const char* offer;
        std::vector<String16> paths;
        uint32_t effect;
    };
    const Case cases[] = {
        { "x-special/gnome-copied-files", "cut\nfile:///x/y%20z.png\nfile:///x/%C3%A9.png", { u"/x/y z.png", u"/x/\u00e9.png" },
            kDropEffectMove },
        { "x-special/gnome-copied-files", "copy\nfile:///x/a.png", { u"/x/a.png" }, kDropEffectCopy },
        { "text/uri-list", "# from a browser\r\nfile:///x/b.png\r\nhttp://e.org/c.png\r\n", { u"/x/b.png" }, 0 },
    };
    for (const Case& c : cases) {
        XclipOffers(c.target, c.offer, kCfHdrop);
        uint32_t effect = 99;
        const auto files = clipboard_->GetFiles(&effect);
        ASSERT_TRUE(files) << c.offer;
        EXPECT_EQ(*files, c.paths) << c.offer;
        EXPECT_EQ(effect, c.effect) << c.offer;
    }
}

TEST_F(X11ClipboardTest, LargeTextGoesInPiecesBothWays)
{
    // 2 MiB: above our piece size and above xclip's (a quarter of the largest request).
    std::string big;
    while (big.size() < (size_t(2) << 20))
        big += "Zeile " + std::to_string(big.size()) + " \xc3\xa4\xc3\xb6\xc3\xbc \xe5\x86\x99\xe7\x9c\x9f\n";
    const auto sendsBefore = clipboard_->Stats().incrementalSends;
    ASSERT_TRUE(clipboard_->SetText(Utf8ToUtf16(big)));
    const auto start = std::chrono::steady_clock::now();
    const std::string read = XclipReads("UTF8_STRING");
    const auto sendMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(read.size(), big.size());
    EXPECT_TRUE(read == big);
    EXPECT_GT(clipboard_->Stats().incrementalSends, sendsBefore);
    // Two readers at once: each transfer goes on by itself.
    const std::string a = folder_.Native() + "/a.txt", b = folder_.Native() + "/b.txt";
    Sh("sh -c \"xclip -o -selection clipboard -t UTF8_STRING > " + a + " & xclip -o -selection clipboard -t UTF8_STRING > "
        + b + "; wait\"");
    for (const std::string& f : { a, b }) {
        const std::string got = ReadFile(f);
        EXPECT_TRUE(got == big) << f << " " << got.size();
    }

    const std::string theirs = big + "end";
    const auto receivesBefore = clipboard_->Stats().incrementalReceives;
    XclipOffers("UTF8_STRING", theirs, kCfUnicodeText);
    const auto start2 = std::chrono::steady_clock::now();
    const auto text = clipboard_->GetText();
    const auto receiveMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start2);
    ASSERT_TRUE(text);
    EXPECT_TRUE(Utf16ToUtf8(*text) == theirs);
    EXPECT_GT(clipboard_->Stats().incrementalReceives, receivesBefore);
    std::cout << "INCR: " << big.size() << " bytes to xclip in " << sendMs.count() << " ms, " << theirs.size()
              << " bytes from xclip in " << receiveMs.count() << " ms\n";
}

TEST_F(X11ClipboardTest, EmptyingTakesTheSelectionFromOthers)
{
    XclipOffers("UTF8_STRING", "theirs", kCfUnicodeText);
    ASSERT_TRUE(clipboard_->Empty());
    EXPECT_FALSE(clipboard_->HasFormat(kCfUnicodeText));
    EXPECT_FALSE(clipboard_->GetText());
    EXPECT_EQ(XclipReads("UTF8_STRING"), "");
    // A second clipboard on the same display (another instance of the program) sees our text.
    ASSERT_TRUE(clipboard_->SetText(u"from the first"));
    auto second = Clipboard::CreateX11(server_.Name(), 3000);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->GetText(), String16(u"from the first"));
    ASSERT_TRUE(second->SetFiles({ u"/p/q.jpg" }, kDropEffectMove));
    uint32_t effect = 0;
    const auto files = clipboard_->GetFiles(&effect);
    ASSERT_TRUE(files);
    EXPECT_EQ(*files, std::vector<String16> { u"/p/q.jpg" });
    EXPECT_EQ(effect, kDropEffectMove);
    EXPECT_FALSE(clipboard_->GetText());
}

TEST(X11Clipboard, NoDisplayNoClipboard)
{
    EXPECT_FALSE(Clipboard::CreateX11(":4999"));
}

TEST_F(X11ClipboardTest, AnOwnerThatNeverAnswersCostsOneBoundedWait)
{
    // Another client takes the selection and then never reads its events.
    Display* mute = XOpenDisplay(server_.Name().c_str());
    ASSERT_TRUE(mute);
    const Window w = XCreateSimpleWindow(mute, DefaultRootWindow(mute), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(mute, XInternAtom(mute, "CLIPBOARD", False), w, CurrentTime);
    XSync(mute, False);
    auto quick = Clipboard::CreateX11(server_.Name(), 300);
    ASSERT_TRUE(quick);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(quick->GetText());
    EXPECT_FALSE(quick->HasFormat(kCfHdrop));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(1200)) << "one wait for each call, not one for each target";
    // Taking the selection back works at once.
    ASSERT_TRUE(quick->SetText(u"mine"));
    EXPECT_EQ(XclipReads("UTF8_STRING"), "mine");
    XCloseDisplay(mute);
}

TEST_F(X11ClipboardTest, AnOwnerThatSendsItsPiecesSlowlyCostsOneBoundedReceive)
{
    // Another program offers text in pieces (INCR) and sends four bytes every 150 ms, each well
    // inside one wait, and never the closing empty piece.
    Display* d = XOpenDisplay(server_.Name().c_str());
    ASSERT_TRUE(d);
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    const Atom clip = XInternAtom(d, "CLIPBOARD", False);
    const Atom targets = XInternAtom(d, "TARGETS", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    const Atom incr = XInternAtom(d, "INCR", False);
    XSetSelectionOwner(d, clip, w, CurrentTime);
    XSync(d, False);
    std::atomic<bool> stop { false };
    std::atomic<int> pieces { 0 };
    std::thread peer([&] {
        Window requestor = 0;
        Atom property = None;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!stop && std::chrono::steady_clock::now() < end) {
            if (XPending(d) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            XEvent ev;
            XNextEvent(d, &ev);
            if (ev.type == SelectionRequest) {
                const XSelectionRequestEvent r = ev.xselectionrequest;
                XEvent reply {};
                reply.xselection.type = SelectionNotify;
                reply.xselection.requestor = r.requestor;
                reply.xselection.selection = r.selection;
                reply.xselection.target = r.target;
                reply.xselection.time = r.time;
                reply.xselection.property = r.property;
                if (r.target == targets) {
                    long list[2] = { long(utf8), long(targets) };
                    XChangeProperty(d, r.requestor, r.property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(list), 2);
                } else if (r.target == utf8) {
                    XSelectInput(d, r.requestor, PropertyChangeMask);
                    long size = 1 << 20;
                    XChangeProperty(d, r.requestor, r.property, incr, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&size), 1);
                    requestor = r.requestor;
                    property = r.property;
                } else {
                    reply.xselection.property = None;
                }
                XSendEvent(d, r.requestor, False, NoEventMask, &reply);
                XFlush(d);
            } else if (ev.type == PropertyNotify && ev.xproperty.window == requestor
                && ev.xproperty.atom == property && ev.xproperty.state == PropertyDelete) {
                // The receiver took the last piece and asks for the next.
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                unsigned char piece[4] = { 'a', 'b', 'c', 'd' };
                XChangeProperty(d, requestor, property, utf8, 8, PropModeReplace, piece, 4);
                XFlush(d);
                ++pieces;
            }
        }
    });
    auto slow = Clipboard::CreateX11(server_.Name(), 300);
    ASSERT_TRUE(slow);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(slow->GetText());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(3000)) << "one limit for the whole receive, not one for each piece";
    EXPECT_GE(pieces.load(), 3) << "the pieces did come, each in time";
    stop = true;
    peer.join();
    XCloseDisplay(d);
    // Taking the selection back works at once.
    ASSERT_TRUE(slow->SetText(u"mine"));
    EXPECT_EQ(XclipReads("UTF8_STRING"), "mine");
}

TEST_F(X11ClipboardTest, ARequestorThatGoesAwayMidTransferIsForgotten)
{
    const std::string big(size_t(3) << 20, 'x');
    // Short waits, so the dead transfer expires (and touches the dead window) within the test.
    clipboard_ = Clipboard::CreateX11(server_.Name(), 200);
    ASSERT_TRUE(clipboard_);
    ASSERT_TRUE(clipboard_->SetText(Utf8ToUtf16(big)));
    // A client asks for the text, gets the INCR announcement, takes one piece and leaves.
    Display* d = XOpenDisplay(server_.Name().c_str());
    ASSERT_TRUE(d);
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(d, w, PropertyChangeMask);
    const Atom prop = XInternAtom(d, "TAKE", False);
    XConvertSelection(d, XInternAtom(d, "CLIPBOARD", False), XInternAtom(d, "UTF8_STRING", False), prop, w, CurrentTime);
    XFlush(d);
    bool announced = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!announced && std::chrono::steady_clock::now() < end) {
        while (XPending(d) > 0) {
            XEvent ev;
            XNextEvent(d, &ev);
            if (ev.type == SelectionNotify && ev.xselection.property == prop) {
                Atom type = None;
                int format = 0;
                unsigned long items = 0, after = 0;
                unsigned char* data = nullptr;
                XGetWindowProperty(d, w, prop, 0, 1, True, AnyPropertyType, &type, &format, &items, &after, &data);
                if (data)
                    XFree(data);
                announced = type == XInternAtom(d, "INCR", False);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(announced);
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the first piece is written
    XDestroyWindow(d, w);
    XCloseDisplay(d);
    // Our side meets a window that is gone (an X error, which must not end the process) and
    // carries on serving others.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(XclipReads("UTF8_STRING").size(), big.size());
    ASSERT_TRUE(clipboard_->SetText(u"after"));
    EXPECT_EQ(XclipReads("UTF8_STRING"), "after");
}

TEST_F(X11ClipboardTest, AClipboardManagerKeepsOurBlocksWhenWeGo)
{
    // A stand-in clipboard manager: on SAVE_TARGETS it fetches two targets in one MULTIPLE
    // request, keeps the bytes and confirms.
    Display* m = XOpenDisplay(server_.Name().c_str());
    ASSERT_TRUE(m);
    const Window mw = XCreateSimpleWindow(m, DefaultRootWindow(m), 0, 0, 1, 1, 0, 0, 0);
    const Atom managerSel = XInternAtom(m, "CLIPBOARD_MANAGER", False);
    const Atom save = XInternAtom(m, "SAVE_TARGETS", False);
    const Atom clip = XInternAtom(m, "CLIPBOARD", False);
    const Atom multiple = XInternAtom(m, "MULTIPLE", False);
    const Atom atomPair = XInternAtom(m, "ATOM_PAIR", False);
    const Atom utf8 = XInternAtom(m, "UTF8_STRING", False);
    const Atom layer = XInternAtom(m, "application/x-zendra-layer", False);
    const Atom png = XInternAtom(m, "image/png", False);
    const Atom p1 = XInternAtom(m, "P1", False), p2 = XInternAtom(m, "P2", False), p3 = XInternAtom(m, "P3", False);
    const Atom pm = XInternAtom(m, "PM", False);
    XSetSelectionOwner(m, managerSel, mw, CurrentTime);
    XSync(m, False);
    std::string savedText, savedLayer;
    long pairsBack[6] = {};
    bool confirmed = false;
    auto readProperty = [&](Atom prop) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(m, mw, prop, 0, 1 << 20, True, AnyPropertyType, &type, &format, &items, &after, &data);
        std::string out;
        if (data && format == 8)
            out.assign(reinterpret_cast<const char*>(data), items);
        if (data && format == 32 && prop == pm)
            for (unsigned long i = 0; i < items && i < 6; ++i)
                pairsBack[i] = reinterpret_cast<const long*>(data)[i];
        if (data)
            XFree(data);
        return out;
    };
    std::thread manager([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!confirmed && std::chrono::steady_clock::now() < end) {
            if (XPending(m) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            XEvent ev;
            XNextEvent(m, &ev);
            if (ev.type != SelectionRequest || ev.xselectionrequest.target != save)
                continue;
            const XSelectionRequestEvent req = ev.xselectionrequest;
            long pairs[6] = { long(utf8), long(p1), long(layer), long(p2), long(png), long(p3) };
            XChangeProperty(m, mw, pm, atomPair, 32, PropModeReplace, reinterpret_cast<unsigned char*>(pairs), 6);
            XConvertSelection(m, clip, multiple, pm, mw, CurrentTime);
            XFlush(m);
            bool got = false;
            while (!got && std::chrono::steady_clock::now() < end) {
                if (XPending(m) == 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    continue;
                }
                XNextEvent(m, &ev);
                got = ev.type == SelectionNotify && ev.xselection.target == multiple;
            }
            if (got && ev.xselection.property == pm) {
                readProperty(pm);
                savedText = readProperty(p1);
                savedLayer = readProperty(p2);
            }
            XEvent reply {};
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = req.requestor;
            reply.xselection.selection = req.selection;
            reply.xselection.target = req.target;
            reply.xselection.property = req.property;
            reply.xselection.time = req.time;
            XSendEvent(m, req.requestor, False, NoEventMask, &reply);
            XFlush(m);
            confirmed = true;
        }
    });

    auto leaving = Clipboard::CreateX11(server_.Name(), 3000);
    ASSERT_TRUE(leaving);
    const uint32_t format = RegisterClipboardFormat(u"application/x-zendra-layer");
    std::vector<ClipboardItem> items;
    items.push_back({ kCfUnicodeText, BuildUnicodeTextBlock(u"kept after exit \u00e9") });
    items.push_back({ format, { 'L', 0, 'Z' } });
    ASSERT_TRUE(leaving->SetContents(std::move(items)));
    const auto start = std::chrono::steady_clock::now();
    leaving.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    manager.join();
    XCloseDisplay(m);
    EXPECT_TRUE(confirmed);
    EXPECT_EQ(savedText, "kept after exit \xc3\xa9");
    EXPECT_EQ(savedLayer, std::string("L\0Z", 3));
    EXPECT_EQ(pairsBack[0], long(utf8)) << "a target given keeps its name in the pair list";
    EXPECT_EQ(pairsBack[2], long(layer));
    EXPECT_EQ(pairsBack[4], long(None)) << "no picture to give";
    EXPECT_LT(took, std::chrono::milliseconds(2500));
}
