#pragma once

// How long a test waits for what is sure to come (a reply, a frame, a line): only
// a machine stalled that long fails, and a wait that succeeds ends as soon as it is there.
constexpr int SureWaitMs = 10000;
