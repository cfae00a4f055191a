#include "dispatcher/GraphicAction.h"

#include "dispatcher/DispatcherState.h"
#include "dispatcher/GraphicWindows.h"

bool AttachSelectedGraphLines(IGraphicWindows& Windows)
{
    bool any = false;
    for (const auto& row : DevArray) {
        if (!row->Selected || row->Hidden || !row->Device)
            continue;
        for (TMeasureChannel* ch : {row->Device->Channel1.get(), row->Device->Channel2.get()}) {
            if (!ch || !ch->Enabled || !ch->GraphLine)
                continue;
            TFormGraphic* form = Windows.FindOrCreateGraphicForm(ch->QuantityName, ch->MeasUnitName);
            // A series has one chart: a line of another pair before moves here.
            ch->GraphLine->Series->SetParentChart(Windows.GraphicChart(form));
            ch->GraphLine->GraphForm = form;
            any = true;
        }
    }
    return any;
}
