#pragma once

#include "tools/netsim/SimSchedule.h"

#include <QString>

// What a simulated device does wrong with the frames addressed to it.
enum class SimFaultMode
{
    None,
    Silence,        // every frame is lost on the way
    ReplyOnAttempt, // frames are lost until the Value-th one since the fault was set
    Late,           // the reply comes Value ms late (past the PC's read time-out)
    Truncated,      // only the first Value bytes of the reply arrive
    WrongLength,    // the length byte is one too large (checksum made over the wrong byte)
    BadCrc,         // the checksum is damaged
    OtherSource,    // the reply carries source address Value
    ErrorItem,      // request item Item (-1: every item) is answered with error code Value
    ShortItem,      // request item Item (-1: every item) is answered one byte short
    ExtraRecords,   // Value extra records (fault register) are added after the first item
    PortGone,       // the modem vanishes: the simulator closes its end of the port
};

struct SimFault
{
    SimFaultMode Mode = SimFaultMode::None;
    int Value = 0;
    int Item = 0;
    // ReplyOnAttempt: answer every Value-th frame for good instead of only once.
    bool Repeat = false;
    // When the fault acts; outside the window the device answers normally.
    SimSchedule When;

    static SimFault None() { return {}; }
    static SimFault Silence() { return Make(SimFaultMode::Silence); }
    static SimFault ReplyOnAttempt(int Attempt, bool Repeat = false)
    {
        return Make(SimFaultMode::ReplyOnAttempt, Attempt, 0, Repeat);
    }
    static SimFault Late(int DelayMs = 150) { return Make(SimFaultMode::Late, DelayMs); }
    static SimFault Truncated(int Bytes) { return Make(SimFaultMode::Truncated, Bytes); }
    static SimFault WrongLength() { return Make(SimFaultMode::WrongLength); }
    static SimFault BadCrc() { return Make(SimFaultMode::BadCrc); }
    static SimFault OtherSource(int Address) { return Make(SimFaultMode::OtherSource, Address); }
    static SimFault ErrorItem(int Code, int Item = 0) { return Make(SimFaultMode::ErrorItem, Code, Item); }
    static SimFault ShortItem(int Item = 0) { return Make(SimFaultMode::ShortItem, 0, Item); }
    static SimFault ExtraRecords(int Count) { return Make(SimFaultMode::ExtraRecords, Count); }
    static SimFault PortGone() { return Make(SimFaultMode::PortGone); }
    static SimFault Make(SimFaultMode Mode, int Value = 0, int Item = 0, bool Repeat = false)
    {
        SimFault f;
        f.Mode = Mode;
        f.Value = Value;
        f.Item = Item;
        f.Repeat = Repeat;
        return f;
    }

    // The control-channel form: "silence", "attempt 2", "attempt 2 repeat", "late 150",
    // "truncated 5", "length", "crc", "source 1235", "error 1 [item|all]", "short [item|all]", "extra 2",
    // "portgone", "none", each optionally followed by "@ON/PERIOD[+OFFSET]" (a
    // SimSchedule: "silence @20000/60000"). False with a reason for anything else.
    static bool Parse(const QString& Text, SimFault& Fault, QString& ErrMsg);
    QString ToText() const;
    // The fault in force at a moment of scenario time: this one inside its window,
    // None outside.
    SimFault At(qint64 Ms) const { return When.ActiveAt(Ms) ? *this : None(); }

    bool operator==(const SimFault&) const = default;

private:
    QString modeText() const;
};
