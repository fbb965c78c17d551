// String table: file parsing, lookups, the language overlay and choice, and the log.
#include "ui/StringTable.h"

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/Settings.h"
#include "platform/tests/TestFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using platform::test::TestFolder;

namespace {

// UTF-16LE bytes of a UTF-8 text, with a byte-order mark unless told otherwise.
std::vector<uint8_t> Utf16Le(std::string_view utf8, bool bom = true)
{
    String16 t = platform::Utf8ToUtf16(utf8);
    std::vector<uint8_t> out;
    if (bom) {
        out.push_back(0xFF);
        out.push_back(0xFE);
    }
    for (char16_t c : t) {
        out.push_back(uint8_t(c & 0xFF));
        out.push_back(uint8_t(c >> 8));
    }
    return out;
}

std::vector<String16> g_messages;
void CollectMessage(StringView16 text) { g_messages.emplace_back(text); }

struct MessageCapture {
    MessageCapture()
    {
        g_messages.clear();
        SetResourceMessageSink(CollectMessage);
    }
    ~MessageCapture() { SetResourceMessageSink(nullptr); }
};

// "<at least eight digits> <message>"
bool IsLogLine(std::string_view line, std::string_view message)
{
    size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
        ++digits;
    return digits >= 8 && line.substr(digits) == std::string(" ") + std::string(message);
}

std::vector<std::string> SplitCrLf(const std::string& text, bool& wholeLines)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    wholeLines = start == text.size();
    return lines;
}

std::string Utf8(const char16_t* t) { return t ? platform::Utf16ToUtf8(t) : std::string("<null>"); }

void WriteBytes(const String16& path, const std::vector<uint8_t>& bytes)
{
    ASSERT_TRUE(platform::WriteWholeFileAtomic(path, bytes));
}

} // namespace

struct ParseCase {
    const char* name;
    std::string body;            // the lines after "[StringTab]\r\n"
    int result;
    std::vector<std::pair<std::string, std::string>> expected; // key -> text; "<null>" = missing
    const char* message;         // parse message, or null for none
};

TEST(StringTableTest, ParseTable)
{
    const std::string longValue(1500 - 8, 'v');
    const std::vector<ParseCase> cases = {
        {"simple", "\"a1\"=\"x\"\r\n\"bb\"=\"yy\"\r\n", 1, {{"a1", "x"}, {"bb", "yy"}}, nullptr},
        {"case sensitive keys", "\"Title\"=\"T\"\r\n\"title\"=\"t\"\r\n", 1, {{"Title", "T"}, {"title", "t"}}, nullptr},
        {"inner quotes kept", "\"q1\"=\"say \"hi\"\"\r\n", 1, {{"q1", "say \"hi\""}}, nullptr},
        {"seven characters ignored", "\"a\"=\"b\"\r\n\"cc\"=\"d\"\r\n", 1, {{"a", "<null>"}, {"cc", "d"}}, nullptr},
        {"comments and blanks", "; comment line\r\n\r\n\r\n\"k1\"=\"v\"\r\n   \"k2\"=\"w\"\r\n", 1,
         {{"k1", "v"}, {"k2", "<null>"}}, nullptr},
        {"empty value stops, earlier stay", "\"k1\"=\"v\"\r\n\"key\"=\"\"\r\n\"k3\"=\"w\"\r\n", 0,
         {{"k1", "v"}, {"key", "<null>"}, {"k3", "<null>"}}, "Error in parse string resource:'\"key\"=\"\"'"},
        {"missing separator", "\"k1\"=\"v\"\r\n\"key\" = \"v\"\r\n", 0, {{"k1", "v"}},
         "Error in parse string resource:'\"key\" = \"v\"'"},
        {"key stops at equals sign", "\"ke=y\"=\"value\"\r\n", 0, {}, "Error in parse string resource:'\"ke=y\"=\"value\"'"},
        {"unclosed value", "\"key\"=\"value\r\n", 0, {}, "Error in parse string resource:'\"key\"=\"value'"},
        {"bare LF and CR line ends", "\"k1\"=\"v1\"\n\"k2\"=\"v2\"\r\"k3\"=\"v3\"", 1,
         {{"k1", "v1"}, {"k2", "v2"}, {"k3", "v3"}}, nullptr},
        {"escapes kept as written", "\"esc\"=\"a\\nb\"\r\n", 1, {{"esc", "a\\nb"}}, nullptr},
        {"non-ASCII text", "\"umlaut\"=\"Größe ✓\"\r\n", 1, {{"umlaut", "Größe ✓"}}, nullptr},
        {"line of 1500 split after 1023", "\"long\"=\"" + longValue + "\"\r\n\"k2\"=\"v\"\r\n", 0, {},
         nullptr /* the 1023-unit head has no closing quote: malformed */},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        MessageCapture capture;
        StringTable table;
        EXPECT_EQ(table.ParseBytes(Utf16Le("[StringTab]\r\n" + c.body)), c.result);
        for (const auto& [key, text] : c.expected) {
            String16 k = platform::Utf8ToUtf16(key);
            EXPECT_EQ(Utf8(table.FindText(k)), text) << key;
        }
        if (c.message) {
            ASSERT_EQ(g_messages.size(), 1u);
            EXPECT_EQ(platform::Utf16ToUtf8(g_messages[0]), c.message);
        } else if (c.result == 1) {
            EXPECT_TRUE(g_messages.empty());
        }
    }
}

TEST(StringTableTest, LongLineIsCutIntoTwoLines)
{
    // A 1500-unit line: the head (1023 units) is a whole entry when its last quote is inside it;
    // the tail does not start with a quote and is ignored.
    std::string head = "\"long\"=\"" + std::string(1023 - 9, 'v') + "\"";
    ASSERT_EQ(head.size(), 1023u);
    std::string line = head + std::string(1500 - 1023, 'w');
    MessageCapture capture;
    StringTable table;
    ASSERT_EQ(table.ParseBytes(Utf16Le("[StringTab]\r\n" + line + "\r\n\"k2\"=\"vv\"\r\n")), 1);
    EXPECT_EQ(Utf8(table.FindText(u"long")), std::string(1023 - 9, 'v'));
    EXPECT_EQ(Utf8(table.FindText(u"k2")), "vv");
    EXPECT_TRUE(g_messages.empty());
}

TEST(StringTableTest, HeaderForms)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int result;
        const char* firstText; // text of key "k1"
    };
    std::vector<uint8_t> odd = Utf16Le("[StringTab]\r\n\"k1\"=\"v1\"\r\n");
    odd.push_back(0x41); // a stray last byte
    const std::vector<Case> cases = {
        {"bom and crlf", Utf16Le("[StringTab]\r\n\"k1\"=\"v1\"\r\n"), 1, "v1"},
        {"no bom", Utf16Le("[StringTab]\r\n\"k1\"=\"v1\"\r\n", false), 1, "v1"},
        {"lf only keeps first character", Utf16Le("[StringTab]\n\"k1\"=\"v1\"\n"), 1, "v1"},
        {"text before marker ignored", Utf16Le("junk \"k1\"=\"no\"\r\n[StringTab]\r\n\"k1\"=\"v1\""), 1, "v1"},
        {"no marker", Utf16Le("\"k1\"=\"v1\"\r\n"), 0, "<null>"},
        {"empty", {}, 0, "<null>"},
        {"odd byte count", odd, 1, "v1"},
        {"marker at the very end", Utf16Le("[StringTab]"), 1, "<null>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageCapture capture;
        StringTable table;
        EXPECT_EQ(table.ParseBytes(c.bytes), c.result);
        EXPECT_EQ(Utf8(table.FindText(u"k1")), c.firstText);
    }
}

TEST(StringTableTest, LookupsAndAdd)
{
    StringTable table;
    EXPECT_EQ(Utf8(table.LookupText(u"errinit")), "Error init string");
    EXPECT_EQ(Utf8(table.LookupText(u"nope")), "nope"); // a missing key shows as itself
    EXPECT_EQ(table.FindText(u"nope"), nullptr);

    // Added out of order, then sorted: every key found by the binary search.
    const char16_t* keys[] = {u"m", u"b", u"z", u"a", u"Z", u"zz", u"é", u"", u"mm"};
    for (const char16_t* k : keys)
        table.Add(k, String16(u"text-") + k);
    table.Sort();
    for (size_t i = 1; i < table.Count(); ++i)
        EXPECT_LT(table.Entry(i - 1).key, table.Entry(i).key);
    for (const char16_t* k : keys) {
        EXPECT_EQ(String16(table.LookupText(k)), String16(u"text-") + k);
    }
    // Upper case sorts before lower case by code unit.
    EXPECT_EQ(table.Entry(1).key, u"Z");

    // Add replaces, sorted or not, and never makes a second entry.
    size_t count = table.Count();
    table.Add(u"b", u"new b");
    table.Add(u"q", u"q");
    table.Add(u"a", u"new a");
    EXPECT_EQ(table.Count(), count + 1);
    table.Sort();
    EXPECT_EQ(String16(table.LookupText(u"b")), u"new b");
    EXPECT_EQ(String16(table.LookupText(u"a")), u"new a");

    // The used mark.
    size_t unused = 0;
    for (size_t i = 0; i < table.Count(); ++i)
        if (table.Entry(i).key == u"q") {
            EXPECT_EQ(table.Entry(i).used.load(), 0);
            unused = i;
        }
    table.LookupText(u"q");
    EXPECT_EQ(table.Entry(unused).used.load(), 1);

    table.Add(u"errinit", u"Can not init application.");
    table.Sort();
    EXPECT_EQ(Utf8(table.LookupText(u"errinit")), "Can not init application.");
    table.Clear();
    EXPECT_EQ(table.Count(), 0u);
}

TEST(StringTableTest, LocalisedFormatsAreChecked)
{
    StringTable table;
    table.Add(u"newversionfind", u"Version %.1f is out: %s");
    table.Add(u"bad", u"Version %s is out: %d");
    table.Add(u"evil", u"%n%s");
    table.Sort();
    EXPECT_EQ(table.FormatText(u"newversionfind", 9.5, u"see the site"), u"Version 9.5 is out: see the site");
    // A translation whose placeholders do not fit gives the key, never a crash.
    EXPECT_EQ(table.FormatText(u"bad", 9.5, u"x"), u"bad");
    EXPECT_EQ(table.FormatText(u"evil", u"x"), u"evil");
    EXPECT_EQ(table.FormatText(u"missing %s", u"x"), u"missing x");
}

TEST(StringTableTest, ParseFromFileAndBaseText)
{
    TestFolder dir;
    String16 path = dir.Path(u"resource.txt");
    WriteBytes(path, Utf16Le("[StringTab]\r\n\"k1\"=\"from file\"\r\n"));
    StringTable table;
    EXPECT_EQ(table.Parse(path.c_str()), 1);
    EXPECT_EQ(Utf8(table.FindText(u"k1")), "from file");
    EXPECT_EQ(table.Parse(dir.Path(u"missing.txt").c_str()), 0);

    StringTable base;
    base.SetBaseText(Utf16Le("[StringTab]\r\n\"k2\"=\"base\"\r\n"));
    EXPECT_EQ(base.Parse(nullptr), 1);
    EXPECT_EQ(Utf8(base.FindText(u"k2")), "base");
}

TEST(StringTableTest, LanguageOverlay)
{
    TestFolder dir;
    String16 localize = dir.Path(u"basic/Localize");
    ASSERT_TRUE(platform::CreateFolders(localize));
    WriteBytes(platform::JoinPath(localize, u"Deutsch.txt"), Utf16Le("[StringTab]\r\n\"b1\"=\"zwanzig\"\r\n\"c1\"=\"dreissig\"\r\n"));
    WriteBytes(platform::JoinPath(localize, u"broken.TXT"), Utf16Le("[StringTab]\r\n\"b1\"=\"kaputt\"\r\n\"xx1\"=\"\"\r\n"));
    WriteBytes(platform::JoinPath(localize, u"x.txt"), Utf16Le("[StringTab]\r\n"));
    WriteBytes(platform::JoinPath(localize, u"a.tx"), Utf16Le("[StringTab]\r\n"));
    WriteBytes(platform::JoinPath(localize, u".txt"), Utf16Le("[StringTab]\r\n"));
    WriteBytes(platform::JoinPath(localize, u"notes.md"), Utf16Le("[StringTab]\r\n"));
    ASSERT_TRUE(platform::CreateFolder(platform::JoinPath(localize, u"abc.txt")));

    LanguageList list;
    list.Scan(platform::WithTrailingSeparator(dir.Path()));
    std::vector<String16> names;
    for (const LanguageEntry& e : list.Entries())
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<String16>{u"Deutsch", u"broken", u"x"}));

    auto makeBase = [](StringTable& t) {
        t.Add(u"a1", u"one");
        t.Add(u"b1", u"two");
        t.Sort();
    };
    platform::SettingsStore user(dir.Path(u"user.ini"), false);
    platform::SettingsStore machine(dir.Path(u"machine.ini"), true);

    struct Case {
        const char* saved; // null = nothing saved
        int result;
        const char* a1;
        const char* b1;
        const char* selectedAfter;
        size_t messages;
    };
    const Case cases[] = {
        {nullptr, 0, "one", "two", "", 0},
        {"deutsch", 1, "one", "zwanzig", "deutsch", 0},
        {"BROKEN", 0, "one", "two", "BROKEN", 1},
        {"Klingon", 0, "one", "two", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.saved ? c.saved : "none");
        MessageCapture capture;
        if (c.saved) {
            ASSERT_TRUE(user.WriteString(LanguageList::kProgramKey, LanguageList::kValueName, platform::Utf8ToUtf16(c.saved)));
        }
        StringTable table;
        makeBase(table);
        EXPECT_EQ(list.ApplySaved(table, platform::WithTrailingSeparator(dir.Path()), user, machine), c.result);
        EXPECT_EQ(Utf8(table.LookupText(u"a1")), c.a1);
        EXPECT_EQ(Utf8(table.LookupText(u"b1")), c.b1);
        EXPECT_EQ(table.FindText(u"c1"), nullptr); // only the language file has it
        EXPECT_EQ(platform::Utf16ToUtf8(list.Selected()), c.selectedAfter);
        EXPECT_EQ(g_messages.size(), c.messages);
    }
}

TEST(StringTableTest, SelectStoresTheChoice)
{
    TestFolder dir;
    platform::SettingsStore user(dir.Path(u"user.ini"), false);
    platform::SettingsStore readOnly(dir.Path(u"ro.ini"), true);
    StringTable table;
    table.Add(u"restartTosee", u"Restart to see it.");
    table.Add(u"unexpect", u"Unexpected error.");
    table.Sort();

    MessageCapture capture;
    const String16 longName(200, u'L'); // longer than 127 still reads back whole
    LanguageList list;
    list.Select(longName, table, user);
    String16 stored;
    ASSERT_TRUE(user.ReadString(LanguageList::kProgramKey, LanguageList::kValueName, stored));
    EXPECT_EQ(stored, longName);
    list.Select(u"", table, user);
    list.Select(u"Deutsch", table, readOnly);
    ASSERT_EQ(g_messages.size(), 3u);
    EXPECT_EQ(g_messages[0], u"Restart to see it.");
    EXPECT_EQ(g_messages[1], u"Restart to see it.");
    EXPECT_EQ(g_messages[2], u"Unexpected error.");
}

TEST(StringTableTest, LogLines)
{
    TestFolder dir;
    String16 path = dir.Path(u"zendra.log");
    ASSERT_TRUE(platform::test::WriteText(path, "old run\r\n"));
    AppLog log;
    log.Write("dropped: logging is off");
    EXPECT_FALSE(log.IsOn());
    log.Start(path);
    EXPECT_FALSE(platform::PathExists(path)); // each run starts a new log
    log.Write("Image resource loaded.");
    log.Write("Resource loaded.");
    bool whole = false;
    std::vector<std::string> lines = SplitCrLf(platform::test::ReadText(path), whole);
    EXPECT_TRUE(whole);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(IsLogLine(lines[0], "Image resource loaded.")) << lines[0];
    EXPECT_TRUE(IsLogLine(lines[1], "Resource loaded.")) << lines[1];

    // Lines written from several threads at once never mix.
    log.Start(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&log, t] {
            std::string msg = "thread " + std::to_string(t) + " " + std::string(200, char('a' + t));
            for (int i = 0; i < 50; ++i)
                log.Write(msg.c_str());
        });
    for (auto& th : threads)
        th.join();
    lines = SplitCrLf(platform::test::ReadText(path), whole);
    EXPECT_TRUE(whole);
    EXPECT_EQ(lines.size(), 200u);
    int perThread[4] = {};
    for (const std::string& l : lines) {
        bool known = false;
        for (int t = 0; t < 4; ++t)
            if (IsLogLine(l, "thread " + std::to_string(t) + " " + std::string(200, char('a' + t)))) {
                ++perThread[t];
                known = true;
            }
        EXPECT_TRUE(known) << l;
    }
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(perThread[t], 50);

    log.Start(u"");
    EXPECT_FALSE(log.IsOn());
}

TEST(StringTableTest, OwnedString)
{
    std::unique_ptr<char16_t[]> s;
    SetOwnedString(s, u"first");
    EXPECT_EQ(String16(s.get()), u"first");
    SetOwnedString(s, u"");
    EXPECT_EQ(String16(s.get()), u"");
    SetOwnedString(s, nullptr);
    EXPECT_EQ(s.get(), nullptr);
}

TEST(StringTableTest, BulkLoadKeepsOneEntryPerKey)
{
    // Out of order, with repeats: sorted once, the later line of a key wins.
    MessageCapture capture;
    StringTable table;
    ASSERT_EQ(table.ParseBytes(Utf16Le("[StringTab]\r\n\"kz\"=\"z\"\r\n\"kb\"=\"one\"\r\n\"ka\"=\"a\"\r\n"
                                       "\"kb\"=\"two\"\r\n\"kb\"=\"three\"\r\n")),
              1);
    ASSERT_EQ(table.Count(), 3u);
    EXPECT_EQ(table.Entry(0).key, u"ka");
    EXPECT_EQ(table.Entry(1).key, u"kb");
    EXPECT_EQ(table.Entry(2).key, u"kz");
    EXPECT_EQ(Utf8(table.FindText(u"kb")), "three");
    // A second file parsed into the same table replaces texts of keys it shares.
    ASSERT_EQ(table.ParseBytes(Utf16Le("[StringTab]\r\n\"kb\"=\"four\"\r\n\"kc\"=\"c\"\r\n")), 1);
    EXPECT_EQ(table.Count(), 4u);
    EXPECT_EQ(Utf8(table.FindText(u"kb")), "four");
}
