#pragma once

#include "dispatcher/ArchiveWriter.h"

// What the main window asks of the archive window, which lives in a library
// that builds on this one.
class IArchiveWindow
{
public:
    virtual ~IArchiveWindow() = default;

    virtual IArchiveWriter& ArchiveWriter() = 0;
    // Once the archive folder is settled; false when the run must end.
    virtual bool OpenArchiveFiles() = 0;
    virtual void CloseArchiveFiles() = 0;
    // The period viewer, modal.
    virtual void ShowArchiveViewer() = 0;
};
