// Mesh warp: every destination pixel takes the source pixel at its own position plus a
// displacement interpolated from the four mesh nodes of its cell. The rendering half of the
// warp brush, which owns the mesh and hands a fresh node array over before each job.
#pragma once

#include "algorithms/Algorithm.h"

#include <memory>

class CMeshTransform : public CAlgorithm {
public:
    // Takes ownership of columns x rows nodes, row-major, each (dx, dy) in source pixels; node
    // (i, j) sits at destination pixel (j s, i s). Safe while a job runs: the job works on the
    // array it took at its start.
    void SetMesh(std::unique_ptr<double[]> nodes, int columns, int rows, int cellSize);

    // Source and destination are the pictures given to the job, of the same size. No record.
    int Run() override;
    // Renders cell (i, j) of a mesh `columns` nodes wide with cells of s pixels into `work`,
    // reading `source`; the part of the cell beyond the picture is left alone.
    static void WarpCell(const ImageBuffer16& source, ImageBuffer16& work, const double* nodes, int columns,
                         int s, int i, int j);

private:
    platform::CriticalSection m_meshLock;
    std::shared_ptr<const double[]> m_nodes;
    int m_columns = 0, m_rows = 0, m_cellSize = 0;
};
