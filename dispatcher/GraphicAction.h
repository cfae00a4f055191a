#pragma once

class IGraphicWindows;

// Puts the lines of the enabled channels of the selected, visible rows of
// DevArray into the chart windows of their quantity and unit. False when no
// channel qualified (nothing was touched).
bool AttachSelectedGraphLines(IGraphicWindows& Windows);
