#pragma once

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

    static SimFault None() { return {}; }
    static SimFault Silence() { return {SimFaultMode::Silence}; }
    static SimFault ReplyOnAttempt(int Attempt, bool Repeat = false)
    {
        return {SimFaultMode::ReplyOnAttempt, Attempt, 0, Repeat};
    }
    static SimFault Late(int DelayMs = 150) { return {SimFaultMode::Late, DelayMs}; }
    static SimFault Truncated(int Bytes) { return {SimFaultMode::Truncated, Bytes}; }
    static SimFault WrongLength() { return {SimFaultMode::WrongLength}; }
    static SimFault BadCrc() { return {SimFaultMode::BadCrc}; }
    static SimFault OtherSource(int Address) { return {SimFaultMode::OtherSource, Address}; }
    static SimFault ErrorItem(int Code, int Item = 0) { return {SimFaultMode::ErrorItem, Code, Item}; }
    static SimFault ExtraRecords(int Count) { return {SimFaultMode::ExtraRecords, Count}; }
    static SimFault PortGone() { return {SimFaultMode::PortGone}; }

    // The control-channel form: "silence", "attempt 2", "attempt 2 repeat", "late 150",
    // "truncated 5", "length", "crc", "source 1235", "error 1 [item|all]", "extra 2",
    // "portgone", "none". False with a reason for anything else.
    static bool Parse(const QString& Text, SimFault& Fault, QString& ErrMsg);
    QString ToText() const;

    bool operator==(const SimFault&) const = default;
};
