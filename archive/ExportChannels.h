#pragma once

#include "archive/Export.h"

#include <array>
#include <vector>

// The channel column blocks of one export table: channel numbers in the order in
// which they first appear (rows in order, a row's records in order). Known before
// the first row is written, so both exports write their header once, in place.
class TExportChannels
{
public:
    explicit TExportChannels(const TExportTable& Table);

    const std::vector<quint8>& Order() const { return order_; }
    // The 0-based block of a channel of the table.
    int Block(quint8 Channel) const { return block_[Channel]; }

private:
    std::vector<quint8> order_;
    std::array<int, 256> block_{};
};
