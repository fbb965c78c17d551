// The .zdoc stream byte for byte: every field at its offset, as other readers of project files
// and the history's attribute steps see it. Round trips cannot catch two fields swapped.
#include "imaging/DocStream.h"
#include "imaging/Document.h"
#include "imaging/DocumentStream.h"
#include "imaging/HistoryStore.h"

#include "DocumentTestUtil.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <vector>

namespace {

// A 5 x 3 canvas: background, a 2 x 1 layer at (-3, 2) with a layer mask and one translucent
// pixel, a selection and one stored mask.
void BuildSmallDocument(CZDDoc& doc)
{
    ImageBuffer16 bg = PatternImage16(5, 3);
    for (uint32_t i = 0; i < bg.pixelCount; ++i)
        bg.data[4 * i + 3] = 0xFFFF;
    AddOwned(doc, bg, u"bg");
    ImageBuffer16 up = PatternImage16(2, 1, 3);
    up.data[3] = 0xFFFF;
    up.data[4 + 3] = 0x80FF;
    AddOwned(doc, up, u"up");
    CZDLayer& l = *doc.layers[1];
    l.x = -3;
    l.y = 2;
    l.opacity = 77;
    l.blendMode = kBlendScreen;
    l.visible = 0;
    l.mask = PatternPlane(2, 1);
    doc.current = 1;
    CopyTextBounded(doc.path, 1024, u"/p");
    doc.selection = PatternPlane(5, 3, 1);
    auto m = std::make_unique<MaskItem>();
    m->plane = PatternPlane(2, 2, 2);
    CopyTextBounded(m->name, 32, u"m");
    m->x = -1;
    m->y = 2;
    m->storedWidth = 5;
    m->storedHeight = 3;
    doc.masks.push_back(std::move(m));
}

int32_t I32(const std::vector<uint8_t>& b, size_t at) { return int32_t(GetU32(b.data() + at)); }

std::u16string Text16(const std::vector<uint8_t>& b, size_t at, size_t units)
{
    std::u16string s;
    for (size_t i = 0; i < units && GetU16(b.data() + at + 2 * i); ++i)
        s.push_back(char16_t(GetU16(b.data() + at + 2 * i)));
    return s;
}

// A plane block at `at`: u16 width, u16 height, u32 size, zlib data. Returns its end.
size_t ExpectPlaneBlock(const std::vector<uint8_t>& b, size_t at, const Plane8& plane, const char* what)
{
    EXPECT_EQ(GetU16(b.data() + at), plane.width) << what;
    EXPECT_EQ(GetU16(b.data() + at + 2), plane.height) << what;
    const uint32_t size = GetU32(b.data() + at + 4);
    std::vector<uint8_t> out(size_t(plane.width) * plane.height + 1);
    uLongf got = uLongf(out.size());
    EXPECT_EQ(uncompress(out.data(), &got, b.data() + at + 8, size), Z_OK) << what;
    EXPECT_EQ(got, uLongf(plane.width) * plane.height) << what;
    EXPECT_EQ(std::memcmp(out.data(), plane.data, got), 0) << what;
    return at + 8 + size;
}

struct LayerWant {
    int16_t x, y;
    uint8_t maskPresent;
    const char16_t* name;
    uint8_t opacity, blend, visible, placement;
};

void ExpectLayerHeader(const uint8_t* h, const LayerWant& w, uint32_t id, const char* what)
{
    EXPECT_EQ(h[0], 1) << what;
    EXPECT_EQ(h[1], 78) << what;
    EXPECT_EQ(int16_t(GetU16(h + 2)), w.x) << what;
    EXPECT_EQ(int16_t(GetU16(h + 4)), w.y) << what;
    EXPECT_EQ(h[6], w.maskPresent) << what;
    std::vector<uint8_t> name(h + 8, h + 72);
    EXPECT_EQ(Text16(name, 0, 32), w.name) << what;
    EXPECT_EQ(h[72], w.opacity) << what;
    EXPECT_EQ(h[73], w.blend) << what;
    EXPECT_EQ(h[74], w.visible) << what;
    EXPECT_EQ(h[75], w.placement) << what;
    EXPECT_EQ(GetU32(h + 76), id) << what;
}

} // namespace

TEST(DocumentLayout, EveryFieldAtItsOffset)
{
    CZDDoc doc;
    BuildSmallDocument(doc);
    CDocMemStream s;
    ASSERT_EQ(doc.Serialize(s, false, true), 1);
    const std::vector<uint8_t>& b = s.Bytes();

    // Document header and path.
    const uint8_t header[10] = {1, 12, 2, 1, 1, 1, 5, 0, 3, 0};
    for (size_t i = 0; i < sizeof header; ++i)
        EXPECT_EQ(b[i], header[i]) << "header byte " << i;
    EXPECT_EQ(Text16(b, 12, 1024), u"/p");
    EXPECT_EQ(GetU16(b.data() + 12 + 2 * 2), 0) << "terminator";

    size_t at = ExpectPlaneBlock(b, 2060, doc.selection, "selection");

    // Stored mask: name, x, y, stored width and height, the name again, the plane.
    EXPECT_EQ(Text16(b, at, 32), u"m");
    EXPECT_EQ(I32(b, at + 64), -1);
    EXPECT_EQ(I32(b, at + 68), 2);
    EXPECT_EQ(I32(b, at + 72), 5);
    EXPECT_EQ(I32(b, at + 76), 3);
    EXPECT_EQ(std::memcmp(b.data() + at, b.data() + at + 80, 64), 0) << "second name";
    at = ExpectPlaneBlock(b, at + 144, doc.masks[0]->plane, "mask");

    // Layers: u32 type, 80-byte header, pixel stream.
    const LayerWant want[2] = {{0, 0, 0, u"bg", 255, 0, 1, 0}, {-3, 2, 1, u"up", 77, 6, 0, 1}};
    for (int i = 0; i < 2; ++i) {
        const CZDLayer& layer = *doc.layers[size_t(i)];
        EXPECT_EQ(GetU32(b.data() + at), 0u) << "type of layer " << i;
        ExpectLayerHeader(b.data() + at + 4, want[i], layer.id, i ? "layer 1" : "layer 0");
        at += 4 + 80;
        EXPECT_EQ(GetU16(b.data() + at), layer.pixels.width);
        EXPECT_EQ(GetU16(b.data() + at + 2), layer.pixels.height);
        at += 4;
        for (uint32_t p = 0; p < layer.pixels.pixelCount; ++p, at += 4)
            EXPECT_EQ(GetU32(b.data() + at), PackYccWord(layer.pixels.data + 4 * p)) << "layer " << i << " word " << p;
        if (i == 0) {
            EXPECT_EQ(b[at++], 0) << "opaque: no alpha block";
            continue;
        }
        EXPECT_EQ(b[at++], 1);
        const uint32_t size = GetU32(b.data() + at);
        uint8_t alpha[3] = {};
        uLongf got = sizeof alpha;
        EXPECT_EQ(uncompress(alpha, &got, b.data() + at + 4, size), Z_OK);
        EXPECT_EQ(got, 2u);
        EXPECT_EQ(alpha[0], 0xFF);
        EXPECT_EQ(alpha[1], 0x80) << "the alpha's high byte";
        at += 4 + size;
    }
    EXPECT_EQ(at, b.size());

    // The history's attribute record: counts, then the same headers bottom first.
    HistoryStore store;
    store.document = &doc;
    CDocMemStream attributes;
    ASSERT_EQ(store.WriteAttributes(attributes), 4u + 2 * 80);
    const std::vector<uint8_t>& a = attributes.Bytes();
    EXPECT_EQ(GetU16(a.data()), 2);
    EXPECT_EQ(GetU16(a.data() + 2), 1);
    for (int i = 0; i < 2; ++i)
        ExpectLayerHeader(a.data() + 4 + 80 * i, want[i], doc.layers[size_t(i)]->id, "attribute record");
}

TEST(DocumentLayout, SelectionThatDoesNotCoverTheCanvasIsDropped)
{
    CZDDoc doc;
    BuildSmallDocument(doc);
    CDocMemStream s;
    ASSERT_EQ(doc.Serialize(s, false, true), 1);
    std::vector<uint8_t> bytes = s.Bytes();
    PutU16(bytes.data() + 6, 4); // canvas 4 x 3 under a 5 x 3 selection
    CDocMemStream in(bytes);
    CZDDoc back;
    ASSERT_EQ(back.Serialize(in, true, true), 1);
    EXPECT_EQ(back.width, 4);
    EXPECT_EQ(back.GetSelection(), nullptr);
    EXPECT_EQ(back.LayerCount(), 2);
    EXPECT_EQ(back.masks.size(), 1u);
}
