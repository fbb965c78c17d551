#include "imaging/DocumentStream.h"

#include "imaging/DocStream.h"
#include "imaging/Document.h"

#include "DocumentTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>
#include <string>
#include <unistd.h>

TEST(PackedYcc, PackingTable)
{
    struct Case { uint16_t b, g, r; uint32_t y12, cb, cr; uint16_t rb, rg, rr; };
    const Case cases[] = {
        {0, 0, 65535, 1223, 339, 1023, 0, 28, 65462},           // pure red
        {65535, 65535, 65535, 4095, 512, 512, 65520, 65520, 65520}, // grey rounds down to 16
        {4660, 4660, 4660, 4660 >> 4, 512, 512, 4656, 4656, 4656},
        {0, 0, 0, 0, 512, 512, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const uint16_t px[3] = {c.b, c.g, c.r};
        const uint32_t w = PackYccWord(px);
        EXPECT_EQ(w >> 20, c.y12);
        EXPECT_EQ((w >> 10) & 1023, c.cb);
        EXPECT_EQ(w & 1023, c.cr);
        uint16_t back[3];
        UnpackYccWord(w, back);
        EXPECT_EQ(back[0], c.rb);
        EXPECT_EQ(back[1], c.rg);
        EXPECT_EQ(back[2], c.rr);
    }
}

// The packing as written down (64-bit products, sign and magnitude), over a grid of values
// that reaches both ends of every channel and both clamps of the chroma.
TEST(PackedYcc, SameAsTheWrittenDownFormulaOverAGrid)
{
    auto reference = [](int64_t b, int64_t g, int64_t r) {
        const int64_t y = (306 * r + 601 * g + 117 * b) >> 10;
        auto chroma = [y](int64_t c, int64_t factor) {
            const int64_t d = c - y, s = d < 0 ? -1 : 1;
            return std::clamp<int64_t>(512 + s * (((d < 0 ? -d : d) * factor) >> 16), 0, 1023);
        };
        return uint32_t((uint64_t(y >> 4) << 20) | (uint64_t(chroma(b, 579)) << 10) | uint64_t(chroma(r, 730)));
    };
    std::vector<uint16_t> values;
    for (uint32_t v = 0; v < 65536; v += 1531)
        values.push_back(uint16_t(v));
    for (uint16_t v : { 1, 2, 255, 256, 32767, 32768, 65534, 65535 })
        values.push_back(v);
    for (uint16_t b : values)
        for (uint16_t g : values)
            for (uint16_t r : values) {
                const uint16_t px[3] = { b, g, r };
                ASSERT_EQ(PackYccWord(px), reference(b, g, r)) << b << " " << g << " " << r;
            }
}

TEST(LayerPixels, AlphaFlagAndBlock)
{
    struct Case { uint16_t alpha; uint8_t flag; uint16_t readBack; };
    const Case cases[] = {
        {0xFFFF, 0, 0xFFFF},
        {0xFFFE, 1, 0xFFFF}, // high byte 255
        {0x80FF, 1, 0x8000},
        {0x0000, 1, 0x0000},
    };
    for (const Case& c : cases) {
        ImageBuffer16 img = SolidImage16(3, 2, 100, 200, 300, 0xFFFF);
        img.data[3] = c.alpha;
        CDocMemStream s;
        ASSERT_EQ(WriteLayerPixels(img, s), 1);
        const auto& b = s.Bytes();
        EXPECT_EQ(GetU16(b.data()), 3);
        EXPECT_EQ(GetU16(b.data() + 2), 2);
        ASSERT_GE(b.size(), 4u + 24 + 1);
        EXPECT_EQ(b[4 + 24], c.flag);
        if (c.flag == 0) {
            EXPECT_EQ(b.size(), 4u + 24 + 1);
        }
        s.Seek(0);
        ImageBuffer16 back;
        ASSERT_EQ(ReadLayerPixels(s, back), 1);
        EXPECT_EQ(back.data[3], c.readBack);
        EXPECT_EQ(back.data[7], 0xFFFF);
        FreeImageBuffer(img);
        FreeImageBuffer(back);
    }
}

TEST(LayerPixels, BrokenAlphaBlockLeavesTheLayerOpaque)
{
    ImageBuffer16 img = SolidImage16(4, 4, 1, 2, 3, 0x1000);
    CDocMemStream s;
    ASSERT_EQ(WriteLayerPixels(img, s), 1);
    std::vector<uint8_t> bytes = s.Bytes();
    bytes[bytes.size() - 3] ^= 0xFF; // inside the zlib data
    CDocMemStream broken(bytes);
    ImageBuffer16 back;
    ASSERT_EQ(ReadLayerPixels(broken, back), 1);
    EXPECT_EQ(back.data[3], 0xFFFF);
    bytes.resize(4 + 64 + 1 + 2); // flag set, size cut short
    CDocMemStream cut(bytes);
    EXPECT_EQ(ReadLayerPixels(cut, back), 0);
    FreeImageBuffer(img);
    FreeImageBuffer(back);
}

TEST(LayerPixels, ExactVariantRestoresEveryBit)
{
    ImageBuffer16 img = PatternImage16(7, 5);
    CDocMemStream s;
    s.pixelMode = PixelStreamMode::Exact;
    ASSERT_EQ(WriteLayerPixels(img, s), 1);
    EXPECT_EQ(s.Bytes().size(), 4u + 7 * 5 * 8);
    s.Seek(0);
    ImageBuffer16 back;
    ASSERT_EQ(ReadLayerPixels(s, back), 1);
    EXPECT_TRUE(SameImage(img, back));
    FreeImageBuffer(img);
    FreeImageBuffer(back);
}

TEST(LayerPixels, ExactVariantStoresEachSampleLittleEndianInRowOrder)
{
    struct Case { int w, h; };
    for (const Case c : { Case{ 7, 5 }, Case{ 1, 1 }, Case{ 300, 2 }, Case{ 0, 0 } }) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        ImageBuffer16 img = c.w ? PatternImage16(c.w, c.h) : ImageBuffer16{};
        CDocMemStream s;
        s.pixelMode = PixelStreamMode::Exact;
        ASSERT_EQ(WriteLayerPixels(img, s), 1);
        std::vector<uint8_t> expected = { uint8_t(c.w), uint8_t(c.w >> 8), uint8_t(c.h), uint8_t(c.h >> 8) };
        for (size_t i = 0; i < size_t(c.w) * c.h * 4; ++i) {
            expected.push_back(uint8_t(img.data[i]));
            expected.push_back(uint8_t(img.data[i] >> 8));
        }
        EXPECT_TRUE(s.Bytes() == expected);
        // A block cut short anywhere in its pixels reads as a failure.
        if (c.w) {
            CDocMemStream cut;
            cut.pixelMode = PixelStreamMode::Exact;
            cut.Write(expected.data(), expected.size() - 1);
            cut.Seek(0);
            ImageBuffer16 back;
            EXPECT_EQ(ReadLayerPixels(cut, back), 0);
            FreeImageBuffer(back);
        }
        FreeImageBuffer(img);
    }
}

TEST(Planes, RoundTripAndHostileBlocks)
{
    Plane8 p = PatternPlane(9, 4);
    CDocMemStream s;
    ASSERT_EQ(WritePlane(p, s), 1);
    Plane8 none;
    ASSERT_EQ(WritePlane(none, s), 1);
    s.Seek(0);
    Plane8 back;
    ASSERT_EQ(ReadPlane(s, back), 1);
    EXPECT_TRUE(SamePlane(p, back));
    ASSERT_EQ(ReadPlane(s, back), 1);
    EXPECT_EQ(back.data, nullptr);

    std::vector<uint8_t> good;
    {
        CDocMemStream g;
        WritePlane(p, g);
        good = g.Bytes();
    }
    struct Case { const char* what; std::function<void(std::vector<uint8_t>&)> damage; };
    const Case cases[] = {
        {"size zero", [](auto& b) { PutU32(b.data() + 4, 0); }},
        {"size past the end", [](auto& b) { PutU32(b.data() + 4, 100000); }},
        {"plane larger than its data", [](auto& b) { PutU16(b.data(), 60000); PutU16(b.data() + 2, 60000); }},
        {"expands short", [](auto& b) { PutU16(b.data(), 10); }},
        {"truncated data", [](auto& b) { b.resize(b.size() - 1); }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.damage(bytes);
        CDocMemStream bad(bytes);
        Plane8 out;
        EXPECT_EQ(ReadPlane(bad, out), 0) << c.what;
        FreePlane8(out);
    }
    FreePlane8(p);
    FreePlane8(back);
}

namespace {

// Two layers (one offset and translucent), a text layer, a stored mask and a selection.
void BuildRichDocument(CZDDoc& doc)
{
    AddOwned(doc, PatternImage16(12, 9), u"background");
    ImageBuffer16 second = PatternImage16(5, 4, 2);
    second.data[3] = 0x4000;
    AddOwned(doc, second, u"second");
    doc.layers[1]->x = -3;
    doc.layers[1]->y = 7;
    doc.layers[1]->opacity = 77;
    doc.layers[1]->blendMode = kBlendScreen;
    doc.layers[1]->visible = 0;
    auto text = std::make_unique<CTextLayer>();
    text->pixels = PatternImage16(3, 2, 4);
    const char16_t words[] = u"Hello";
    std::memcpy(text->text, words, sizeof words);
    for (size_t i = 0; i < CTextLayer::kStyleBytes; ++i)
        text->style[i] = uint8_t(i);
    CopyTextBounded(text->name, 32, u"caption");
    doc.layers.push_back(std::move(text));
    doc.current = 1;
    doc.selection = PatternPlane(12, 9, 3);
    auto mask = std::make_unique<MaskItem>();
    mask->plane = PatternPlane(4, 3, 5);
    mask->x = -2;
    mask->y = 5;
    mask->storedWidth = 12;
    mask->storedHeight = 9;
    CopyTextBounded(mask->name, 32, u"sky");
    doc.masks.push_back(std::move(mask));
    CopyTextBounded(doc.path, 1024, u"/photos/a.jpg");
}

} // namespace

TEST(DocumentStream, ProjectRoundTripKeepsStructureExactlyAndColourWithinPacking)
{
    CZDDoc doc;
    BuildRichDocument(doc);
    CDocMemStream s;
    ASSERT_EQ(doc.Serialize(s, false, true), 1);

    CZDDoc back;
    s.Seek(0);
    ASSERT_EQ(back.Serialize(s, true, true), 1);
    EXPECT_EQ(s.RemainingBytes(), 0u);
    EXPECT_EQ(back.width, 12);
    EXPECT_EQ(back.height, 9);
    EXPECT_EQ(back.current, 1);
    EXPECT_EQ(back.modified, 1);
    EXPECT_EQ(std::u16string(back.path), u"/photos/a.jpg");
    EXPECT_TRUE(SamePlane(back.selection, doc.selection));
    ASSERT_EQ(back.masks.size(), 1u);
    EXPECT_TRUE(SamePlane(back.masks[0]->plane, doc.masks[0]->plane));
    EXPECT_EQ(back.masks[0]->x, -2);
    EXPECT_EQ(back.masks[0]->y, 5);
    EXPECT_EQ(back.masks[0]->storedWidth, 12);
    EXPECT_EQ(std::u16string(back.masks[0]->name), u"sky");
    ASSERT_EQ(back.LayerCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const CZDLayer& a = *doc.layers[i];
        const CZDLayer& b = *back.layers[i];
        EXPECT_EQ(a.type, b.type);
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.x, b.x);
        EXPECT_EQ(a.y, b.y);
        EXPECT_EQ(a.opacity, b.opacity);
        EXPECT_EQ(a.blendMode, b.blendMode);
        EXPECT_EQ(a.visible, b.visible);
        EXPECT_EQ(a.placement, b.placement);
        EXPECT_EQ(std::u16string(a.name), std::u16string(b.name));
        ASSERT_EQ(a.pixels.width, b.pixels.width);
        ASSERT_EQ(a.pixels.height, b.pixels.height);
        for (uint32_t p = 0; p < a.pixels.pixelCount; ++p) {
            const uint16_t* pa = a.pixels.data + 4 * p;
            const uint16_t* pb = b.pixels.data + 4 * p;
            uint16_t packed[3];
            UnpackYccWord(PackYccWord(pa), packed);
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(pb[c], packed[c]) << "layer " << i << " pixel " << p;
            EXPECT_EQ(pb[3] >> 8, pa[3] >> 8);
        }
    }
    const auto& t = static_cast<const CTextLayer&>(*back.layers[2]);
    EXPECT_EQ(std::u16string(t.text), u"Hello");
    EXPECT_EQ(t.style[223], 223);
    EXPECT_GT(NextLayerId.load(), doc.layers[2]->id);
}

TEST(DocumentStream, HeaderBytesAndRecordPlacement)
{
    CZDDoc doc;
    AddOwned(doc, SolidImage16(2, 1, 1, 2, 3, 0xFFFF), u"bg");
    auto text = std::make_unique<CTextLayer>();
    text->pixels = SolidImage16(1, 1, 1, 2, 3, 0xFFFF);
    doc.layers.push_back(std::move(text));
    CDocMemStream s;
    ASSERT_EQ(doc.Serialize(s, false, true), 1);
    const auto& b = s.Bytes();
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[1], 12);
    EXPECT_EQ(b[2], 2);
    EXPECT_EQ(b[3], 0) << "no masks";
    EXPECT_EQ(b[4], 0) << "no selection";
    EXPECT_EQ(GetU16(b.data() + 6), 2);
    EXPECT_EQ(GetU16(b.data() + 8), 1);
    // The first layer's type follows the path directly.
    EXPECT_EQ(GetU32(b.data() + 2060), 0u);
    const size_t layer0 = 2064;
    EXPECT_EQ(b[layer0], 1);
    EXPECT_EQ(b[layer0 + 1], 78);
    EXPECT_EQ(b[layer0 + 8], 'b');
    EXPECT_EQ(GetU32(b.data() + layer0 + 76), doc.layers[0]->id);
    const size_t pixels0 = 4 + 2 * 4 + 1;
    const size_t layer1Type = layer0 + 80 + pixels0;
    EXPECT_EQ(GetU32(b.data() + layer1Type), 1u);
    EXPECT_EQ(b.size(), layer1Type + 4 + 80 + (4 + 4 + 1) + kTextLayerDataBytes);
}

TEST(DocumentStream, MasksAndSelectionFollowTheWithMasksFlag)
{
    CZDDoc source;
    BuildRichDocument(source);
    CDocMemStream noMasks;
    ASSERT_EQ(source.Serialize(noMasks, false, false), 1);

    struct Case { bool readWithMasks; bool keepsTargetMasks; };
    for (Case c : {Case{true, false}, Case{false, true}}) {
        CZDDoc target;
        BuildRichDocument(target);
        noMasks.Seek(0);
        ASSERT_EQ(target.Serialize(noMasks, true, c.readWithMasks), 1);
        EXPECT_EQ(target.masks.size() == 1, c.keepsTargetMasks);
        EXPECT_EQ(target.selection.data != nullptr, c.keepsTargetMasks);
        EXPECT_EQ(target.LayerCount(), 3);
    }

    // A stream with a selection read without masks must not change the target's selection.
    CDocMemStream withMasks;
    ASSERT_EQ(source.Serialize(withMasks, false, true), 1);
    CZDDoc target;
    AddOwned(target, SolidImage16(12, 9, 0, 0, 0, 0xFFFF), u"x");
    withMasks.Seek(0);
    ASSERT_EQ(target.Serialize(withMasks, true, false), 1);
    EXPECT_EQ(target.selection.data, nullptr);
    EXPECT_TRUE(target.masks.empty());
}

TEST(DocumentStream, ReadFailuresClearTheDocument)
{
    CZDDoc source;
    BuildRichDocument(source);
    CDocMemStream s;
    ASSERT_EQ(source.Serialize(s, false, true), 1);
    const std::vector<uint8_t> good = s.Bytes();
    const size_t firstLayerHeader = [&] {
        // header, path, selection block, mask record, then the first layer's type
        CDocMemStream probe(good);
        probe.Seek(12 + 2048);
        Plane8 p;
        ReadPlane(probe, p);
        FreePlane8(p);
        probe.Seek(probe.GetPosition() + 64 + 16 + 64);
        ReadPlane(probe, p);
        FreePlane8(p);
        return size_t(probe.GetPosition()) + 4;
    }();

    struct Case { const char* what; std::function<void(std::vector<uint8_t>&)> damage; bool ok; };
    const Case cases[] = {
        {"header size 11", [](auto& b) { b[1] = 11; }, false},
        {"unknown layer type", [&](auto& b) { PutU32(b.data() + firstLayerHeader - 4, 2); }, false},
        {"layer header size 80", [&](auto& b) { b[firstLayerHeader + 1] = 80; }, true},
        {"layer header size 81", [&](auto& b) { b[firstLayerHeader + 1] = 81; }, false},
        {"truncated in the last layer", [](auto& b) { b.resize(b.size() - 100); }, false},
        {"truncated in a mask name", [](auto& b) { b.resize(12 + 2048 + 30); }, false},
        {"current index past the end", [](auto& b) { b[5] = 200; }, true},
        {"more layers than stored", [](auto& b) { b[2] = 4; }, false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.damage(bytes);
        CDocMemStream in(bytes);
        CZDDoc doc;
        BuildRichDocument(doc);
        EXPECT_EQ(doc.Serialize(in, true, true), c.ok ? 1 : 0) << c.what;
        if (c.ok) {
            EXPECT_EQ(doc.LayerCount(), 3) << c.what;
            EXPECT_TRUE(doc.GetCurrentLayer() != nullptr) << c.what;
        } else {
            EXPECT_EQ(doc.LayerCount(), 0) << c.what;
            EXPECT_TRUE(doc.masks.empty()) << c.what;
            EXPECT_EQ(doc.selection.data, nullptr) << c.what;
        }
    }
}

TEST(DocumentStream, WritesThatCannotReadBackAreRefused)
{
    struct Case { const char* what; std::function<void(CZDDoc&)> change; };
    const Case cases[] = {
        {"offset beyond 16 bits", [](CZDDoc& d) { d.layers[1]->x = 40000; }},
        {"canvas wider than 65535", [](CZDDoc& d) { d.width = 70000; }},
        {"more than 255 layers", [](CZDDoc& d) {
             for (int i = 0; i < 254; ++i)
                 d.layers.push_back(std::make_unique<CZDLayer>());
         }},
        {"current layer outside the list", [](CZDDoc& d) { d.current = -1; }},
    };
    for (const Case& c : cases) {
        CZDDoc doc;
        BuildRichDocument(doc);
        c.change(doc);
        CDocMemStream s;
        EXPECT_EQ(doc.Serialize(s, false, true), 0) << c.what;
    }
    // A full disk at any point fails the write.
    CZDDoc doc;
    BuildRichDocument(doc);
    CDocMemStream whole;
    ASSERT_EQ(doc.Serialize(whole, false, true), 1);
    for (size_t limit : {size_t(0), size_t(11), size_t(2100), whole.Bytes().size() - 1}) {
        CDocMemStream s;
        s.SetWriteLimit(limit);
        EXPECT_EQ(doc.Serialize(s, false, true), 0) << limit;
    }
}

TEST(DocumentStream, EmptyLayerRoundTrips)
{
    CZDDoc doc;
    AddOwned(doc, SolidImage16(3, 3, 0, 0, 0, 0xFFFF), u"bg");
    doc.layers.push_back(std::make_unique<CZDLayer>());
    for (PixelStreamMode mode : {PixelStreamMode::Packed, PixelStreamMode::Exact}) {
        CDocMemStream s;
        s.pixelMode = mode;
        ASSERT_EQ(doc.Serialize(s, false, true), 1);
        s.Seek(0);
        CZDDoc back;
        ASSERT_EQ(back.Serialize(s, true, true), 1);
        ASSERT_EQ(back.LayerCount(), 2);
        EXPECT_EQ(back.layers[1]->pixels.data, nullptr);
    }
}

TEST(DocumentStream, PagedOutDocumentComesBackExactly)
{
    CZDDoc doc;
    BuildRichDocument(doc);
    const auto path = std::filesystem::temp_directory_path() / ("zd-pageout-test-" + std::to_string(getpid()) + ".zdtmp");
    const std::string p = path.string();
    const std::u16string path16(p.begin(), p.end());
    ASSERT_EQ(PageOutDocument(doc, path16), 1);
    CZDDoc back;
    ASSERT_EQ(PageInDocument(back, path16), 1);
    ASSERT_EQ(back.LayerCount(), doc.LayerCount());
    for (int i = 0; i < doc.LayerCount(); ++i)
        EXPECT_TRUE(SameImage(back.layers[i]->pixels, doc.layers[i]->pixels)) << i;
    EXPECT_TRUE(SamePlane(back.selection, doc.selection));
    ASSERT_EQ(back.masks.size(), 1u);
    EXPECT_TRUE(SamePlane(back.masks[0]->plane, doc.masks[0]->plane));
    EXPECT_EQ(std::u16string(static_cast<CTextLayer&>(*back.layers[2]).text), u"Hello");

    doc.layers[1]->x = 1 << 20; // cannot be stored
    EXPECT_EQ(PageOutDocument(doc, path16), 0);
    EXPECT_FALSE(std::filesystem::exists(path)) << "a failed page-out leaves no file";
    EXPECT_EQ(PageInDocument(back, path16), 0);
}
