// The lists sample: the node tree and the item list, thumbnails drawn when a cell comes into view.
#include "app/samples/ListSamplePage.h"

#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace liststrip {

void Encode(int index, int bits[kBits])
{
    bits[0] = 1;
    int ones = 0;
    for (int i = 0; i < kIndexBits; ++i) {
        bits[1 + i] = (index >> (kIndexBits - 1 - i)) & 1;
        ones += bits[1 + i];
    }
    bits[kBits - 1] = 1 - (ones & 1); // odd: an all-light area is no strip
}

int Decode(const int bits[kBits])
{
    if (bits[0] != 1)
        return -1;
    int index = 0, ones = 0;
    for (int i = 0; i < kIndexBits; ++i) {
        index = index << 1 | bits[1 + i];
        ones += bits[1 + i];
    }
    return 1 - (ones & 1) == bits[kBits - 1] ? index : -1;
}

} // namespace liststrip

namespace {

void PutGrey(ImageBuffer8& image, int x, int y, int w, int h, uint8_t grey)
{
    for (int yy = std::max(0, y); yy < std::min(image.height, y + h); ++yy)
        for (int xx = std::max(0, x); xx < std::min(image.width, x + w); ++xx) {
            uint8_t* p = image.data + (size_t(yy) * image.width + xx) * 4;
            p[0] = p[1] = p[2] = grey;
            p[3] = 255;
        }
}

void DrawStrip(ImageBuffer8& image, int index, int x, int y, int block, int height)
{
    int bits[liststrip::kBits];
    liststrip::Encode(index, bits);
    for (int i = 0; i < liststrip::kBits; ++i)
        PutGrey(image, x + i * block, y, block, height, bits[i] ? 235 : 45);
}

// A photo stand-in: a sky-to-ground gradient in a colour of its own, a sun, and the index
// strip on a dark band near the bottom.
class SampleItem : public CListItem {
public:
    explicit SampleItem(int index) : m_index(index) {}

    const ImageBuffer8* GetPicture(int size, bool crop) override
    {
        if (size <= 0)
            return nullptr;
        const int w = size, h = crop ? size : size * 3 / 4;
        if (cachedPicture.data && cachedPicture.width == w && cachedPicture.height == h)
            return &cachedPicture;
        if (!AllocImage8(cachedPicture, w, h))
            return nullptr;
        // Hues a golden angle apart, so neighbours differ.
        const double hue = std::fmod(m_index * 137.508, 360.0) / 60.0;
        const double f = hue - std::floor(hue);
        const double rgb[6][3] = {{1, f, 0}, {1 - f, 1, 0}, {0, 1, f}, {0, 1 - f, 1}, {f, 0, 1}, {1, 0, 1 - f}};
        const double* c = rgb[int(hue) % 6];
        const int horizon = h * 3 / 5;
        const int sunX = w * (20 + m_index % 60) / 100, sunY = h / 4, sunR = std::max(2, w / 10);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = cachedPicture.data + (size_t(y) * w + x) * 4;
                double light = y < horizon ? 0.55 + 0.4 * (1.0 - double(y) / horizon) : 0.25 + 0.2 * double(h - y) / (h - horizon + 1);
                const int dx = x - sunX, dy = y - sunY;
                if (dx * dx + dy * dy <= sunR * sunR)
                    light = 1.0;
                for (int k = 0; k < 3; ++k) {
                    const double v = (0.35 + 0.65 * c[2 - k]) * light * 255.0;
                    p[k] = uint8_t(std::clamp(v, 0.0, 255.0));
                }
                p[3] = 255;
            }
        if (w >= 100 && h >= 100) {
            PutGrey(cachedPicture, liststrip::kListLeft - 3, liststrip::kListTop - 3,
                    liststrip::kBits * liststrip::kListBlock + 6, liststrip::kListHeight + 6, 20);
            DrawStrip(cachedPicture, m_index, liststrip::kListLeft, liststrip::kListTop, liststrip::kListBlock,
                      liststrip::kListHeight);
        }
        return &cachedPicture;
    }

private:
    int m_index;
};

class SampleList : public CListSprite {
public:
    CListItem* CreateItem() override { return new (std::nothrow) SampleItem(m_nextIndex++); }

private:
    int m_nextIndex = 0;
};

// Rows carry their index strip at the right end.
class SampleTree : public CSTree {
public:
    void DrawRowExtra(int row, int rowTop) override
    {
        const int x = m_image.width - kScrollBar - liststrip::kTreeRightGap - liststrip::kBits * liststrip::kTreeBlock;
        DrawStrip(m_image, row, x, rowTop + liststrip::kTreeTop, liststrip::kTreeBlock, liststrip::kTreeHeight);
    }

private:
    static constexpr int kScrollBar = 17;
};

} // namespace

CListSamplePage::CListSamplePage() : CSTabPage(UiText(u"sampleLists")) {}

CListSamplePage::~CListSamplePage()
{
    // The tree's rows point into the nodes: the views go first.
    CSprite::ReleaseResources(1);
    m_root.Clear();
}

void CListSamplePage::ReleaseResources(int flag)
{
    CSTabPage::ReleaseResources(flag);
    m_tree = nullptr;
    m_list = nullptr;
}

int CListSamplePage::OnCreate()
{
    const std::u16string folder = UiText(u"sampleFolder"), photo = UiText(u"samplePhoto");
    char16_t number[16];
    auto numbered = [&](const std::u16string& word, int n) {
        char text[16];
        std::snprintf(text, sizeof text, " %d", n);
        size_t i = 0;
        for (; text[i] && i + 1 < std::size(number); ++i)
            number[i] = char16_t(text[i]);
        number[i] = 0;
        return word + number;
    };
    int photoNumber = 0;
    for (int f = 0; f < kFolders; ++f) {
        CTreeNode* node = m_root.AddChild(new CTreeNode(numbered(folder, f + 1).c_str()));
        node->expanded = 1;
        for (int p = 0; p < kPhotosPerFolder; ++p)
            node->AddChild(new CTreeNode(numbered(photo, ++photoNumber).c_str()));
    }
    auto* tree = new SampleTree;
    tree->SetAutoDelete(1);
    if (!tree->Create(this, nullptr, 1, 1, 0, 0, 100, 100)) {
        delete tree;
        return 0;
    }
    AddChild(tree);
    tree->SetRoot(&m_root);
    m_tree = tree;

    auto* list = new SampleList;
    list->SetAutoDelete(1);
    if (!list->Create(this, nullptr, 2, 1, 0, 0, 100, 100)) {
        delete list;
        return 0;
    }
    AddChild(list);
    m_list = list;
    for (int i = 0; i < kListItems; ++i)
        if (list->AddItem(numbered(photo, i + 1).c_str(), nullptr, i) < 0)
            return 0;
    list->Layout(true);
    return 1;
}

void CListSamplePage::SetPos(int x, int y, int width, int height)
{
    CSprite::SetPos(x, y, width, height);
    SetAllDirty(1);
    const int inner = std::max(0, height - 2 * kMargin);
    const int treeWidth = std::min(kTreeWidth, std::max(0, width / 3));
    if (m_tree)
        m_tree->SetPos(kMargin, kMargin, treeWidth, inner);
    if (m_list)
        m_list->SetPos(2 * kMargin + treeWidth, kMargin, std::max(0, width - 3 * kMargin - treeWidth), inner);
    if (m_tree && m_list && m_window) {
        std::printf("zendra: lists sample %s\n", DescribeLayout().c_str());
        std::fflush(stdout);
    }
}

std::string CListSamplePage::DescribeLayout() const
{
    std::string out;
    auto add = [&](const char* name, const CSprite* s, int content) {
        const SRect r = s->LocalToWindowRect({0, 0, s->Width(), s->Height()});
        char text[128];
        std::snprintf(text, sizeof text, "%s%s %d %d %d %d content %d", out.empty() ? "" : "; ", name, r.left, r.top,
                      r.Width(), r.Height(), content);
        out += text;
    };
    if (m_tree && m_list) {
        add("tree", m_tree, m_tree->RowCount() * m_tree->m_rowHeight);
        add("list", m_list, m_list->ContentHeight());
    }
    return out;
}

int CListSamplePage::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    // The calm dark surface of the window, a touch lighter at the top.
    const int h = m_image.height;
    for (int y = 0; y < h; ++y) {
        const uint8_t v = uint8_t(0x22 - (0x22 - 0x19) * y / (h > 1 ? h - 1 : 1));
        uint8_t* row = m_image.data + size_t(y) * m_image.width * 4;
        for (int x = 0; x < m_image.width; ++x) {
            row[x * 4] = row[x * 4 + 1] = row[x * 4 + 2] = v;
            row[x * 4 + 3] = 255;
        }
    }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}
