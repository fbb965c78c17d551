// Parses the text form of a dialog and writes the extended binary template.
#include "tools/DialogTemplateSource.h"

#include "platform/Text.h"
#include "tools/SourceLines.h"

#include <cstdlib>
#include <limits>

namespace tools {

namespace {

// Control styles: WS_CHILD | WS_VISIBLE, plus WS_TABSTOP for controls that take the keyboard.
constexpr uint32_t kChild = 0x40000000, kVisible = 0x10000000, kTabStop = 0x00010000, kBorder = 0x00800000,
                   kDisabled = 0x08000000;

struct ClassInfo {
    const char* name;
    uint16_t ordinal;
    uint32_t style;
};
constexpr ClassInfo kClasses[] = {
    {"Button", 0x80, kChild | kVisible | kTabStop},
    {"Edit", 0x81, kChild | kVisible | kTabStop | kBorder | 0x80 /* ES_AUTOHSCROLL */},
    {"Static", 0x82, kChild | kVisible},
    {"ListBox", 0x83, kChild | kVisible | kTabStop | kBorder | 0x1 /* LBS_NOTIFY */},
    {"ScrollBar", 0x84, kChild | kVisible},
    {"ComboBox", 0x85, kChild | kVisible | kTabStop},
};

struct Flag {
    const char* word;
    uint32_t bits;
};
constexpr Flag kFlags[] = {
    {"default", 0x1},     // BS_DEFPUSHBUTTON
    {"checkbox", 0x3},    // BS_AUTOCHECKBOX
    {"radio", 0x9},       // BS_AUTORADIOBUTTON
    {"border", kBorder},
    {"autohscroll", 0x80},
    {"blackframe", 0x7},  // SS_BLACKFRAME
    {"etchedhorz", 0x10}, // SS_ETCHEDHORZ
    {"disabled", kDisabled},
};

// Whitespace-separated words; a word in double quotes may hold blanks ("" is an empty word).
bool SplitWords(std::string_view line, std::vector<std::string>& words, std::vector<bool>& quoted)
{
    words.clear();
    quoted.clear();
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string_view::npos)
                return false;
            words.emplace_back(line.substr(i + 1, end - i - 1));
            quoted.push_back(true);
            i = end + 1;
            continue;
        }
        size_t end = line.find_first_of(" \t", i);
        if (end == std::string_view::npos)
            end = line.size();
        words.emplace_back(line.substr(i, end - i));
        quoted.push_back(false);
        i = end;
    }
    return true;
}

bool Number(const std::string& word, int64_t low, int64_t high, int64_t& out)
{
    if (word.empty())
        return false;
    char* end = nullptr;
    long long v = std::strtoll(word.c_str(), &end, 0);
    if (*end != '\0' || v < low || v > high)
        return false;
    out = v;
    return true;
}

class Writer {
public:
    void U8(uint8_t v) { m_bytes.push_back(v); }
    void U16(uint16_t v)
    {
        U8(uint8_t(v & 0xFF));
        U8(uint8_t(v >> 8));
    }
    void U32(uint32_t v)
    {
        U16(uint16_t(v & 0xFFFF));
        U16(uint16_t(v >> 16));
    }
    void Text(const std::u16string& s)
    {
        for (char16_t c : s)
            U16(c);
        U16(0);
    }
    void Align4()
    {
        while (m_bytes.size() % 4)
            U8(0);
    }
    std::vector<uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<uint8_t> m_bytes;
};

class Reader {
public:
    explicit Reader(std::span<const uint8_t> b) : m_b(b) {}
    bool U8(uint8_t& v)
    {
        if (m_at >= m_b.size())
            return false;
        v = m_b[m_at++];
        return true;
    }
    bool U16(uint16_t& v)
    {
        uint8_t lo = 0, hi = 0;
        if (!U8(lo) || !U8(hi))
            return false;
        v = uint16_t(lo | (hi << 8));
        return true;
    }
    bool U32(uint32_t& v)
    {
        uint16_t lo = 0, hi = 0;
        if (!U16(lo) || !U16(hi))
            return false;
        v = lo | (uint32_t(hi) << 16);
        return true;
    }
    bool Text(std::u16string& s)
    {
        s.clear();
        for (uint16_t c; U16(c);) {
            if (c == 0)
                return true;
            s.push_back(char16_t(c));
        }
        return false;
    }
    // A menu or class field: 0, 0xFFFF and an ordinal, or a text.
    bool SzOrOrd(uint16_t& ordinal, std::u16string& name)
    {
        ordinal = 0;
        name.clear();
        uint16_t first = 0;
        if (!U16(first))
            return false;
        if (first == 0)
            return true;
        if (first == 0xFFFF)
            return U16(ordinal);
        name.push_back(char16_t(first));
        std::u16string rest;
        if (!Text(rest))
            return false;
        name += rest;
        return true;
    }
    bool Skip(size_t n)
    {
        if (n > m_b.size() - m_at)
            return false;
        m_at += n;
        return true;
    }
    bool Align4() { return Skip((4 - m_at % 4) % 4); }

private:
    std::span<const uint8_t> m_b;
    size_t m_at = 0;
};

} // namespace

bool ReadDialogTemplate(std::span<const uint8_t> bytes, DialogSource& out)
{
    out = DialogSource();
    Reader r(bytes);
    uint16_t version = 0, signature = 0, count = 0, x = 0, y = 0, cx = 0, cy = 0, ordinal = 0;
    uint32_t help = 0;
    std::u16string name;
    if (!r.U16(version) || !r.U16(signature) || version != 1 || signature != 0xFFFF || !r.U32(help) ||
        !r.U32(out.exStyle) || !r.U32(out.style) || !r.U16(count) || !r.U16(x) || !r.U16(y) || !r.U16(cx) ||
        !r.U16(cy) || !r.SzOrOrd(ordinal, name) || !r.SzOrOrd(ordinal, name) || !r.Text(out.caption))
        return false;
    out.cx = int16_t(cx);
    out.cy = int16_t(cy);
    if (out.style & kDsSetFont) {
        if (!r.U16(out.points) || !r.U16(out.weight) || !r.U8(out.italic) || !r.U8(out.charset) || !r.Text(out.face))
            return false;
    }
    for (int i = 0; i < count; ++i) {
        DialogItemSource it;
        uint16_t ix = 0, iy = 0, icx = 0, icy = 0, extra = 0;
        uint32_t id = 0;
        if (!r.Align4() || !r.U32(help) || !r.U32(it.exStyle) || !r.U32(it.style) || !r.U16(ix) || !r.U16(iy) ||
            !r.U16(icx) || !r.U16(icy) || !r.U32(id) || !r.SzOrOrd(it.classOrdinal, it.className) ||
            !r.SzOrOrd(ordinal, it.text) || !r.U16(extra) || !r.Skip(extra))
            return false;
        it.x = int16_t(ix);
        it.y = int16_t(iy);
        it.cx = int16_t(icx);
        it.cy = int16_t(icy);
        it.id = int32_t(id);
        out.items.push_back(std::move(it));
    }
    return true;
}

bool ParseDialogSource(std::string_view text, DialogSource& out, std::string& error)
{
    out = DialogSource();
    out.style = kDefaultDialogStyle;
    bool haveId = false, haveSize = false;
    std::vector<std::string> w;
    std::vector<bool> q;
    SourceLines lines(text);
    for (std::string_view line; lines.Next(line);) {
        size_t lineNo = lines.Number();
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        };
        if (!SplitWords(line, w, q))
            return fail("unclosed quote");
        if (w.empty() || (!q[0] && w[0][0] == ';'))
            continue;
        const std::string& cmd = w[0];
        int64_t a = 0, b = 0, c = 0;
        if (cmd == "dialog" && w.size() == 2 && Number(w[1], 1, 0xFFFF, a)) {
            out.id = uint16_t(a);
            haveId = true;
        } else if (cmd == "caption" && w.size() == 2 && q[1]) {
            out.caption = platform::Utf8ToUtf16(w[1]);
        } else if (cmd == "font" && w.size() >= 3 && w.size() <= 5 && q[1] && Number(w[2], 1, 0x7FFF, a)) {
            out.face = platform::Utf8ToUtf16(w[1]);
            out.points = uint16_t(a);
            if (w.size() >= 4 && !Number(w[3], 0, 1000, b))
                return fail("font weight must be 0 to 1000");
            if (w.size() == 5 && !Number(w[4], 0, 1, c))
                return fail("italic must be 0 or 1");
            out.weight = w.size() >= 4 ? uint16_t(b) : 400;
            out.italic = uint8_t(c);
        } else if (cmd == "size" && w.size() == 3 && Number(w[1], 1, 0x7FFF, a) && Number(w[2], 1, 0x7FFF, b)) {
            out.cx = int16_t(a);
            out.cy = int16_t(b);
            haveSize = true;
        } else if ((cmd == "style" || cmd == "exstyle") && w.size() == 2 && Number(w[1], 0, 0xFFFFFFFF, a)) {
            (cmd == "style" ? out.style : out.exStyle) = uint32_t(a);
        } else if (cmd == "control") {
            if (w.size() < 8)
                return fail("control needs: class id x y cx cy \"text\"");
            DialogItemSource item;
            const ClassInfo* known = nullptr;
            for (const ClassInfo& k : kClasses)
                if (!q[1] && w[1] == k.name)
                    known = &k;
            if (known) {
                item.classOrdinal = known->ordinal;
                item.style = known->style;
            } else {
                item.className = platform::Utf8ToUtf16(w[1]);
                item.style = kChild | kVisible | kTabStop;
            }
            int64_t x, y, cx, cy, id;
            if (!Number(w[2], -1, 0xFFFF, id) || !Number(w[3], -32768, 32767, x) || !Number(w[4], -32768, 32767, y) ||
                !Number(w[5], 0, 32767, cx) || !Number(w[6], 0, 32767, cy))
                return fail("bad control id or rectangle");
            if (!q[7])
                return fail("control text must be quoted");
            item.id = int32_t(id);
            item.x = int16_t(x);
            item.y = int16_t(y);
            item.cx = int16_t(cx);
            item.cy = int16_t(cy);
            item.text = platform::Utf8ToUtf16(w[7]);
            for (size_t i = 8; i < w.size(); ++i) {
                if ((w[i] == "style" || w[i] == "exstyle") && i + 1 < w.size() && Number(w[i + 1], 0, 0xFFFFFFFF, a)) {
                    (w[i] == "style" ? item.style : item.exStyle) = uint32_t(a);
                    ++i;
                    continue;
                }
                if (w[i] == "hidden") {
                    item.style &= ~kVisible;
                    continue;
                }
                const Flag* flag = nullptr;
                for (const Flag& f : kFlags)
                    if (w[i] == f.word)
                        flag = &f;
                if (!flag)
                    return fail("unknown control word: " + w[i]);
                item.style |= flag->bits;
            }
            out.items.push_back(std::move(item));
        } else {
            return fail("not understood: " + std::string(line));
        }
    }
    if (!haveId || !haveSize) {
        error = "a dialog needs a \"dialog <id>\" and a \"size <cx> <cy>\" line";
        return false;
    }
    if (out.items.size() > 0xFFFF) {
        error = "too many controls";
        return false;
    }
    return true;
}

std::vector<uint8_t> CompileDialogTemplate(const DialogSource& d)
{
    Writer w;
    w.U16(1);      // dlgVer
    w.U16(0xFFFF); // signature
    w.U32(0);      // help id
    w.U32(d.exStyle);
    w.U32(d.style);
    w.U16(uint16_t(d.items.size()));
    w.U16(0); // x
    w.U16(0); // y
    w.U16(uint16_t(d.cx));
    w.U16(uint16_t(d.cy));
    w.U16(0); // no menu
    w.U16(0); // the system dialog class
    w.Text(d.caption);
    if (d.style & kDsSetFont) {
        w.U16(d.points);
        w.U16(d.weight);
        w.U8(d.italic);
        w.U8(d.charset);
        w.Text(d.face);
    }
    for (const DialogItemSource& it : d.items) {
        w.Align4();
        w.U32(0); // help id
        w.U32(it.exStyle);
        w.U32(it.style);
        w.U16(uint16_t(it.x));
        w.U16(uint16_t(it.y));
        w.U16(uint16_t(it.cx));
        w.U16(uint16_t(it.cy));
        w.U32(uint32_t(it.id));
        if (it.classOrdinal) {
            w.U16(0xFFFF);
            w.U16(it.classOrdinal);
        } else {
            w.Text(it.className);
        }
        w.Text(it.text);
        w.U16(0); // no creation data
    }
    return w.Take();
}

} // namespace tools
