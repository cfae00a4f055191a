#include "tools/netsim/SimFirmware.h"

#include "tools/netsim/SimWire.h"

#include <QStringList>

bool SimFwFault::Parse(const QString& Text, SimFwFault& Fault, QString& ErrMsg)
{
    const QStringList w = Text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    SimFwFault f;
    bool ok = !w.isEmpty();
    if (ok && w[0] == QLatin1String("none") && w.size() == 1) {
        f.Mode = SimFwFaultMode::None;
    } else if (ok && w[0] == QLatin1String("crc") && w.size() == 1) {
        f.Mode = SimFwFaultMode::BadCrc;
    } else if (ok && (w[0] == QLatin1String("refuse") || w[0] == QLatin1String("silence")) && w.size() >= 2) {
        f.Mode = w[0] == QLatin1String("refuse") ? SimFwFaultMode::Refuse : SimFwFaultMode::Silence;
        f.Block = w[1].toInt(&ok);
        ok = ok && f.Block >= 0;
        if (ok && w.size() >= 3 && f.Mode == SimFwFaultMode::Refuse) {
            const int code = w[2].toInt(&ok);
            ok = ok && code > 0 && code < 128;
            f.Code = quint8(code);
            f.All = w.size() == 4 && w[3] == QLatin1String("all");
            ok = ok && (w.size() == 3 || f.All);
        } else if (w.size() > 2) {
            ok = false;
        }
    } else {
        ok = false;
    }
    if (!ok) {
        ErrMsg = QStringLiteral("firmware fault: none | crc | refuse N [CODE] [all] | silence N");
        return false;
    }
    Fault = f;
    return true;
}

quint8 SimFirmware::WriteInfo(const QByteArray& Data)
{
    if (Data.size() != 10)
        return ErrLength;
    const auto* p = reinterpret_cast<const quint8*>(Data.constData());
    const quint32 length = SimWire::ReadBE32(p + 6);
    if (p[0] != 0 || length == 0 || length > MaxLength)
        return ErrValue;
    Active_ = true;
    HwVersion_ = p[1];
    DeviceType_ = SimWire::ReadBE16(p + 2);
    ExpectedCrc_ = SimWire::ReadBE16(p + 4);
    Length_ = length;
    Buffer_.clear();
    BlocksSeen_ = 0;
    BlocksTaken_ = 0;
    return 0;
}

quint8 SimFirmware::WriteData(const QByteArray& Data, qint64 NowMs)
{
    if (!Active_)
        return ErrNotApplicable;
    if (Data.size() < 6)
        return ErrLength;
    const auto* p = reinterpret_cast<const quint8*>(Data.constData());
    const quint32 offset = SimWire::ReadBE32(p);
    const quint16 n = SimWire::ReadBE16(p + 4);
    if (n != Data.size() - 6)
        return ErrLength;
    const int index = BlocksSeen_++;
    if (Fault_.Mode == SimFwFaultMode::Refuse &&
        (index == Fault_.Block || (Fault_.All && index > Fault_.Block)))
        return Fault_.Code;
    // Blocks come in order; a repeated block (its reply was lost) is taken again.
    if (offset > quint32(Buffer_.size()) || offset + n > Length_)
        return ErrValue;
    Buffer_.truncate(offset);
    Buffer_.append(Data.mid(6));
    ++BlocksTaken_;
    if (quint32(Buffer_.size()) == Length_) {
        Active_ = false;
        const bool good = SimWire::Crc16(Buffer_) == ExpectedCrc_ && Fault_.Mode != SimFwFaultMode::BadCrc;
        if (good) {
            Image_ = Buffer_;
            RunningCrc_ = ExpectedCrc_;
            ++Installs_;
            Pending_ = true;
            // The reply to this block still goes out; the restart follows it.
            RestartFromMs_ = NowMs + 1;
            RestartUntilMs_ = RestartFromMs_ + RestartMs_;
        }
    }
    return 0;
}

bool SimFirmware::TakeInstalled(Installed& What)
{
    if (!Pending_)
        return false;
    Pending_ = false;
    What.DeviceType = DeviceType_;
    What.HwVersion = HwVersion_;
    return true;
}

bool SimFirmware::Silent(qint64 NowMs) const
{
    if (NowMs >= RestartFromMs_ && NowMs < RestartUntilMs_)
        return true;
    return Fault_.Mode == SimFwFaultMode::Silence && BlocksSeen_ >= Fault_.Block &&
           (Active_ || BlocksSeen_ > 0);
}
