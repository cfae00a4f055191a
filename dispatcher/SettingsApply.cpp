#include "dispatcher/SettingsApply.h"

#include "core/RS232Comm.h"
#include "core/Sound.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/JournalMessage.h"
#include "dispatcher/ModemSetup.h"
#include "dispatcher/PollingCycle.h"
#include "platform/Prompts.h"

#include <QTimer>
#include <QWidget>

namespace {

const QString Caution = QStringLiteral("Внимание");

void journal(const QString& Error, const QString& Suffix)
{
    if (!Error.isEmpty())
        AddJournalMessage(Error + Suffix);
}

} // namespace

QString DispatcherCaption(int Channel)
{
    return QStringLiteral("Кловарис (канал радиомодема №") + QString::number(Channel) + QLatin1Char(')');
}

bool ParseComPortItem(const QString& Text, int& PortNum, QString& Error)
{
    if (Text.isEmpty()) {
        Error = QStringLiteral("Не указан СОМ-порт!");
        return false;
    }
    const qsizetype com = Text.indexOf(QStringLiteral("COM"));
    bool ok = false;
    const int n = com < 0 ? 0 : Text.mid(com + 3).toInt(&ok);
    if (!ok || n < 1 || n > 255) {
        Error = QStringLiteral("Порт \"%1\" не может быть выбран: допустимы номера COM-портов от 1 до 255!")
                    .arg(Text);
        return false;
    }
    PortNum = n;
    return true;
}

bool ApplySettings(const TSettingsValues& Values, const TSettingsApplyTarget& Target)
{
    // Stored first and before the modem is asked, so the next start tries the
    // chosen values again whatever the modem says now; a file that cannot take
    // them leaves everything as it was, so the running program and the file agree.
    QString err;
    if (!WriteCommSettings(IniFileName, Values, err)) {
        Prompts::Current().Message(Target.MainWindow,
                                   QStringLiteral("Настройки не применены: не удалось сохранить их в файле "
                                                  "настроек. Действуют прежние настройки.\n") +
                                       err,
                                   Caution);
        return false;
    }

    // The running archive keeps its folder (ArchiveDir); the daily change time
    // counts at once.
    ArchivePath = Values.ArchivePath;
    FileRebuildHour = Values.FileRebuildHour;
    FileRebuildMin = Values.FileRebuildMin;

    PollMode = Values.Mode;
    PollUnits = Values.Units;
    PollValue = Values.Value;
    SoundMode = IndexToSoundMode(Values.SoundMode, SoundMode);
    SoundRepeatMode = IndexToSoundRepeatMode(Values.SoundRepeatMode, SoundRepeatMode);

    // The dialog refuses an interval the timer cannot take; should one come here
    // anyway, the previous interval stays.
    const qint64 interval = PollIntervalSecFor(PollUnits, PollValue, PollIntervalSec);
    if (IsValidPollInterval(interval))
        PollIntervalSec = static_cast<int>(interval);
    if (Target.TimerPoll)
        Target.TimerPoll->setInterval(TPollingCycle::PollTimerInterval(PollMode, PollIntervalSec));

    if (Target.UpdatePollingStatusText)
        Target.UpdatePollingStatusText();

    ApplyModemSettings(Values.RFMainPort, Values.RFChannel, Values.RFPowerLevel, Target.MainWindow);
    return true;
}

bool ApplyModemSettings(int NewPort, int NewChannel, int NewPower, QWidget* MainWindow)
{
    // Only after shutdown has freed the link; a closed link on the configured
    // port stands in, so the steps below report a closed port as usual.
    if (!Connection)
        Connection = std::make_unique<TComConnection>(MainLinkSettings(RFMainPort));

    if (NewPort != Connection->Settings().PortNum) {
        RFMainPort = NewPort;
        Connection->SetPortNum(static_cast<quint8>(NewPort));
        QString err;
        if (Connection->Connected && !Connection->Close(false, err))
            Prompts::Current().Message(MainWindow, QStringLiteral("Ошибка при освобождении СОМ-порта!"),
                                       Caution);
        // The same link object stays in place: a polling cycle between two devices
        // finds it and uses the new port at its next exchange.
        ConnectionError.clear();
        Connection->Open(false, ConnectionError);
        if (!Connection->Connected) {
            journal(ConnectionError, QStringLiteral(" при соединении с СОМ-портом"));
            return false;
        }
    }

    if (NewChannel != RFChannel) {
        QString err;
        if (!Connection->SetRfChannel(NewChannel, false, err))
            journal(err, QStringLiteral(" при установке номера канала радиомодема"));
        int channel = 0;
        err.clear();
        if (!Connection->GetRfChannel(channel, false, err))
            journal(err, QStringLiteral(" при чтении номера канала радиомодема"));
        else if (channel != NewChannel)
            AddJournalMessage(
                QStringLiteral("Не удалось установить требуемый номер радиоканала передатчика!"));
        RFChannel = NewChannel;
        if (MainWindow)
            MainWindow->setWindowTitle(DispatcherCaption(RFChannel));
    }

    if (NewPower != RFPowerLevel) {
        QString err;
        if (!Connection->SetRfPowerLevel(NewPower, false, err))
            journal(err, QStringLiteral(" при установке уровня мощности передачи радиомодема"));
        int level = 0;
        err.clear();
        if (!Connection->GetRfPowerLevel(level, false, err))
            journal(err, QStringLiteral(" при чтении уровня мощности передачи радиомодема"));
        else if (level != NewPower)
            AddJournalMessage(
                QStringLiteral("Не удалось установить требуемый уровень мощности передачи радиомодема!"));
        RFPowerLevel = NewPower;
    }
    return true;
}
