// Automation schemes: ordered lists of replayable editing steps, kept as ".zdscm" files and
// replayed on a picture by CAutomationScheme.
//
// A file is a run of records back to back, nothing else: u32 L (bytes that follow, P + 6 as
// written), u16 step id, u32 P, then P parameter bytes as the history step holds them. Reading
// stops at the first record that is cut short, longer than 64 KB, or whose P does not fit its L;
// the steps before it stay. Each block is read and checked by ReadSchemeStep only when it is
// replayed, so a damaged block fails its step, not the load.
//
// A scheme may run another scheme file (step 36). Such a chain stops at kMaxSchemeDepth levels
// and never opens a file that is already open in it, so a file naming itself fails its step
// instead of recursing.
#pragma once

#include "algorithms/Algorithm.h"
#include "platform/Text.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

constexpr uint32_t kSchemeRecordMax = 65536; // L above this ends the file
constexpr uint32_t kSchemeStepNested = 36;
constexpr int kMaxSchemeDepth = 8;

struct SchemeStep {
    uint16_t id = 0;
    std::vector<uint8_t> params; // P bytes
};

struct SchemeData {
    std::vector<SchemeStep> steps;
    std::u16string path;   // the file read; empty for a scheme made in memory; a folder entry's
                           // folder with its trailing '/'
    int32_t folder = 0;    // 1: a folder entry of a scheme browser (no steps)
    std::u16string name;   // file name without folder and extension, or the folder's name
};

void ClearScheme(SchemeData& scheme);

// Appends the records of a file's bytes; the number of steps appended.
size_t ParseSchemeRecords(std::span<const uint8_t> file, std::vector<SchemeStep>& steps);
// The file's bytes for the steps (records of ids and blocks above the record limit are left out,
// as the reader would stop at them).
std::vector<uint8_t> SchemeFileBytes(const SchemeData& scheme);

// Appends the file's steps and sets name, path and folder flag 0; 0 only when the file cannot
// be read (a damaged file gives the steps before the damage).
int LoadScheme(SchemeData& scheme, const std::u16string& path);
// Writes the scheme file beside its target and renames it over the target once every write
// and the close succeeded; false leaves what was there.
bool SaveSchemeFile(const SchemeData& scheme, const std::u16string& path);

// A step's share of a run's progress: 0 for ids outside 1..35 and those without a replay.
int StepWeight(uint16_t id);

// Replays a scheme (parameter: a SchemeData pointer) from the source into the destination. The
// source is never changed. A run cancelled between steps is a success with the steps done; a
// strength below 100 blends the result with the source when both have the same size.
class CAutomationScheme : public CAlgorithm {
public:
    int Run() override;

    int32_t m_strength = 100;
    int32_t m_skipImageSize = 0; // image-size steps copy the picture (thumbnails)
    int32_t m_stepEnd = 0;

    // The scheme files open around this run (outermost first), for the chain rule of step 36.
    std::vector<std::u16string> m_openFiles;
    // Where this run sits in a chain: 0 for a scheme run by a dialog.
    int m_level = 0;
};

// The key of a path for the chain rule: the real path when it exists, else the path itself.
std::u16string SchemeFileKey(const std::u16string& path);
