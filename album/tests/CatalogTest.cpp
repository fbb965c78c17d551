#include "album/CatalogCondition.h"
#include "album/CatalogTree.h"
#include "album/tests/AlbumTestUtil.h"

#include <cstring>

using namespace albumtest;
using platform::String16;

namespace {

ConditionEntry Entry(int kind, int first = 0, int second = 0, const char16_t* text = u"")
{
    ConditionEntry e;
    e.kind = kind;
    e.first = first;
    e.second = second;
    platform::CopyText(e.text, text);
    return e;
}

// A record with the fields the conditions read.
struct PhotoFacts {
    String16 path = u"/p/IMG_2019.jpg";
    int width = 4000, height = 3000;
    bool camera = true;
    int year = 2019, month = 5, day = 7;
    const char* maker = "Zcam";
    uint8_t iso = 4, fnum = 28;
    uint16_t expNum = 1, expDen = 250;
    double lat = 0, lon = 0;
};

std::vector<uint8_t> Build(const PhotoFacts& s)
{
    using namespace photorecord;
    std::vector<uint8_t> r = MakeRecord(s.path);
    Put<uint16_t>(r.data() + kWidth, uint16_t(s.width));
    Put<uint16_t>(r.data() + kHeight, uint16_t(s.height));
    Put<uint32_t>(r.data() + kFileLength, 123456);
    Put<uint32_t>(r.data() + kDateBits, (s.camera ? 1u : 0u) | uint32_t(s.month) << 1 | uint32_t(s.day) << 5 | uint32_t(s.year) << 10);
    std::strncpy(reinterpret_cast<char*>(r.data() + kMaker), s.maker, 15);
    r[kIsoDiv50] = s.iso;
    r[kFNumberX10] = s.fnum;
    r[kExifBits] = uint8_t(1 | 5 << 2 | 1 << 6);
    Put<uint16_t>(r.data() + kExposureNum, s.expNum);
    Put<uint16_t>(r.data() + kExposureDen, s.expDen);
    Put<uint64_t>(r.data() + kLatitude, std::bit_cast<uint64_t>(s.lat));
    Put<uint64_t>(r.data() + kLongitude, std::bit_cast<uint64_t>(s.lon));
    return r;
}

int Match(const PhotoFacts& s, const CatalogCondition& c)
{
    auto bytes = Build(s);
    return MatchCatalogCondition(AsRecord(bytes), CatalogFileName(s.path), 1, c);
}

CSearchNode* AddCatalogue(CSearchNode& parent, const char16_t* name)
{
    auto n = std::make_unique<CSearchNode>();
    n->text = name;
    n->isAlbum = true;
    n->isCatalogue = true;
    return parent.AddChild(std::move(n));
}

} // namespace

TEST(CatalogCondition, BlockLayout)
{
    static_assert(kConditionEntryBytes * kConditionSlots + 2 * kConditionKeywordChars + 4 == kCatalogConditionBytes);
    CatalogCondition c;
    c.slots[0] = Entry(kConditionWords, 0, 0, u"AB");
    c.slots[24] = Entry(kConditionNear, -7, 9);
    platform::CopyText(c.keywords, u"sea");
    c.allKeywords = 1;
    uint8_t bytes[kCatalogConditionBytes];
    c.Store(bytes);
    EXPECT_EQ(photorecord::Get<int32_t>(bytes + 0), 4);
    EXPECT_EQ(photorecord::Get<uint16_t>(bytes + 12), u'A');
    EXPECT_EQ(photorecord::Get<uint16_t>(bytes + 14), u'B');
    EXPECT_EQ(photorecord::Get<int32_t>(bytes + 3360), 6);
    EXPECT_EQ(photorecord::Get<int32_t>(bytes + 3364), -7);
    EXPECT_EQ(photorecord::Get<int32_t>(bytes + 3368), 9);
    EXPECT_EQ(photorecord::Get<uint16_t>(bytes + 3500), u's');
    EXPECT_EQ(photorecord::Get<int32_t>(bytes + 4012), 1);
}

TEST(CatalogCondition, SlotTests)
{
    struct Case { ConditionEntry e; int32_t value; const char16_t* text; int pass; const char* why; };
    const Case cases[] = {
        { Entry(kConditionNone), 5, nullptr, 1, "none" },
        { Entry(kConditionEqual, 5), 5, nullptr, 1, "equal" },
        { Entry(kConditionEqual, 5), 6, nullptr, 0, "not equal" },
        { Entry(kConditionRange, 10, 20), 10, nullptr, 1, "range lower bound included" },
        { Entry(kConditionRange, 10, 20), 20, nullptr, 0, "range upper bound excluded" },
        { Entry(kConditionRange, -20, -10), -15, nullptr, 1, "signed range" },
        { Entry(kConditionDateRange, 20190101, 20191231), 20191231, nullptr, 0, "31 December excluded" },
        { Entry(kConditionDateRange, 20190101, 20191231), 0, nullptr, 0, "no date never in range" },
        { Entry(kConditionBits, 3), 0, nullptr, 1, "bits always pass" },
        { Entry(kConditionNear, 0, 1), 99999, nullptr, 1, "near with centre 0 passes" },
        { Entry(kConditionNear, 100, 10), 110, nullptr, 1, "near at the distance" },
        { Entry(kConditionNear, 100, 10), 89, nullptr, 0, "near beyond the distance" },
        { Entry(9, 1, 2), 0, nullptr, 1, "unknown kinds pass" },
        { Entry(kConditionWords, 0, 0, u"IMG 2019"), 0, u"IMG_2019_01", 1, "both words inside" },
        { Entry(kConditionWords, 0, 0, u"IMG 2020"), 0, u"IMG_2019_01", 0, "one word missing" },
        { Entry(kConditionWords, 0, 0, u"img"), 0, u"IMG_1", 0, "substring is case-sensitive" },
        { Entry(kConditionWords, 0, 0, u"img_1"), 0, u"IMG_1", 1, "whole text without case" },
        { Entry(kConditionWords, 0, 0, u""), 0, u"x", 1, "no word passes" },
        { Entry(kConditionWords, 0, 0, u"   "), 0, u"x", 1, "blanks only pass" },
        { Entry(kConditionWords, 0, 0, u"x"), 0, nullptr, 0, "no text never passes" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(c.e.Test(c.value, c.text), c.pass);
    }
}

TEST(CatalogCondition, MergeOverAncestors)
{
    CSearchNode root;
    root.isCatalogue = true;
    CSearchNode* parent = AddCatalogue(root, u"2019");
    parent->condition.slots[kSlotDate] = Entry(kConditionDateRange, 20190101, 20200101);
    parent->condition.slots[kSlotFileName] = Entry(kConditionWords, 0, 0, u"IMG");
    parent->condition.slots[kSlotExtra0] = Entry(kConditionBits, 1);
    CSearchNode* child = AddCatalogue(*parent, u"Zcam");
    child->condition.slots[kSlotMaker] = Entry(kConditionWords, 0, 0, u"Zcam");
    child->condition.slots[kSlotFileName] = Entry(kConditionWords, 0, 0, u"2019");
    child->condition.slots[kSlotExtra0] = Entry(kConditionBits, 4);
    CSearchNode* own = AddCatalogue(*parent, u"May");
    own->condition.slots[kSlotDate] = Entry(kConditionDateRange, 20190501, 20190601);

    CatalogCondition merged;
    MergeCatalogCondition(*child, merged);
    EXPECT_EQ(merged.slots[kSlotDate].first, 20190101);                // the parent's range
    EXPECT_EQ(String16(merged.slots[kSlotFileName].text), u"2019 IMG"); // both levels' words
    EXPECT_EQ(merged.slots[kSlotExtra0].first, 5);                     // bits ORed
    PhotoFacts photo;
    EXPECT_EQ(Match(photo, merged), 1);
    photo.maker = "Other";
    EXPECT_EQ(Match(photo, merged), 0);
    photo.maker = "Zcam";
    photo.year = 2018;
    EXPECT_EQ(Match(photo, merged), 0);

    MergeCatalogCondition(*own, merged);
    EXPECT_EQ(merged.slots[kSlotDate].first, 20190501); // its own range wins
    photo.year = 2019;
    photo.month = 6;
    EXPECT_EQ(Match(photo, merged), 0);

    // Texts that would pass 62 characters are not appended.
    CSearchNode* longWords = AddCatalogue(*parent, u"long");
    longWords->condition.slots[kSlotFileName] = Entry(kConditionWords, 0, 0, String16(59, u'w').c_str());
    MergeCatalogCondition(*longWords, merged);
    EXPECT_EQ(String16(merged.slots[kSlotFileName].text), String16(59, u'w'));
    // The merge stops below the first ancestor that is no album.
    MergeCatalogCondition(root, merged);
    EXPECT_EQ(merged.slots[kSlotDate].kind, 0);
}

TEST(CatalogCondition, PhotoValues)
{
    struct Case { const char* why; int slot; ConditionEntry e; PhotoFacts photo; int pass; };
    PhotoFacts noCamera;
    noCamera.camera = false;
    PhotoFacts lowerName;
    lowerName.path = u"/p/img_2019.jpg";
    PhotoFacts placed;
    placed.lat = 48.12345;
    placed.lon = -9.87654;
    PhotoFacts portrait;
    portrait.width = 3000;
    portrait.height = 4000;
    const Case cases[] = {
        { "file name words in capitals", kSlotFileName, Entry(kConditionWords, 0, 0, u"IMG 2019"), {}, 1 },
        { "names are tested as capitals", kSlotFileName, Entry(kConditionWords, 0, 0, u"IMG"), lowerName, 1 },
        { "a small word only matches a whole name", kSlotFileName, Entry(kConditionWords, 0, 0, u"img"), {}, 0 },
        { "whole name without case", kSlotFileName, Entry(kConditionWords, 0, 0, u"img_2019"), {}, 1 },
        { "extension not part of the name", kSlotFileName, Entry(kConditionWords, 0, 0, u"JPG"), {}, 0 },
        { "type", kSlotFileType, Entry(kConditionEqual, 1), {}, 1 },
        { "long side", kSlotLongSide, Entry(kConditionRange, 4000, 4001), portrait, 1 },
        { "landscape", kSlotLandscape, Entry(kConditionEqual, 1), {}, 1 },
        { "portrait", kSlotLandscape, Entry(kConditionEqual, 0), portrait, 1 },
        { "file length", kSlotFileLength, Entry(kConditionRange, 123456, 123457), {}, 1 },
        { "date", kSlotDate, Entry(kConditionDateRange, 20190507, 20190508), {}, 1 },
        { "no camera data: no date", kSlotDate, Entry(kConditionDateRange, -1, 99999999), noCamera, 1 },
        { "no camera data: date 0", kSlotDate, Entry(kConditionEqual, 0), noCamera, 1 },
        { "no camera data: ISO 65535", kSlotIso, Entry(kConditionEqual, 65535), noCamera, 1 },
        { "no camera data: flash 65535", kSlotFlash, Entry(kConditionEqual, 65535), noCamera, 1 },
        { "colour space", kSlotColourSpace, Entry(kConditionEqual, 1), {}, 1 },
        { "metering", kSlotMetering, Entry(kConditionEqual, 5), {}, 1 },
        { "ISO in units of 50", kSlotIso, Entry(kConditionRange, 4, 5), {}, 1 },
        { "f-number", kSlotFNumber, Entry(kConditionEqual, 28), {}, 1 },
        { "shutter 1/250 is 40", kSlotShutter, Entry(kConditionEqual, 40), {}, 1 },
        { "maker word", kSlotMaker, Entry(kConditionWords, 0, 0, u"cam"), {}, 1 },
        { "latitude truncated", kSlotLatitude, Entry(kConditionNear, 481234, 0), placed, 1 },
        { "longitude truncated toward zero", kSlotLongitude, Entry(kConditionNear, -98765, 0), placed, 1 },
        { "near misses", kSlotLatitude, Entry(kConditionNear, 481200, 10), placed, 0 },
        { "slot 22 is never tested", kSlotUnused, Entry(kConditionEqual, 77), {}, 1 },
        { "a word slot without text fails", kSlotWidth, Entry(kConditionWords, 0, 0, u"x"), {}, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        CatalogCondition cond;
        cond.slots[c.slot] = c.e;
        EXPECT_EQ(Match(c.photo, cond), c.pass);
    }
}

TEST(CatalogCondition, TagMatching)
{
    CSearchNode root;
    root.isCatalogue = true;
    CSearchNode* parent = AddCatalogue(root, u"p");
    CSearchNode* child = AddCatalogue(*parent, u"c");
    struct Case { const char* why; const char16_t* parentKeys; const char16_t* childKeys; int all; const char16_t* tags; int pass; };
    const Case cases[] = {
        { "all keywords, one carried", u"", u"sea beach", 1, u"SEA", 0 },
        { "any keyword, one carried", u"", u"sea beach", 0, u"SEA", 1 },
        { "all carried", u"", u"sea beach", 1, u"beach x Sea", 1 },
        { "no tags", u"", u"sea", 0, u"", 0 },
        { "no keywords anywhere", u"", u"", 0, u"", 1 },
        { "whole tags only", u"", u"sea", 0, u"seaside", 0 },
        { "the parent's keywords count too", u"mountain", u"sea", 0, u"sea", 0 },
        { "child without keywords defers to the parent", u"mountain", u"", 0, u"Mountain", 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        platform::CopyText(parent->condition.keywords, c.parentKeys);
        platform::CopyText(child->condition.keywords, c.childKeys);
        child->condition.allKeywords = c.all;
        EXPECT_EQ(MatchCatalogTags(c.tags, *child), c.pass);
    }
}

TEST(CatalogTree, FileRoundTrip)
{
    CSearchNode root;
    root.isCatalogue = true;
    CSearchNode* a = AddCatalogue(root, u"Holidays");
    a->condition.slots[kSlotDate] = Entry(kConditionDateRange, 20190101, 20200101);
    CSearchNode* a1 = AddCatalogue(*a, String16(31, u'n').c_str()); // 31 characters fit whole
    a1->condition.slots[kSlotMaker] = Entry(kConditionWords, 0, 0, u"Zcam");
    platform::CopyText(a1->condition.keywords, u"sea beach");
    a1->condition.allKeywords = 1;
    AddCatalogue(root, u"Second");

    TempFolder dir;
    ASSERT_TRUE(SaveCatalogTree(U16(dir.path()), root));
    const auto bytes = testutil::ReadAll(dir / "UserSearchTree.db");
    ASSERT_EQ(bytes.size(), 3u * 4084);
    EXPECT_EQ(photorecord::Get<uint16_t>(bytes.data()), 4082);
    EXPECT_EQ(photorecord::Get<uint16_t>(bytes.data() + 4082), 1);        // Holidays has one child
    EXPECT_EQ(photorecord::Get<uint16_t>(bytes.data() + 2 * 4084 - 2 + 0), 0);

    CSearchNode loaded;
    loaded.isCatalogue = true;
    LoadCatalogTree(U16(dir.path()), loaded);
    ASSERT_EQ(loaded.children.size(), 2u);
    const CSearchNode& la = *loaded.children[0];
    EXPECT_EQ(la.text, u"Holidays");
    EXPECT_TRUE(la.isAlbum && la.isCatalogue);
    ASSERT_EQ(la.children.size(), 1u);
    EXPECT_EQ(la.children[0]->text, String16(31, u'n'));
    EXPECT_EQ(la.children[0]->parent, &la);
    EXPECT_EQ(String16(la.children[0]->condition.keywords), u"sea beach");
    EXPECT_EQ(loaded.children[1]->text, u"Second");
    EXPECT_EQ(FormatCatalogTree(loaded), bytes);

    // A longer name is cut to 29 characters and "..".
    a->text = String16(40, u'L');
    CSearchNode again;
    ParseCatalogTree(FormatCatalogTree(root), again);
    EXPECT_EQ(again.children[0]->text, String16(29, u'L') + u"..");
    // A root with children is not filled again.
    LoadCatalogTree(U16(dir.path()), again);
    EXPECT_EQ(again.children.size(), 2u);
    // A missing file leaves the root empty.
    CSearchNode none;
    LoadCatalogTree(U16(dir / "missing"), none);
    EXPECT_TRUE(none.children.empty());
}

TEST(CatalogTree, HostileFiles)
{
    CSearchNode root;
    CSearchNode* a = AddCatalogue(root, u"A");
    a->condition.slots[3] = Entry(kConditionEqual, 42);
    AddCatalogue(*a, u"A1");
    AddCatalogue(root, u"B");
    const std::vector<uint8_t> good = FormatCatalogTree(root);

    struct Case { const char* why; std::function<std::vector<uint8_t>()> make; std::vector<String16> topNames; };
    const Case cases[] = {
        { "truncated in the second top-level record",
          [&] { return std::vector<uint8_t>(good.begin(), good.end() - 10); }, { u"A" } },
        { "length 0 ends the read", [&] { auto b = good; b[2 * 4084] = b[2 * 4084 + 1] = 0; return b; }, { u"A" } },
        { "length below the name", [&] { auto b = good; photorecord::Put<uint16_t>(b.data(), 40); return b; }, {} },
        { "length above the reader's buffer", [&] { auto b = good; photorecord::Put<uint16_t>(b.data(), 5000); return b; }, {} },
        { "a child count beyond the file keeps what was read",
          [&] { auto b = good; photorecord::Put<uint16_t>(b.data() + 4082, 60000); return b; }, { u"A" } },
        { "a name without terminator", [&] {
              auto b = good;
              for (int i = 0; i < 32; ++i)
                  photorecord::Put<uint16_t>(b.data() + 2 + 2 * i, u'Z');
              return b;
          }, { String16(31, u'Z'), u"B" } },
        { "empty file", [] { return std::vector<uint8_t>{}; }, {} },
        { "one byte", [] { return std::vector<uint8_t>{ 7 }; }, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        CSearchNode r;
        ParseCatalogTree(c.make(), r);
        std::vector<String16> names;
        for (const auto& ch : r.children)
            names.push_back(ch->text);
        EXPECT_EQ(names, c.topNames);
    }

    // A record of length 3000 loads 2934 bytes of the condition, then zeros.
    std::vector<uint8_t> shortRec(2 + 3000, 0xAB);
    photorecord::Put<uint16_t>(shortRec.data(), 3000);
    photorecord::Put<uint16_t>(shortRec.data() + 2, 0); // empty name
    photorecord::Put<uint16_t>(shortRec.data() + 3000, 0); // no children
    CSearchNode r;
    ParseCatalogTree(shortRec, r);
    ASSERT_EQ(r.children.size(), 1u);
    uint8_t stored[kCatalogConditionBytes];
    r.children[0]->condition.Store(stored);
    EXPECT_EQ(stored[0], 0xAB);
    EXPECT_EQ(stored[2931], 0xAB);
    EXPECT_EQ(stored[2934], 0);
    EXPECT_EQ(stored[4015], 0);

    // A chain deeper than the reader allows stops at the depth limit.
    std::vector<uint8_t> chain;
    CSearchNode deepRoot;
    CSearchNode* at = &deepRoot;
    for (int i = 0; i < 200; ++i)
        at = AddCatalogue(*at, u"d");
    chain = FormatCatalogTree(deepRoot);
    CSearchNode deepLoaded;
    ParseCatalogTree(chain, deepLoaded);
    int depth = 0;
    for (const CSearchNode* n = &deepLoaded; !n->children.empty(); n = n->children[0].get())
        ++depth;
    EXPECT_EQ(depth, kCatalogMaxDepth);
}
