// Search conditions of the virtual albums: 25 condition slots over a photo record's fields plus
// keyword tags, how a node's condition merges with its ancestors', and how a photo is matched.
// The block is stored in "UserSearchTree.db", so its layout is a file format.
#pragma once

#include "album/PhotoRecord.h"
#include "platform/Text.h"

#include <cstdint>
#include <memory>
#include <vector>

enum ConditionKind : int32_t {
    kConditionNone = 0,
    kConditionEqual = 1,
    kConditionRange = 2,
    kConditionDateRange = 3,
    kConditionWords = 4,
    kConditionBits = 5,
    kConditionNear = 6,
};

constexpr size_t kConditionEntryBytes = 140;
constexpr size_t kConditionTextChars = 64;
constexpr int kConditionSlots = 25;
constexpr size_t kConditionKeywordChars = 256;
constexpr size_t kCatalogConditionBytes = 4016;
static_assert(kConditionEntryBytes == 12 + 2 * kConditionTextChars);
static_assert(kConditionEntryBytes * kConditionSlots + 2 * kConditionKeywordChars + 4 == kCatalogConditionBytes);

struct ConditionEntry {
    int32_t kind = 0;
    int32_t first = 0;
    int32_t second = 0;
    char16_t text[kConditionTextChars] = {};

    // Merges an ancestor's slot into this merged slot.
    void Merge(const ConditionEntry& other);
    // 1 when the slot passes for the value (and, for the word test, the text; null = none).
    int Test(int32_t value, const char16_t* tested) const;
};

// Slots by meaning.
enum ConditionSlot : int {
    kSlotFileName = 0, kSlotFileType, kSlotWidth, kSlotHeight, kSlotLongSide, kSlotLandscape,
    kSlotFileLength, kSlotCameraData, kSlotDate, kSlotMaker, kSlotModel, kSlotColourSpace,
    kSlotMetering, kSlotFlash, kSlotIso, kSlotFNumber, kSlotShutter, kSlotExtra0, kSlotExtra1,
    kSlotExtra2, kSlotExtra3, kSlotExtra4, kSlotUnused, kSlotLatitude, kSlotLongitude,
};

struct CatalogCondition {
    ConditionEntry slots[kConditionSlots];
    char16_t keywords[kConditionKeywordChars] = {};
    int32_t allKeywords = 0;

    // The 4016 stored bytes, field by field.
    void Store(uint8_t (&out)[kCatalogConditionBytes]) const;
    // Reads the first n stored bytes (the rest zero); every text gets a terminator.
    void Load(const uint8_t* bytes, size_t n);
};

// A node of the search tree as the conditions see it (the search page adds its own parts).
struct CSearchNode {
    platform::String16 text;    // a catalogue's name, at most 31 characters
    bool isAlbum = false;
    bool isCatalogue = false;
    CatalogCondition condition;
    CSearchNode* parent = nullptr;
    std::vector<std::unique_ptr<CSearchNode>> children;

    CSearchNode* AddChild(std::unique_ptr<CSearchNode> child);
};

void MergeCatalogCondition(const CSearchNode& node, CatalogCondition& out);
// fileName: the last part of the record's path without its extension; typeCode its ImageType.
int MatchCatalogCondition(const PhotoRecord& record, platform::StringView16 fileName, int typeCode,
                          const CatalogCondition& condition);
int MatchCatalogTags(platform::StringView16 photoTags, const CSearchNode& node);
// The file name a record is tested with: the last path part without its extension.
platform::String16 CatalogFileName(platform::StringView16 path);
