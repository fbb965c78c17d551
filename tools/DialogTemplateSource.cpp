// Parses the text form of a dialog and writes the extended binary template.
#include "tools/DialogTemplateSource.h"

#include "platform/Text.h"

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

} // namespace

bool ParseDialogSource(std::string_view text, DialogSource& out, std::string& error)
{
    out = DialogSource();
    out.style = kDefaultDialogStyle;
    bool haveId = false, haveSize = false;
    size_t lineNo = 0;
    std::vector<std::string> w;
    std::vector<bool> q;
    for (size_t pos = 0; pos <= text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
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
