#pragma once

#include "core/DateTime.h"

#include <cstddef>
#include <vector>

struct TExportMeasRec;

// Finds the row of an export table by its time stamp without scanning the
// rows, so filling a table stays linear however long the period. A hit is the
// row whose stamp equals the one asked for (==, as the rows compare), the first
// such row when several share it.
//
// While the rows' stamps rise, as the archive hands them over, the rows are
// their own index: a new stamp lies beyond the last row and an old one is found
// by bisection, with no memory of its own. Once a stamp comes out of order an
// open hash table of row numbers takes over. Rows are only ever appended; rows
// appended behind the index's back are indexed on the next call, and a shrunk
// table is indexed anew.
class TExportRowIndex
{
public:
    // Position of the first row stamped Stamp, or -1.
    std::ptrdiff_t Find(const std::vector<TExportMeasRec>& Rows, TDateTime Stamp);

private:
    void catchUp(const std::vector<TExportMeasRec>& Rows);
    void insert(const std::vector<TExportMeasRec>& Rows, std::size_t Row);
    void grow(const std::vector<TExportMeasRec>& Rows);

    // Every stamp so far greater than the one before.
    bool Rising_ = true;
    // Row number + 1; 0 is a free slot. The size is a power of two. Empty while Rising_.
    std::vector<quint32> Slots_;
    std::size_t Indexed_ = 0;
};
