#pragma once

#include "core/DateTime.h"

#include <QtGlobal>
#include <cstddef>
#include <deque>
#include <vector>

// Finds the row of an export table by its time stamp (Rows: the stamp of each
// row) without scanning the rows, so filling a table stays linear however long the period. A hit is the
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
    std::ptrdiff_t Find(const std::deque<TDateTime>& Rows, TDateTime Stamp);

private:
    void catchUp(const std::deque<TDateTime>& Rows);
    void insert(const std::deque<TDateTime>& Rows, std::size_t Row);
    void grow(const std::deque<TDateTime>& Rows);

    // Every stamp so far greater than the one before.
    bool Rising_ = true;
    // Row number + 1; 0 is a free slot. The size is a power of two. Empty while Rising_.
    std::vector<quint32> Slots_;
    std::size_t Indexed_ = 0;
};
