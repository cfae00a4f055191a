#include "dispatcher/ModemSetup.h"

TComSettings MainLinkSettings(int PortNum)
{
    TComSettings s;
    s.PortNum = static_cast<quint8>(PortNum);
    s.BaudRate = 57600;
    s.ByteSize = 8;
    s.Parity = 0;
    s.StopBits = 0;
    s.InQueueSize = 0;
    s.OutQueueSize = 0;
    s.ReadTimeout = 100;
    return s;
}

void ConnectModem(std::unique_ptr<TComConnection>& Link, int PortNum, int Channel, int PowerLevel,
                  const std::function<void(const QString&)>& Journal)
{
    if (Link) {
        QString ignored;
        if (Link->Connected)
            Link->Close(false, ignored);
        Link.reset();
    }
    Link = std::make_unique<TComConnection>(MainLinkSettings(PortNum));
    QString err;
    Link->Open(false, err);
    if (!Link->Connected) {
        if (!err.isEmpty())
            Journal(err + QStringLiteral(" при соединении с СОМ-портом"));
        return;
    }

    // Each step runs whatever the previous one gave.
    int channel = 0;
    err.clear();
    if (!Link->GetRfChannel(channel, false, err) && !err.isEmpty())
        Journal(err + QStringLiteral(" при чтении номера канала радиомодема"));
    err.clear();
    if (!Link->SetRfChannel(Channel, false, err) && !err.isEmpty())
        Journal(err + QStringLiteral(" при установке номера канала радиомодема"));
    err.clear();
    if (!Link->SetRfPowerLevel(PowerLevel, false, err) && !err.isEmpty())
        Journal(err + QStringLiteral(" при установке уровня мощности передачи радиомодема"));
    err.clear();
    if (!Link->GetRfChannel(channel, false, err) && !err.isEmpty()) {
        Journal(err + QStringLiteral(" при чтении номера канала радиомодема"));
        return;
    }
    // The channel last obtained (0 when no read delivered one).
    if (channel != Channel)
        Journal(QStringLiteral("Не удалось установить требуемый номер радиоканала передатчика!"));
}
