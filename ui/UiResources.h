// What the whole user interface draws with: the skin pictures every widget reuses, the digit
// strips and the shared icon strip, the text bitmap (with the text renderer's lock), the screen
// area of all monitors, and the application's hand cursor; and theAppResources, which holds
// them together with the string table and the log and loads everything at start.
#pragma once

#include "imaging/ImageBuffer.h"
#include "platform/Sync.h"
#include "platform/Window.h"
#include "ui/StringTable.h"

#include <array>
#include <vector>

// The pictures of the icon strip, in strip order.
enum class IconStripPart { CheckBox, Expand, Ratio, Indicator, MenuIcon, MPanel, Count };

class UIResources {
public:
    static constexpr int kTextBufferWidth = 1024;
    static constexpr int kTextBufferHeight = 256;
    static constexpr int kDigitWidth = 20;
    static constexpr int kSmallDigitWidth = 5;

    struct StripPicture {
        const char16_t* name;
        int frameWidth;
    };
    // The pictures cut into the icon strip, in this order; a widget finds its frames by counting
    // the frames of the pictures before its own (FirstIconFrame).
    static constexpr std::array<StripPicture, size_t(IconStripPart::Count)> kIconStrip = {{
        {u"checkbox.png", 20},
        {u"expand.png", 16},
        {u"ratio.png", 20},
        {u"indicator.png", 12},
        {u"menuicon.png", 16},
        {u"mpanel.png", 40},
    }};

    UIResources() = default;
    ~UIResources();
    UIResources(const UIResources&) = delete;
    UIResources& operator=(const UIResources&) = delete;

    // Loads every picture from the basic folder of programFolder (which ends in a separator)
    // and allocates the text buffer; the screen rectangle is the union of the monitors (the
    // first being the desktop). 1 when all of it succeeded, 0 at the first failure.
    int Load(StringView16 programFolder, const std::vector<platform::Rect>& monitors);

    // "<program folder>basic/<name>" and "<program folder>skin/<name>", as values (two paths in
    // one expression never share a buffer).
    String16 BasicPath(StringView16 name) const;
    String16 SkinPath(StringView16 name) const;

    // Index of the first frame of a picture in the icon strip.
    int FirstIconFrame(IconStripPart part) const { return m_firstFrame[size_t(part)]; }
    int IconFrameCount(IconStripPart part) const { return m_frameCount[size_t(part)]; }

    // The text renderer's lock, shared with the line primitives' pen (both threads).
    platform::CriticalSection& Lock();

    ImageBuffer8 frame;             // "frame.png"
    ImageBuffer8 button;            // "btn.png"
    ImageBuffer8 roundFrame;        // "roundframe.png"
    ImageBuffer8 tabTitleBackground; // "tabtitlebk.png"
    ImageBuffer8 scrollBar;         // "scrollbar.png"
    ImageList8 digits;              // "digi.png", 20-pixel frames
    ImageList8 smallDigits;         // "smalldigi.png", 5-pixel frames
    ImageList8 icons;               // the icon strip
    ImageBuffer8 textBuffer;        // 1024 x 256
    platform::Rect screenRect;

private:
    void FreeAll();

    String16 m_programFolder;
    std::array<int, size_t(IconStripPart::Count)> m_firstFrame{};
    std::array<int, size_t(IconStripPart::Count)> m_frameCount{};
};

// The hand cursor shown while a picture is dragged: 32 x 32, monochrome, hot spot (15, 15).
// Built from a copy of the shape each time, so building it twice gives the same cursor.
platform::CustomCursor BuildHandCursor();

// The program's cursor of that resource number, from the generated 32 x 32 picture
// "basic/cursor<number>.png": pixels with alpha below 128 are transparent, the others white when
// light and black when dark. The hot spot is the caller's (it belongs to where the cursor is
// used). 1 when the picture was read and had that size.
int LoadProgramCursor(int resourceNumber, int hotX, int hotY, platform::CustomCursor& out);

class AppResources {
public:
    // Reads "basic/resource.txt" of the program folder, adds the built-in texts, switches the
    // log on when "logpath" is defined, loads the UI resources and builds the cursor. 1 on
    // success; 0 when any of it failed (the window then reports "errinit").
    int Init(StringView16 programFolder, const std::vector<platform::Rect>& monitors);
    // The text shown when Init failed.
    const char16_t* InitFailureText() const { return table.LookupText(u"errinit"); }
    void WriteLog(const char* text) { log.Write(text); }
    // Builds the hand cursor into `cursor`; 1 when it was built.
    int CreateAppCursor();

    String16 programFolder; // ends in a separator
    StringTable table;
    UIResources ui;
    AppLog log;
    platform::CustomCursor cursor;
    bool hasCursor = false;
};

extern AppResources theAppResources;
