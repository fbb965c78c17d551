#include "batch/AutomationScheme.h"

#include "algorithms/SchemeSteps.h"
#include "imaging/ColourTables.h"
#include "platform/tests/ImageFileTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace testutil;

namespace {

std::vector<uint8_t> Record(uint32_t l, uint16_t id, uint32_t p, std::vector<uint8_t> params)
{
    std::vector<uint8_t> r;
    for (int i = 0; i < 4; ++i)
        r.push_back(uint8_t(l >> (8 * i)));
    r.push_back(uint8_t(id));
    r.push_back(uint8_t(id >> 8));
    for (int i = 0; i < 4; ++i)
        r.push_back(uint8_t(p >> (8 * i)));
    r.insert(r.end(), params.begin(), params.end());
    return r;
}

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

SchemeStep Step(uint16_t id, const SchemeStepRecord& record)
{
    SchemeStep s;
    s.id = id;
    EXPECT_TRUE(WriteSchemeStep(id, record, s.params)) << id;
    return s;
}

SchemeStep Bare(uint16_t id)
{
    SchemeStep s;
    s.id = id;
    return s;
}

SchemeStep Brightness(int b)
{
    BrightnessContrastParams p;
    p.brightness = b;
    return Step(18, p);
}

SchemeStep Nested(const std::string& path)
{
    return Step(36, NestedSchemeStep{platform::Utf8ToUtf16(path)});
}

void Fill(ImageBuffer16& image, int w, int h)
{
    ASSERT_TRUE(AllocImage16(image, w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint16_t* p = image.data + (size_t(y) * w + x) * 4;
            p[0] = uint16_t(1000 + 97 * x);
            p[1] = uint16_t(3000 + 89 * y);
            p[2] = uint16_t(20000 + 7 * x * y);
            p[3] = 0xFFFF;
        }
}

int RunScheme(CAutomationScheme& a, SchemeData& scheme, ImageBuffer16& in, ImageBuffer16& out)
{
    a.SetSource(&in);
    a.SetDestination(&out);
    a.SetParams(&scheme);
    return a.Run();
}

struct Images {
    ImageBuffer16 in{}, out{}, expected{}, scratch{};
    ~Images()
    {
        FreeImageBuffer(in);
        FreeImageBuffer(out);
        FreeImageBuffer(expected);
        FreeImageBuffer(scratch);
    }
};

} // namespace

TEST(SchemeFile, RecordsAreReadUpToTheFirstDamage)
{
    const std::vector<uint8_t> ok = Record(8, 18, 2, {1, 2});
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        std::vector<uint16_t> ids;
        std::vector<size_t> lengths;
    } cases[] = {
        {"empty", {}, {}, {}},
        {"one good record", ok, {18}, {2}},
        {"L above 64 KB", Cat({Record(65537, 18, 2, {1, 2}), ok}), {}, {}},
        {"L of exactly 64 KB is read", Record(65536, 27, 65530, std::vector<uint8_t>(65530, 7)), {27}, {65530}},
        {"truncated second record", Cat({ok, Record(20, 18, 14, {1, 2, 3})}), {18}, {2}},
        {"P past L", Cat({ok, Record(8, 18, 3, {1, 2}), ok}), {18}, {2}},
        {"L below 6", Cat({ok, Record(4, 18, 0, {}), ok}), {18}, {2}},
        {"bytes after P are skipped", Cat({Record(12, 18, 2, {1, 2, 9, 9, 9, 9}), ok}), {18, 18}, {2, 2}},
        {"a part of a size field", Cat({ok, {5, 0}}), {18}, {2}},
        {"P 0", Record(6, 2, 0, {}), {2}, {0}},
    };
    for (const Case& c : cases) {
        std::vector<SchemeStep> steps;
        EXPECT_EQ(ParseSchemeRecords(c.file, steps), c.ids.size()) << c.what;
        ASSERT_EQ(steps.size(), c.ids.size()) << c.what;
        for (size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].id, c.ids[i]) << c.what;
            EXPECT_EQ(steps[i].params.size(), c.lengths[i]) << c.what;
        }
    }
}

TEST(SchemeFile, WrittenSchemesLoadBackAndAMissingFileLeavesTheScheme)
{
    TempFolder folder;
    SchemeData scheme;
    scheme.steps = {Brightness(20), Bare(2), Step(27, BlurStep{1.5})};
    SchemeStep big;
    big.id = 29;
    big.params.assign(2000, 3); // held apart from the small ones, written the same
    scheme.steps.push_back(big);
    const std::string path = folder / "Warm and turn.zdscm";
    ASSERT_TRUE(SaveSchemeFile(scheme, platform::Utf8ToUtf16(path)));
    const std::vector<uint8_t> bytes = ReadAll(path);
    // Each record: L = P + 6, id, P, block.
    ASSERT_GE(bytes.size(), 10u);
    EXPECT_EQ(bytes[0] | bytes[1] << 8, 12 + 6);
    EXPECT_EQ(bytes[4], 18);
    EXPECT_EQ(bytes[6], 12);

    SchemeData back;
    back.steps.push_back(Bare(3)); // loading appends
    ASSERT_EQ(LoadScheme(back, platform::Utf8ToUtf16(path)), 1);
    ASSERT_EQ(back.steps.size(), 5u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(back.steps[i + 1].id, scheme.steps[i].id);
        EXPECT_EQ(back.steps[i + 1].params, scheme.steps[i].params);
    }
    EXPECT_EQ(back.name, u"Warm and turn");
    EXPECT_EQ(back.folder, 0);

    SchemeData untouched;
    untouched.name = u"kept";
    EXPECT_EQ(LoadScheme(untouched, platform::Utf8ToUtf16(folder / "none.zdscm")), 0);
    EXPECT_EQ(untouched.name, u"kept");
    // A folder that does not exist: no file, and false.
    EXPECT_FALSE(SaveSchemeFile(scheme, platform::Utf8ToUtf16(folder / "no/x.zdscm")));
}

TEST(SchemeFile, StepWeights)
{
    const std::pair<int, std::vector<int>> table[] = {
        {2, {2, 3, 4, 5}},       {5, {13, 14, 18, 22, 23}},         {8, {1, 19}},
        {15, {8, 10, 12, 15, 20, 21, 31}},                          {25, {24, 34}},
        {35, {25, 26, 27}},      {40, {28, 30, 35}},                {80, {29}},
        {120, {32}},             {0, {0, 6, 7, 9, 11, 16, 17, 33, 36, 37, 38, 39, 40, 65535}},
    };
    for (const auto& [weight, ids] : table)
        for (int id : ids)
            EXPECT_EQ(StepWeight(uint16_t(id)), weight) << id;
}

TEST(SchemeRun, StrengthBlendsOnlyAPictureOfTheSameSize)
{
    BuildGammaTables();
    Images m;
    Fill(m.in, 60, 40);
    // Brightness alone, at 100 and at 50.
    SchemeData scheme;
    scheme.steps = {Brightness(40)};
    ASSERT_TRUE(ReplaySchemeStep(18, scheme.steps[0].params.data(), scheme.steps[0].params.size(), m.in, m.expected));
    CAutomationScheme full;
    ASSERT_EQ(RunScheme(full, scheme, m.in, m.out), 1);
    ASSERT_EQ(std::memcmp(m.out.data, m.expected.data, m.expected.byteSize), 0) << "100 %: the last step's output";
    CAutomationScheme half;
    half.m_strength = 50;
    ASSERT_EQ(RunScheme(half, scheme, m.in, m.out), 1);
    for (uint32_t i = 0; i < m.in.pixelCount; i += 97)
        for (int c = 0; c < 4; ++c) {
            const int s = m.in.data[i * 4 + c], r = m.expected.data[i * 4 + c];
            EXPECT_EQ(m.out.data[i * 4 + c], c == 3 ? r : (s * 50 + r * 50) / 100) << i << " " << c;
        }
    // A quarter turn of a picture that is not square: no blend.
    scheme.steps = {Bare(2)};
    CAutomationScheme turn;
    turn.m_strength = 50;
    ASSERT_EQ(RunScheme(turn, scheme, m.in, m.out), 1);
    ASSERT_EQ(m.out.width, 40);
    ASSERT_EQ(m.out.height, 60);
    ASSERT_TRUE(ReplaySchemeStep(2, nullptr, 0, m.in, m.expected));
    EXPECT_EQ(std::memcmp(m.out.data, m.expected.data, m.expected.byteSize), 0);
    // No steps, or a folder entry: the copy.
    SchemeData empty;
    CAutomationScheme none;
    ASSERT_EQ(RunScheme(none, empty, m.in, m.out), 1);
    EXPECT_EQ(std::memcmp(m.out.data, m.in.data, m.in.byteSize), 0);
}

TEST(SchemeRun, AFailingStepKeepsTheStepsBeforeIt)
{
    BuildGammaTables();
    Images m;
    Fill(m.in, 30, 20);
    struct Case {
        const char* what;
        std::vector<SchemeStep> steps;
    } cases[] = {
        {"id without a replay", {Bare(2), Bare(6), Bare(4)}},
        {"short brightness block", {Bare(2), {18, {12, 0, 0}}, Bare(4)}},
        {"image size of type 0", {Bare(2), Step(12, ImageSizeParams{40, 0, 10, 10, 1}), Bare(4)}},
        {"unknown id", {Bare(2), Bare(4000), Bare(4)}},
    };
    for (Case& c : cases) {
        SchemeData scheme;
        scheme.steps = c.steps;
        CAutomationScheme a;
        EXPECT_EQ(RunScheme(a, scheme, m.in, m.out), 0) << c.what;
        // The first quarter turn stands, nothing after the failure ran.
        EXPECT_EQ(m.out.width, 20) << c.what;
        EXPECT_EQ(m.out.height, 30) << c.what;
    }
}

TEST(SchemeRun, ImageSizeTypes)
{
    struct Case {
        int type, width, height, inW, inH, outW, outH;
    } cases[] = {
        {1, 800, 0, 4000, 3000, 800, 600},   {1, 800, 0, 3000, 4000, 800, 1066},
        {2, 0, 600, 4000, 3000, 800, 600},   {3, 800, 533, 3000, 4000, 600, 800},
        {3, 1600, 1200, 4000, 3000, 1600, 1200},
        {4, 800, 600, 4000, 3000, 800, 600}, {4, 800, 600, 1000, 1000, 693, 693},
        {5, 123, 45, 4000, 3000, 123, 45},   {4, 1, 1, 3000, 10, 17, 1},
    };
    for (const Case& c : cases) {
        ImageSizeParams p;
        p.width = c.width;
        p.height = c.height;
        p.applyMode = c.type;
        int w = 0, h = 0;
        ASSERT_TRUE(ImageSizeReplayTarget(p, c.inW, c.inH, w, h)) << c.type;
        EXPECT_EQ(w, c.outW) << c.type << " " << c.inW << "x" << c.inH;
        EXPECT_EQ(h, c.outH) << c.type << " " << c.inW << "x" << c.inH;
    }
    // Through a run, and copied instead when the scheme skips image size.
    BuildGammaTables();
    Images m;
    Fill(m.in, 300, 400);
    ImageSizeParams p;
    p.width = 80;
    p.height = 1; // not read for type 1
    p.method = 1;
    p.applyMode = 1;
    SchemeData scheme;
    scheme.steps = {Step(12, p)};
    CAutomationScheme a;
    ASSERT_EQ(RunScheme(a, scheme, m.in, m.out), 1);
    EXPECT_EQ(m.out.width, 80);
    EXPECT_EQ(m.out.height, 106);
    CAutomationScheme thumb;
    thumb.m_skipImageSize = 1;
    ASSERT_EQ(RunScheme(thumb, scheme, m.in, m.out), 1);
    EXPECT_EQ(m.out.width, 300);
}

TEST(SchemeRun, NestedSchemesStopAtDepthEightAndAtAFileOpenTwice)
{
    BuildGammaTables();
    TempFolder folder;
    Images m;
    Fill(m.in, 24, 16);
    auto write = [&](const std::string& name, std::vector<SchemeStep> steps) {
        SchemeData s;
        s.steps = std::move(steps);
        EXPECT_TRUE(SaveSchemeFile(s, platform::Utf8ToUtf16(folder / name)));
        return folder / name;
    };
    auto run = [&](const std::string& path) {
        SchemeData top;
        EXPECT_EQ(LoadScheme(top, platform::Utf8ToUtf16(path)), 1);
        CAutomationScheme a;
        return RunScheme(a, top, m.in, m.out);
    };
    // A chain of files, each turning once and running the next: level k opens level k + 1.
    auto chain = [&](int levels) {
        std::string next = write("leaf.zdscm", {Bare(2)});
        for (int k = levels; k >= 1; --k)
            next = write("c" + std::to_string(k) + ".zdscm", {Bare(2), Nested(next)});
        return next;
    };
    // c1 is the run's own file; c2..c8 and the leaf are eight levels of nesting below it.
    EXPECT_EQ(run(chain(8)), 1);
    EXPECT_EQ(m.out.width, 16) << "nine quarter turns";
    EXPECT_EQ(run(chain(9)), 0) << "nine levels";

    const std::string self = (folder / "self.zdscm");
    write("self.zdscm", {Bare(2), Nested(self)});
    EXPECT_EQ(run(self), 0);
    EXPECT_EQ(m.out.width, 16) << "the turn before the step stands";
    // Through another file and another spelling of the same path.
    const std::string a = folder / "a.zdscm", b = folder / "b.zdscm";
    write("a.zdscm", {Nested(b)});
    write("b.zdscm", {Nested(folder.path() + "/./a.zdscm")});
    EXPECT_EQ(run(a), 0);
    // The same file twice one after the other is no loop.
    const std::string leaf = write("turn.zdscm", {Bare(2)});
    const std::string twice = write("twice.zdscm", {Nested(leaf), Nested(leaf)});
    EXPECT_EQ(run(twice), 1);
    EXPECT_EQ(m.out.width, 24);
    EXPECT_EQ(run(write("gone.zdscm", {Nested(folder / "missing.zdscm")})), 0);
}
