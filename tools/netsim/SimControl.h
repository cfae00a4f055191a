#pragma once

#include "tools/netsim/NetSimServer.h"

#include <QString>

// The line-oriented control channel of the simulator executable (also usable from
// tests). One command per line; the reply is one or more lines of text.
//
//   help                           the command list
//   list                           every device: serial, type, channel, fault,
//                                  scheduled fault bits
//   channel N                      the modem's radio channel (as if "#C" came)
//   power CODE                     the modem's power code
//   status default|silent|HEX      the modem's answer to "#S"
//   fault SERIAL MODE [ARGS]       none, silence, attempt K [repeat], late [MS],
//                                  truncated N, length, crc, source ADDR,
//                                  error CODE [ITEM|all], extra N, portgone;
//                                  "@ON/PERIOD[+OFFSET]" after it: now and then
//   firmware SERIAL MODE [ARGS]    firmware update faults: none, crc (the device's
//                                  own check of the image fails), refuse N [CODE]
//                                  [all] (block N, or every block from N, gets the
//                                  error CODE, 5 by default), silence N (silent
//                                  from block N on)
//   echo SERIAL CODE|none          the command register reads back CODE while a
//                                  calibration step runs
//   set SERIAL key=value ...       device settings as in a scenario line
//   add SERIAL TYPE CHANNEL [key=value ...]
//   remove SERIAL
//   portgone                       close the pty; the port link dangles
//   portback                       a fresh pty under the same link
//   received                       count and hex of the bytes the PC wrote
//   clear                          forget the recorded bytes
//   quit                           stop the simulator
class SimControl
{
public:
    enum class Result
    {
        Ok,
        Error,
        Quit
    };

    explicit SimControl(NetSimServer& Server) : Server_(Server) {}

    Result Execute(const QString& Line, QString& Reply);

private:
    NetSimServer& Server_;
};
