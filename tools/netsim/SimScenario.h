#pragma once

#include "tools/netsim/SimModem.h"

#include <QString>
#include <QStringList>

// The simulated network as a few lines of text. One statement per line, "#" starts
// a comment line:
//
//   modem channel=16 power=0xC0
//   device SERIAL TYPE CHANNEL [key=value ...]
//
// Device keys (numbers decimal or 0x-hex; values with blanks in double quotes):
//   ch1=WAVE ch2=WAVE      channel value: 12.5, const:V, sine:BASE:AMP:PERIOD_MS,
//                          ramp:FROM:TO:PERIOD_MS, square:LOW:HIGH:PERIOD_MS
//   cj=WAVE                built-in sensor temperature, CELSIUS or a waveform
//   sensor1=TYPE/MODEL     sensor2=...   enable1=0|1 enable2=...
//   limits1=LOW/HIGH       limits2=...   range1=LOW/HIGH range2=... (type 2)
//   name1="NAME/UNIT"      name2=...     (type 2)
//   comment="TEXT"         level=BYTE (heard by the device)
//   faults=BITS            the fault register; also ends a faults=...@ schedule
//   faults=BITS@SCHEDULE   BITS set on top now and then (SimSchedule: ON/PERIOD[+OFFSET])
//   pclevel=BYTE (heard by the PC's modem)  hw=N  sw=0xMMmm  power=CODE
//   busy=MS (calibration command time)  report=0|1 (fault changes as extra records)
//   fault="MODE ARGS[ @SCHEDULE]"  as SimFault::Parse; with a schedule the fault
//                          comes and goes ("silence @20000/60000")
//
// Scenario time (waveforms, schedules) counts from the moment the port comes up.
class SimScenario
{
public:
    static bool LoadFile(const QString& FileName, SimModem& Modem, QString& ErrMsg);
    // Statements are applied in order; the first bad line stops with its number.
    static bool LoadText(const QString& Text, SimModem& Modem, QString& ErrMsg);
    // The demonstration network, tools/netsim/demo.scn built in.
    static bool LoadDemo(SimModem& Modem, QString& ErrMsg);
    // The serial numbers on the modem's channel as the settings file lists devices:
    // decimal, separated by ",".
    static QString DevicesList(const SimModem& Modem);

    // "device ..." without the keyword: SERIAL TYPE CHANNEL [key=value ...].
    static bool AddDevice(const QStringList& Words, SimModem& Modem, QString& ErrMsg);
    // key=value settings on an existing device.
    static bool Configure(SimDevice& Device, const QStringList& Settings, QString& ErrMsg);
    // Words split at blanks, with "double quoted" parts kept together.
    static QStringList Split(const QString& Line);
    static bool ParseNumber(const QString& Text, int Min, int Max, int& Value);
};
