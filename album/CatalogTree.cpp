// Reading and writing the catalogue file.
#include "album/CatalogTree.h"

#include "platform/File.h"
#include "platform/Path.h"

#include <cstring>

std::unique_ptr<CSearchNode> ReadCatalogNode(std::span<const uint8_t> bytes, size_t& pos, int depth,
                                             size_t& records)
{
    if (depth > kCatalogMaxDepth || records >= kCatalogMaxRecords)
        return nullptr;
    if (bytes.size() < 2 || pos > bytes.size() - 2)
        return nullptr;
    const size_t length = photorecord::Get<uint16_t>(bytes.data() + pos);
    if (length < 2 * kCatalogNameChars + 2 || length > kCatalogMaxRecordLength)
        return nullptr;
    if (bytes.size() - (pos + 2) < length)
        return nullptr;
    const uint8_t* rec = bytes.data() + pos + 2;
    pos += 2 + length;
    ++records;

    auto node = std::make_unique<CSearchNode>();
    node->isAlbum = true;
    node->isCatalogue = true;
    for (size_t i = 0; i < kCatalogNameChars - 1; ++i) {
        const char16_t c = char16_t(photorecord::Get<uint16_t>(rec + 2 * i));
        if (!c)
            break;
        node->text += c;
    }
    const size_t conditionBytes = length - 2 * kCatalogNameChars;
    node->condition.Load(rec + 2 * kCatalogNameChars, conditionBytes);
    const size_t children = photorecord::Get<uint16_t>(rec + length - 2);
    for (size_t i = 0; i < children; ++i) {
        std::unique_ptr<CSearchNode> child = ReadCatalogNode(bytes, pos, depth + 1, records);
        if (!child)
            break;
        node->AddChild(std::move(child));
    }
    return node;
}

void WriteCatalogNode(std::vector<uint8_t>& out, const CSearchNode& node)
{
    const size_t start = out.size();
    out.resize(start + 2 + kCatalogRecordLength, 0);
    uint8_t* rec = out.data() + start;
    photorecord::Put<uint16_t>(rec, kCatalogRecordLength);
    // 31 characters and the terminator fit the field; only longer names are cut.
    platform::String16 name = node.text;
    if (name.size() > kCatalogNameChars - 1)
        name = name.substr(0, kCatalogNameChars - 3) + u"..";
    for (size_t i = 0; i < name.size(); ++i)
        photorecord::Put<uint16_t>(rec + 2 + 2 * i, name[i]);
    uint8_t condition[kCatalogConditionBytes];
    node.condition.Store(condition);
    std::memcpy(rec + 2 + 2 * kCatalogNameChars, condition, kCatalogConditionBytes);
    const size_t children = node.children.size() < 0xFFFF ? node.children.size() : 0xFFFF;
    photorecord::Put<uint16_t>(rec + kCatalogRecordLength, uint16_t(children));
    for (size_t i = 0; i < children; ++i)
        WriteCatalogNode(out, *node.children[i]);
}

void ParseCatalogTree(std::span<const uint8_t> bytes, CSearchNode& root)
{
    if (!root.children.empty())
        return;
    size_t pos = 0, records = 0;
    while (std::unique_ptr<CSearchNode> node = ReadCatalogNode(bytes, pos, 1, records))
        root.AddChild(std::move(node));
}

std::vector<uint8_t> FormatCatalogTree(const CSearchNode& root)
{
    std::vector<uint8_t> out;
    for (const auto& child : root.children)
        WriteCatalogNode(out, *child);
    return out;
}

static platform::String16 CatalogFilePath(platform::StringView16 dataFolder)
{
    return platform::JoinPath(dataFolder, u"UserSearchTree.db");
}

void LoadCatalogTree(platform::StringView16 dataFolder, CSearchNode& root)
{
    if (!root.children.empty())
        return;
    std::vector<uint8_t> bytes;
    if (!platform::ReadWholeFile(CatalogFilePath(dataFolder), bytes, uint64_t(kCatalogMaxRecords) * 4200))
        return;
    ParseCatalogTree(bytes, root);
}

bool SaveCatalogTree(platform::StringView16 dataFolder, const CSearchNode& root)
{
    const std::vector<uint8_t> bytes = FormatCatalogTree(root);
    return platform::WriteWholeFileAtomic(CatalogFilePath(dataFolder), bytes);
}
