// zd_stringtab <source.txt> <output.txt> [<english source.txt>]: writes a string-table file
// from its UTF-8 source; with the English source given, the output is a language file and must
// carry exactly the English keys and placeholders.
#include "tools/StringSource.h"

#include "platform/File.h"

#include <cstdio>

namespace {

bool ReadSource(const char* path, std::string& out)
{
    std::vector<uint8_t> bytes;
    if (!platform::ReadWholeFile(platform::Utf8ToUtf16(path), bytes))
        return false;
    out.assign(bytes.begin(), bytes.end());
    return true;
}

int Fail(const char* path, const std::string& why)
{
    std::fprintf(stderr, "%s: %s\n", path, why.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: zd_stringtab <source.txt> <output.txt> [<english source.txt>]\n");
        return 2;
    }
    std::string source, error;
    std::vector<uint8_t> compiled;
    if (!ReadSource(argv[1], source))
        return Fail(argv[1], "cannot read");
    if (!tools::CompileStringSource(source, compiled, error))
        return Fail(argv[1], error);
    if (argc == 4) {
        std::string englishSource;
        std::vector<uint8_t> englishCompiled;
        if (!ReadSource(argv[3], englishSource) || !tools::CompileStringSource(englishSource, englishCompiled, error))
            return Fail(argv[3], "cannot read or compile: " + error);
        StringTable english, language;
        english.ParseBytes(englishCompiled);
        language.ParseBytes(compiled);
        if (!tools::CompareLanguage(english, language, error))
            return Fail(argv[1], "\n" + error);
    }
    if (!platform::WriteWholeFileAtomic(platform::Utf8ToUtf16(argv[2]), compiled))
        return Fail(argv[2], "cannot write");
    return 0;
}
