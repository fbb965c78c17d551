// The user's catalogues in "UserSearchTree.db": pre-order records of a name, a condition block
// and the number of sub-catalogues that follow. The reader trusts nothing in the file.
#pragma once

#include "album/CatalogCondition.h"

#include <span>

constexpr uint16_t kCatalogRecordLength = 4082;
constexpr size_t kCatalogNameChars = 32;
// Records longer than the reader's buffer, deeper trees or more records than these end the read.
constexpr size_t kCatalogMaxRecordLength = 4096;
constexpr int kCatalogMaxDepth = 64;
constexpr size_t kCatalogMaxRecords = 10000;

// Reads one record and its sub-tree at pos; null at the end or at a record that cannot be read
// (a truncated file keeps what was read before the break).
std::unique_ptr<CSearchNode> ReadCatalogNode(std::span<const uint8_t> bytes, size_t& pos, int depth,
                                             size_t& records);
// Appends one record and its sub-tree.
void WriteCatalogNode(std::vector<uint8_t>& out, const CSearchNode& node);

// Fills an empty catalogue root from the bytes of a file; a root with children is left alone.
void ParseCatalogTree(std::span<const uint8_t> bytes, CSearchNode& root);
std::vector<uint8_t> FormatCatalogTree(const CSearchNode& root);

// The file "UserSearchTree.db" in the data folder. Loading a missing file leaves the root empty;
// saving replaces the file in one rename. false when it could not be written.
void LoadCatalogTree(platform::StringView16 dataFolder, CSearchNode& root);
bool SaveCatalogTree(platform::StringView16 dataFolder, const CSearchNode& root);
