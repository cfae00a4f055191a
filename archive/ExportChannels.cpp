#include "archive/ExportChannels.h"

TExportChannels::TExportChannels(const TExportTable& Table)
{
    block_.fill(-1);
    for (const TExportMeasRec& row : Table.MeasRecs) {
        for (const TChanExportRec& rec : row.ChanRecs) {
            if (block_[rec.ChannelNum] < 0) {
                block_[rec.ChannelNum] = int(order_.size());
                order_.push_back(rec.ChannelNum);
            }
        }
    }
}
