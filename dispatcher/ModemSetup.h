#pragma once

#include "core/RS232Comm.h"

#include <QString>
#include <functional>
#include <memory>

// The main link's serial settings for a modem on PortNum.
TComSettings MainLinkSettings(int PortNum);

// Replaces Link with a new connection on PortNum and brings the modem to Channel
// and PowerLevel: read the channel, set it, set the power, read it back and
// compare. Every failure goes to Journal with the text of the step; the link is
// kept even when it did not open (polling start opens it again).
void ConnectModem(std::unique_ptr<TComConnection>& Link, int PortNum, int Channel, int PowerLevel,
                  const std::function<void(const QString&)>& Journal);
