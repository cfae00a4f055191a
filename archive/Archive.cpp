#include "archive/Archive.h"

#include "dispatcher/DispatcherState.h"
#include "platform/Prompts.h"
#include "ui_Archive.h"

#include <QFileInfo>

TFormArchive* FormArchive = nullptr;

namespace {
const QString Caption = QStringLiteral("Кловарис");
} // namespace

TFormArchive::TFormArchive(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFormArchive>())
{
    ui->setupUi(this);
}

TFormArchive::~TFormArchive()
{
    if (FormArchive == this)
        FormArchive = nullptr;
}

void TFormArchive::InitArchiveFiles()
{
    const struct
    {
        TArchiveStore& Store;
        QString Name;
    } files[] = {
        {Writer_.cdsDevices, QStringLiteral("Devices.cds")},
        {Writer_.cdsChannels, QStringLiteral("Channels.cds")},
    };
    for (const auto& f : files) {
        f.Store.SetFileName(ArchiveDir + f.Name);
        if (!QFileInfo::exists(f.Store.FileName()))
            InitArchiveFile(f.Store, f.Store.DatabaseWord());
    }
}

bool TFormArchive::InitArchiveFile(TArchiveStore& Store, const QString& Word)
{
    QString sysErr;
    switch (Store.Create(sysErr)) {
    case TArchiveStore::TCreateResult::Created:
        break;
    case TArchiveStore::TCreateResult::NotStarted:
        Prompts::Current().Message(this,
                                   QStringLiteral("Не удалось открыть базу данных ") + Word +
                                       QStringLiteral("! Устаните причину и перезапустите программу."),
                                   Caption, QMessageBox::Critical);
        return false;
    case TArchiveStore::TCreateResult::NotWritten:
        Prompts::Current().Message(this,
                                   QStringLiteral("Не удалось создать файл базы данных ") + Word +
                                       QStringLiteral(": \"") + sysErr + QStringLiteral("\"!\r\n") +
                                       QStringLiteral("Устраните причину и перезапустите программу."),
                                   Caption, QMessageBox::Critical);
        TerminateRequested_ = true;
        Q_EMIT TerminateApplication();
        break;
    }
    return true;
}

bool TFormArchive::OpenArchiveFiles()
{
    InitArchiveFiles();
    return !TerminateRequested_;
}

void TFormArchive::CloseArchiveFiles()
{
    Writer_.CloseAll();
}
