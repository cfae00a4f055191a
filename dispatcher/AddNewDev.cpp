#include "dispatcher/AddNewDev.h"

#include "dispatcher/IntSpinEdit.h"
#include "platform/Prompts.h"
#include "ui_AddNewDev.h"

#include <QKeyEvent>

TFormAddNewDevice* FormAddNewDevice = nullptr;

namespace {
constexpr char16_t EscapeKey = 27;
}

TFormAddNewDevice::TFormAddNewDevice(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TFormAddNewDevice>())
{
    ui->setupUi(this);
    // A small tool window with only the close button, as large as its contents.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    connect(ui->Button1, &QPushButton::clicked, this, &TFormAddNewDevice::Button1Click);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

TFormAddNewDevice::~TFormAddNewDevice()
{
    if (FormAddNewDevice == this)
        FormAddNewDevice = nullptr;
}

std::optional<quint16> TFormAddNewDevice::AskSerialNum()
{
    ui->JvSpinEditNewSN->setFocus();
    ui->JvSpinEditNewSN->selectAll();
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return SerialNum();
}

quint16 TFormAddNewDevice::SerialNum() const
{
    return static_cast<quint16>(ui->JvSpinEditNewSN->value());
}

TIntSpinEdit* TFormAddNewDevice::SpinEditNewSN() const
{
    return ui->JvSpinEditNewSN;
}

void TFormAddNewDevice::Button1Click()
{
    // The number as typed: one out of range is refused, never replaced by another.
    int serial = 0;
    if (!ui->JvSpinEditNewSN->TypedValue(serial)) {
        Prompts::Current().Message(this,
                                   ui->JvSpinEditNewSN->RefusalText(QStringLiteral("Серийный № устройства")),
                                   QStringLiteral("Внимание"));
        ui->JvSpinEditNewSN->setFocus();
        ui->JvSpinEditNewSN->selectAll();
        return;
    }
    ui->JvSpinEditNewSN->setValue(serial);
    accept();
}

void TFormAddNewDevice::FormKeyPress(QChar Key)
{
    if (Key == QChar(EscapeKey))
        reject();
}

bool TFormAddNewDevice::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Escape) {
        FormKeyPress(QChar(EscapeKey));
        return true;
    }
    return QDialog::eventFilter(Watched, Event);
}
