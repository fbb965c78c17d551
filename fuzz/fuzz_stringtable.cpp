// String-table files come from the installation and from translators: a parse must never crash,
// and every entry it keeps must be found again by its key with a text that fits the file's form.
#include "ui/StringTable.h"

#include <cstdint>
#include <cstdlib>

namespace {
void Quiet(StringView16) {}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetResourceMessageSink(Quiet);
    StringTable table;
    table.ParseBytes(std::span<const uint8_t>(data, size));
    for (size_t i = 0; i < table.Count(); ++i) {
        const StringEntry& e = table.Entry(i);
        if (e.text.empty() || e.key.size() > StringTable::kMaxLine || e.text.size() > StringTable::kMaxLine)
            std::abort();
        if (i > 0 && !(table.Entry(i - 1).key < e.key))
            std::abort(); // sorted, one entry per key
        if (table.FindText(e.key) != e.text.c_str())
            std::abort();
    }
    return 0;
}
