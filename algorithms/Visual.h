// Visual variants: exposure, contrast and colour changes counted in steps.
#pragma once

#include "algorithms/AlgorithmParams.h"
#include "algorithms/Algorithm.h"
#include "algorithms/ColourOps.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// In memory only.
struct VisualParams {
    uint16_t size = 28;
    uint16_t padding = 0;
    int32_t contrastSteps = 0;
    int32_t exposureSteps = 0;
    int32_t redSteps = 0;
    int32_t greenSteps = 0;
    int32_t blueSteps = 0;
    int32_t strength = 10; // size of one step
};
static_assert(sizeof(VisualParams) == 28);
static_assert(offsetof(VisualParams, strength) == 24);

class CVisual : public CRowAlgorithm {
public:
    int Run() override;
    // Copies source to destination and maps it through the tables of the current record;
    // the tables are built on first use and rebuilt when the record's counts change.
    int ApplyTables(const ImageBuffer16& source, ImageBuffer16& destination);
    int BuildTables();
    bool HasTables() const { return !m_tables.empty(); }
    const uint16_t* Table(int channel) const { return m_tables.data() + size_t(channel) * 65536; } // 0 R, 1 G, 2 B

    VisualParams m_params;

protected:
    bool ProcessRows(int first, int end) override;

private:
    VisualParams Bounded() const;
    std::vector<uint16_t> m_tables;
    VisualParams m_builtFor{};
};
