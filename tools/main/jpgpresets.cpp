// zd_jpgpresets <output>: the JPEG presets the program folder ships ("jpgsave.set"), read until
// the user saves a list of their own. Records as the JPEG options dialog stores them: a UTF-16
// name of 32 characters, then the options with every run-only field zero.
#include "algorithms/JpegOptimize.h"
#include "platform/File.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Preset {
    const char16_t* name;
    int quality;
    uint8_t chroma; // 0 subsampled, 1 full, 2 automatic
    uint8_t exif;   // 0 none, 1 the edited fields, 2 all
    uint8_t sizeMode;
    int sizeValue;
    uint8_t policy; // 2: lower the quality until the file fits
    int targetKB;
};

constexpr Preset kPresets[] = {
    {u"Web 200 KB", 90, 2, 1, 0, 0, 2, 200},
    {u"E-mail 1600 px", 85, 0, 1, 3, 1600, 0, 0},
    {u"Small 100 KB", 85, 2, 0, 3, 1024, 2, 100},
    {u"Best quality", 95, 1, 2, 0, 0, 0, 0},
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zd_jpgpresets <output>\n");
        return 2;
    }
    constexpr size_t kRecord = 64 + sizeof(JpegSaveOptions);
    std::vector<uint8_t> file{uint8_t(kRecord & 0xFF), uint8_t(kRecord >> 8)};
    for (const Preset& p : kPresets) {
        std::vector<uint8_t> record(kRecord, 0);
        const std::u16string name = p.name;
        for (size_t i = 0; i < name.size() && i < 31; ++i) {
            record[2 * i] = uint8_t(name[i]);
            record[2 * i + 1] = uint8_t(name[i] >> 8);
        }
        JpegSaveOptions o{};
        o.version = 2;
        o.quality = p.quality;
        o.chroma = p.chroma;
        o.reserved9 = p.exif;
        o.limitMode = p.sizeMode;
        o.limitValue = p.sizeValue;
        o.targetPolicy = p.policy;
        o.targetKB = p.targetKB;
        std::memcpy(record.data() + 64, &o, sizeof o);
        file.insert(file.end(), record.begin(), record.end());
    }
    if (!platform::WriteWholeFileAtomic(platform::Utf8ToUtf16(argv[1]), file)) {
        std::fprintf(stderr, "%s: cannot write\n", argv[1]);
        return 1;
    }
    return 0;
}
