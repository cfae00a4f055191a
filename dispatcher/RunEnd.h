#pragma once

// The end of the globals that own Qt objects (the help viewer, the modem link,
// the device rows). They must end while Qt is still whole: the static
// destructors that would otherwise free them run after Qt's own.

// Frees them; safe to call more than once.
void EndRun();

// Makes EndRun run also when the process ends through exit() (Qt calls it when
// the display connection breaks), which skips every destructor of main()'s
// objects but still runs the globals' ones. Call once the application object
// exists and the windows are made; later calls do nothing.
void EndRunAtExit();
