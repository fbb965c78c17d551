// UserSearchTree.db from disk may be anything: the reader must stay in bounds, end, and what it
// read must write out and read back the same.
#include "album/CatalogTree.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    CSearchNode root;
    root.isCatalogue = true;
    ParseCatalogTree(std::span<const uint8_t>(data, size), root);
    const std::vector<uint8_t> written = FormatCatalogTree(root);
    CSearchNode again;
    again.isCatalogue = true;
    ParseCatalogTree(written, again);
    if (FormatCatalogTree(again) != written)
        std::abort();
    return 0;
}
