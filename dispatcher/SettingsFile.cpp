#include "dispatcher/SettingsFile.h"

#include "core/Sound.h"
#include "core/StringFunc.h"
#include "dispatcher/DispatcherState.h"
#include "platform/IniFile.h"

#include <memory>
#include <optional>

namespace {

const QString SectionArchive = QStringLiteral("Archive");
const QString SectionDevices = QStringLiteral("Devices");
const QString SectionCommunication = QStringLiteral("Communication");
const QString SectionPolling = QStringLiteral("Polling");
const QString SectionSound = QStringLiteral("Sound");
const QString SectionGeneral = QStringLiteral("General");

const QString KeyArchivePath = QStringLiteral("ArchivePath");
const QString KeyFileRebuildHour = QStringLiteral("FileRebuildHour");
const QString KeyFileRebuildMin = QStringLiteral("FileRebuildMin");
const QString KeyDevicesList = QStringLiteral("DevicesList");
const QString KeyRFMainPort = QStringLiteral("RFMainPort");
const QString KeyRFChannel = QStringLiteral("RFChannel");
const QString KeyRFPowerLevel = QStringLiteral("RFPowerLevel");
const QString KeyMode = QStringLiteral("Mode");
const QString KeyUnits = QStringLiteral("Units");
const QString KeyValue = QStringLiteral("Value");
const QString KeySoundMode = QStringLiteral("SoundMode");
const QString KeySoundRepeatMode = QStringLiteral("SoundRepeatMode");
const QString KeyWindowHeight = QStringLiteral("WindowHeight");
const QString KeyWindowWidth = QStringLiteral("WindowWidth");
const QString KeyWindowXPos = QStringLiteral("WindowXPos");
const QString KeyWindowYPos = QStringLiteral("WindowYPos");

constexpr int DefaultFileRebuildHour = 0;
constexpr int DefaultFileRebuildMin = 0;
constexpr int DefaultRFMainPort = 1;
constexpr int DefaultRFChannel = 16;
constexpr int DefaultRFPowerLevel = 2;
constexpr int DefaultMode = 0;
constexpr int DefaultUnits = 0;
constexpr int DefaultValue = 10;
constexpr int DefaultSoundMode = 2;
constexpr int DefaultSoundRepeatMode = 0;

QString invalidValueText(const QString& Section, const QString& Key, const QString& Text, int Default)
{
    return QStringLiteral("Файл настроек: недопустимое значение \"%1\" параметра %2 (раздел %3), "
                          "принято значение по умолчанию %4")
        .arg(Text, Key, Section)
        .arg(Default);
}

// The key's integer; nothing when the key holds a text that is not one (a missing
// key or an empty value reads as Default).
std::optional<int> readInteger(const IniFile& Ini, const QString& Section, const QString& Key, int Default)
{
    const QString text = Ini.ReadString(Section, Key, QString());
    if (text.isEmpty())
        return Default;
    // Only a text that does not convert gives back the default it was handed.
    const int value = IniFile::StrToIntDef(text, 0);
    if (value == 0 && IniFile::StrToIntDef(text, 1) == 1)
        return std::nullopt;
    return value;
}

// The key's integer when it lies in Lo..Hi, else Default with a warning; a text
// that is not a number is out of range too.
int readInRange(const IniFile& Ini, const QString& Section, const QString& Key, int Default, int Lo, int Hi,
                QStringList& Warnings)
{
    const std::optional<int> value = readInteger(Ini, Section, Key, Default);
    if (value && *value >= Lo && *value <= Hi)
        return *value;
    Warnings << invalidValueText(Section, Key, Ini.ReadString(Section, Key, QString()), Default);
    return Default;
}

// The items of a stored list as the list editing reads them: blanks removed,
// pieces between commas, empty pieces dropped.
QStringList splitDevicesList(const QString& Text)
{
    QString rest = DeleteSpaces(Text);
    QStringList pieces;
    while (!rest.isEmpty()) {
        const qsizetype comma = rest.indexOf(QLatin1Char(','));
        if (comma < 0) {
            pieces << rest;
            break;
        }
        pieces << rest.left(comma);
        rest = rest.mid(comma + 1);
    }
    return pieces;
}

QString joinSerials(const QList<qint64>& Numbers)
{
    QStringList texts;
    texts.reserve(Numbers.size());
    for (const qint64 n : Numbers)
        texts << QString::number(n);
    return texts.join(QLatin1Char(','));
}

QString readDevicesListText(const QString& FileName)
{
    return IniFile(FileName).ReadString(SectionDevices, KeyDevicesList, QString());
}

// Every item IsIntStr accepts, in list order.
QList<qint64> storedNumbers(const QString& Text)
{
    QList<qint64> numbers;
    for (const QString& piece : splitDevicesList(Text)) {
        if (const auto value = StrToInt64Fixed(piece))
            numbers << *value;
    }
    return numbers;
}

} // namespace

qint64 PollIntervalSecFor(int Units, qint64 Value, qint64 Previous)
{
    switch (Units) {
    case 0:
        return Value;
    case 1:
        return Value * 60;
    case 2:
        return Value * 3600;
    default:
        return Previous;
    }
}

bool IsValidPollInterval(qint64 Seconds)
{
    return Seconds >= 1 && Seconds <= MaxPollIntervalSec;
}

QList<quint16> ParseDevicesList(const QString& Text, QStringList* Warnings)
{
    QList<quint16> serials;
    for (const QString& piece : splitDevicesList(Text)) {
        if (piece.isEmpty() || !IsIntStr(piece))
            continue;
        const qint64 value = StrToInt64Fixed(piece).value_or(-1);
        if (value >= 0 && value <= 0xFFFF) {
            serials << static_cast<quint16>(value);
        } else if (Warnings) {
            *Warnings << QStringLiteral("Файл настроек: серийный номер \"%1\" в списке %2 (раздел %3) "
                                        "вне диапазона 0..65535 и пропущен")
                             .arg(piece, KeyDevicesList, SectionDevices);
        }
    }
    return serials;
}

QList<quint16> ReadSettings(const QString& FileName, QStringList& Warnings, TWindowGeometry* Geometry)
{
    const IniFile ini(FileName);

    ArchivePath = ini.ReadString(SectionArchive, KeyArchivePath, QString());
    FileRebuildHour =
        readInRange(ini, SectionArchive, KeyFileRebuildHour, DefaultFileRebuildHour, 0, 23, Warnings);
    FileRebuildMin =
        readInRange(ini, SectionArchive, KeyFileRebuildMin, DefaultFileRebuildMin, 0, 59, Warnings);

    const QList<quint16> serials =
        ParseDevicesList(ini.ReadString(SectionDevices, KeyDevicesList, QString()), &Warnings);

    // A port out of range, or not a number, means no port: falling back to COM1
    // would poll whatever hangs there.
    const std::optional<int> port = readInteger(ini, SectionCommunication, KeyRFMainPort, DefaultRFMainPort);
    RFMainPort = port.value_or(0);
    if (RFMainPort < 1 || RFMainPort > 255) {
        Warnings << QStringLiteral("Файл настроек: недопустимое значение \"%1\" параметра %2 (раздел %3), "
                                   "СОМ-порт не выбран")
                        .arg(ini.ReadString(SectionCommunication, KeyRFMainPort, QString()), KeyRFMainPort,
                             SectionCommunication);
        RFMainPort = 0;
    }
    // A channel or power the modem does not know is refused by the modem command
    // with its own journal line; only a channel that does not fit the device
    // record's byte is refused here.
    RFChannel = readInRange(ini, SectionCommunication, KeyRFChannel, DefaultRFChannel, 0, 255, Warnings);
    RFPowerLevel = ini.ReadInteger(SectionCommunication, KeyRFPowerLevel, DefaultRFPowerLevel);

    // Any mode other than 1 polls continuously; another unit keeps the interval.
    PollMode = ini.ReadInteger(SectionPolling, KeyMode, DefaultMode);
    PollUnits = ini.ReadInteger(SectionPolling, KeyUnits, DefaultUnits);
    const std::optional<int> value = readInteger(ini, SectionPolling, KeyValue, DefaultValue);
    PollValue = value.value_or(DefaultValue);
    if (PollUnits >= 0 && PollUnits <= 2) {
        qint64 interval = PollIntervalSecFor(PollUnits, PollValue, PollIntervalSec);
        if (!value || !IsValidPollInterval(interval)) {
            // Checked whatever the mode: switching to interval mode later must not
            // hand the timer an impossible period.
            Warnings << invalidValueText(SectionPolling, KeyValue,
                                         ini.ReadString(SectionPolling, KeyValue, QString()), DefaultValue);
            PollValue = DefaultValue;
            interval = PollIntervalSecFor(PollUnits, PollValue, PollIntervalSec);
        }
        PollIntervalSec = static_cast<int>(interval);
    }

    SoundMode =
        IndexToSoundMode(readInRange(ini, SectionSound, KeySoundMode, DefaultSoundMode, 0, 2, Warnings),
                         TSoundMode::Multimedia);
    SoundRepeatMode = IndexToSoundRepeatMode(
        readInRange(ini, SectionSound, KeySoundRepeatMode, DefaultSoundRepeatMode, 0, 1, Warnings),
        TSoundRepeatMode::Once);

    if (Geometry) {
        Geometry->Height = ini.ReadInteger(SectionGeneral, KeyWindowHeight, Geometry->Height);
        Geometry->Width = ini.ReadInteger(SectionGeneral, KeyWindowWidth, Geometry->Width);
        Geometry->XPos = ini.ReadInteger(SectionGeneral, KeyWindowXPos, Geometry->XPos);
        Geometry->YPos = ini.ReadInteger(SectionGeneral, KeyWindowYPos, Geometry->YPos);
    }
    return serials;
}

void RebuildDevArray(const QList<quint16>& Serials)
{
    ClearDevArray();
    DevArray.reserve(Serials.size());
    for (const quint16 serial : Serials)
        DevArray.push_back(std::make_unique<TTableDevice>(serial));
}

TSettingsValues CurrentSettingsValues()
{
    TSettingsValues v;
    v.ArchivePath = ArchivePath;
    v.FileRebuildHour = FileRebuildHour;
    v.FileRebuildMin = FileRebuildMin;
    v.RFMainPort = RFMainPort;
    v.RFChannel = RFChannel;
    v.RFPowerLevel = RFPowerLevel;
    v.Mode = PollMode;
    v.Units = PollUnits;
    v.Value = PollValue;
    v.SoundMode = SoundModeToIndex(SoundMode, DefaultSoundMode);
    v.SoundRepeatMode = SoundRepeatModeToIndex(SoundRepeatMode, DefaultSoundRepeatMode);
    return v;
}

bool WriteDevicesList(const QString& FileName, QString& Error)
{
    QList<qint64> serials;
    serials.reserve(static_cast<qsizetype>(DevArray.size()));
    for (const auto& row : DevArray)
        serials << row->Device->SerialNum;
    return IniFile(FileName).WriteString(SectionDevices, KeyDevicesList, joinSerials(serials), Error);
}

bool WriteArchivePath(const QString& FileName, const QString& Path, QString& Error)
{
    return IniFile(FileName).WriteString(SectionArchive, KeyArchivePath, Path, Error);
}

bool WriteWindowGeometry(const QString& FileName, int Height, int Width, int XPos, int YPos, QString& Error)
{
    const auto n = [](int V) { return QString::number(V); };
    return IniFile(FileName).WriteStrings({{SectionGeneral, KeyWindowHeight, n(Height)},
                                           {SectionGeneral, KeyWindowWidth, n(Width)},
                                           {SectionGeneral, KeyWindowXPos, n(XPos)},
                                           {SectionGeneral, KeyWindowYPos, n(YPos)}},
                                          Error);
}

bool WriteCommSettings(const QString& FileName, const TSettingsValues& Values, QString& Error)
{
    const auto n = [](int V) { return QString::number(V); };
    // One save: a failure leaves the file as it was, never half old, half new.
    return IniFile(FileName).WriteStrings({{SectionArchive, KeyArchivePath, Values.ArchivePath},
                                           {SectionArchive, KeyFileRebuildHour, n(Values.FileRebuildHour)},
                                           {SectionArchive, KeyFileRebuildMin, n(Values.FileRebuildMin)},
                                           {SectionCommunication, KeyRFMainPort, n(Values.RFMainPort)},
                                           {SectionCommunication, KeyRFChannel, n(Values.RFChannel)},
                                           {SectionCommunication, KeyRFPowerLevel, n(Values.RFPowerLevel)},
                                           {SectionPolling, KeyMode, n(Values.Mode)},
                                           {SectionPolling, KeyUnits, n(Values.Units)},
                                           {SectionPolling, KeyValue, n(Values.Value)},
                                           {SectionSound, KeySoundMode, n(Values.SoundMode)},
                                           {SectionSound, KeySoundRepeatMode, n(Values.SoundRepeatMode)}},
                                          Error);
}

TDevicesListEdit AddSerialToDevicesList(const QString& FileName, quint16 Serial, QString& Error)
{
    const QString stored = readDevicesListText(FileName);
    const QList<qint64> numbers = storedNumbers(stored);
    for (const qint64 n : numbers) {
        // A number that does not fit 16 bits (65548) must not pass for another
        // device (12); a hand-edited list like that is refused.
        if (n < 0 || n > 0xFFFF)
            return TDevicesListEdit::OutOfRange;
    }
    if (numbers.contains(Serial))
        return TDevicesListEdit::AlreadyPresent;

    const QString blankFree = DeleteSpaces(stored);
    const QString number = QString::number(Serial);
    const QString updated = blankFree.isEmpty() ? number : blankFree + QLatin1Char(',') + number;
    return IniFile(FileName).WriteString(SectionDevices, KeyDevicesList, updated, Error)
               ? TDevicesListEdit::Done
               : TDevicesListEdit::WriteFailed;
}

TDevicesListEdit RemoveSerialFromDevicesList(const QString& FileName, quint16 Serial, QString& Error)
{
    const QList<qint64> numbers = storedNumbers(readDevicesListText(FileName));
    if (!numbers.contains(Serial))
        return TDevicesListEdit::NotFound;

    QList<qint64> remaining;
    for (const qint64 n : numbers) {
        if (n != Serial && n >= 0)
            remaining << n;
    }
    return IniFile(FileName).WriteString(SectionDevices, KeyDevicesList, joinSerials(remaining), Error)
               ? TDevicesListEdit::Done
               : TDevicesListEdit::WriteFailed;
}
