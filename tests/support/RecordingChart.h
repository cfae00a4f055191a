#pragma once

#include "core/ChartSeries.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <vector>

// A parent chart that keeps its series order and logs what the series tell it.
class RecordingChart : public IParentChart
{
public:
    void SeriesAttached(IChartSeries& Series) override
    {
        series.push_back(&Series);
        log << QStringLiteral("attach ") + Series.Title();
    }
    void SeriesDetached(IChartSeries& Series) override
    {
        series.erase(std::remove(series.begin(), series.end(), &Series), series.end());
        log << QStringLiteral("detach ") + Series.Title();
    }
    void SeriesChanged(IChartSeries&) override { ++changes; }

    std::vector<IChartSeries*> series;
    QStringList log;
    int changes = 0;
};
