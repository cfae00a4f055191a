#include "archive/ExportChannels.h"

TExportChannels::TExportChannels(const TExportTable& Table) : order_(Table.ChannelOrder())
{
    block_.fill(-1);
    for (std::size_t i = 0; i < order_.size(); ++i)
        block_[order_[i]] = int(i);
}
