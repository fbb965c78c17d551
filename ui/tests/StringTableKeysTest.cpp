// Every key the program looks up has a text in the built resource.txt and in every language
// file: the keys are found by reading the sources (string-table lookups and the texts of the
// dialog templates), so a new lookup without a text fails here, not in front of a user.
#include "ui/StringTable.h"

#include "platform/FileSystem.h"
#include "platform/Path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::string kSource = ZENDRA_SOURCE_DIR;
const std::string kProgram = std::string(ZENDRA_BINARY_DIR) + "/zendra";

std::string ReadFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The first argument of every call `name(u"key"` in the text.
void CollectCalls(const std::string& text, const std::string& name, std::set<std::string>& keys)
{
    const std::string open = name + "(u\"";
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
        // Only whole names: "MyLookupText(" is not a lookup.
        if (at > 0 && (std::isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '_'))
            continue;
        size_t start = at + open.size();
        size_t end = text.find('"', start);
        if (end != std::string::npos)
            keys.insert(text.substr(start, end - start));
    }
}

// Keys of the code: lookups in every source folder of ours (tests excluded: they look up keys
// that must be missing).
std::set<std::string> KeysOfCode()
{
    std::set<std::string> keys;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kSource)) {
        const std::filesystem::path& p = entry.path();
        std::string rel = p.lexically_relative(kSource).string();
        if (rel.rfind("build", 0) == 0 || rel.rfind(".git", 0) == 0 || rel.find("/tests/") != std::string::npos ||
            rel.rfind("fuzz/", 0) == 0 || rel.rfind("tools/", 0) == 0)
            continue;
        if (!entry.is_regular_file() || (p.extension() != ".cpp" && p.extension() != ".h"))
            continue;
        std::string text = ReadFile(p);
        for (const char* call : {"LookupText", "FormatText", "LoadText", "TextOf", "UiText"})
            CollectCalls(text, call, keys);
    }
    return keys;
}

// Keys of the dialog templates: the caption and every control text that is not empty
// ("#C" and "#R" prefixes removed).
std::set<std::string> KeysOfTemplates()
{
    std::set<std::string> keys;
    std::filesystem::path folder = std::filesystem::path(kSource) / "resources" / "dialogs";
    if (!std::filesystem::exists(folder))
        return keys;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".dlg")
            continue;
        std::istringstream in(ReadFile(entry.path()));
        for (std::string line; std::getline(in, line);) {
            size_t open = line.find('"');
            if (open == std::string::npos || line.rfind(';', 0) == 0 || line.rfind("font", 0) == 0)
                continue;
            size_t close = line.find('"', open + 1);
            std::string text = line.substr(open + 1, close - open - 1);
            if (text.size() > 2 && text[0] == '#')
                text = text.substr(2);
            if (!text.empty())
                keys.insert(text);
        }
    }
    return keys;
}

bool LoadTable(const std::string& path, StringTable& table)
{
    return table.Parse(platform::Utf8ToUtf16(path).c_str()) == 1;
}

} // namespace

TEST(StringTableKeysTest, EveryKeyHasATextInEveryLanguage)
{
    StringTable english;
    ASSERT_TRUE(LoadTable(kProgram + "/basic/resource.txt", english)) << "build the zendra_resources target";

    // The keys the shell and the toolkit rely on, whether or not their code exists yet.
    std::set<std::string> keys = {
        "errinit", "errmem", "title", "homesite", "productpage", "feedbackpage", "twitter", "helppage", "Album",
        "btnHelp", "Go Album", "Unknown", "Cannotopenfile", "memlimit32", "unexpect", "hisopen", "closeProgram",
        "crashfound", "pluginLayer", "newversionfind", "restartTosee", "dlgSettings", "dlgAnimation", "dlgRAWfilm",
        "dlgSetDbClk", "dlgWizardSet", "dlgUpdateUINT", "dlgUpdateRange", "colorpicker", "sliderInputTip",
        "sliderInputValue", "sliderInputFormat", "propUpdateErr"};
    std::set<std::string> code = KeysOfCode();
    std::set<std::string> templates = KeysOfTemplates();
    EXPECT_FALSE(templates.empty());
    keys.insert(code.begin(), code.end());
    keys.insert(templates.begin(), templates.end());
    // "logpath" switches logging on by its presence: it must not be shipped.
    EXPECT_EQ(english.FindText(u"logpath"), nullptr);

    std::vector<std::string> tables = {kProgram + "/basic/resource.txt"};
    std::vector<platform::FileInfo> files;
    ASSERT_TRUE(platform::ListFolder(platform::Utf8ToUtf16(kProgram + "/basic/Localize"), u"*.txt", files));
    ASSERT_GE(files.size(), 1u) << "a second language is shipped";
    for (const platform::FileInfo& f : files)
        tables.push_back(kProgram + "/basic/Localize/" + platform::Utf16ToUtf8(f.name));

    for (const std::string& path : tables) {
        SCOPED_TRACE(path);
        StringTable table;
        ASSERT_TRUE(LoadTable(path, table));
        for (const std::string& key : keys)
            EXPECT_NE(table.FindText(platform::Utf8ToUtf16(key)), nullptr) << "no text for key \"" << key << "\"";
        // A complete language: every English key, nothing more.
        EXPECT_EQ(table.Count(), english.Count());
    }
}

TEST(StringTableKeysTest, TheKeyCollectorFindsCalls)
{
    std::set<std::string> keys;
    CollectCalls("a = table.LookupText(u\"one\"); MyLookupText(u\"no\"); LookupText(u\"two\")", "LookupText", keys);
    EXPECT_EQ(keys, (std::set<std::string>{"one", "two"}));
}

TEST(StringTableKeysTest, ShippedLanguageOverlaysTheEnglishTexts)
{
    StringTable table;
    ASSERT_TRUE(LoadTable(kProgram + "/basic/resource.txt", table));
    EXPECT_EQ(std::u16string(table.LookupText(u"dlgSettings")), u"Settings");
    ASSERT_EQ(LanguageList::ApplyFile(table, platform::Utf8ToUtf16(kProgram + "/basic/Localize/Deutsch.txt")), 1);
    EXPECT_EQ(std::u16string(table.LookupText(u"dlgSettings")), u"Einstellungen");
    EXPECT_EQ(std::u16string(table.LookupText(u"Cancel")), u"Abbrechen");
    // Formats keep working after the overlay.
    EXPECT_EQ(table.FormatText(u"LayerCount", 3), u"Ebene 3");
    EXPECT_EQ(table.FormatText(u"dlgUpdateRange", 1, 100), u"Bitte geben Sie eine Zahl von 1 bis 100 ein.");
    // Every text of a language differs from its key or is a name, number or address.
    size_t translated = 0;
    for (size_t i = 0; i < table.Count(); ++i)
        translated += table.Entry(i).text != table.Entry(i).key;
    EXPECT_GT(translated, table.Count() * 3 / 4);
}
