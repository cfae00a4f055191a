#include "dispatcher/Password.h"

#include "dispatcher/DispatcherState.h"
#include "ui_Password.h"

#include <QFocusEvent>

TFormPassword* FormPassword = nullptr;

bool IsServiceCode(const QString& Text)
{
    return Text == QStringLiteral("2719460853");
}

TFormPassword::TFormPassword(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFormPassword>())
{
    ui->setupUi(this);
    // A tool window without border icons; it closes through its buttons or Esc.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    QPalette warning = ui->LabelWarning->palette();
    warning.setColor(QPalette::WindowText, Qt::red);
    ui->LabelWarning->setPalette(warning);
    // The warning comes and goes without the dialog changing its size.
    QSizePolicy keepSpace = ui->LabelWarning->sizePolicy();
    keepSpace.setRetainSizeWhenHidden(true);
    ui->LabelWarning->setSizePolicy(keepSpace);

    // Every typed character shows as "*", whatever the style would draw.
    ui->JvEditPasswd->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    connect(ui->ButtonApplyPasswd, &QPushButton::clicked, this, &TFormPassword::ButtonApplyPasswdClick);
    connect(ui->ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->JvEditPasswd->installEventFilter(this);
    FormCreate();
}

TFormPassword::~TFormPassword()
{
    if (FormPassword == this)
        FormPassword = nullptr;
}

void TFormPassword::FormCreate()
{
    ui->LabelWarning->hide();
    ui->JvEditPasswd->clear();
}

void TFormPassword::ButtonApplyPasswdClick()
{
    ui->LabelWarning->hide();
    if (IsServiceCode(ui->JvEditPasswd->text())) {
        SuperuserMode = true;
        accept();
        return;
    }
    ui->LabelWarning->show();
}

void TFormPassword::FormClose()
{
    ui->LabelWarning->hide();
    if (!ui->CheckBoxRememberPasswd->isChecked())
        ui->JvEditPasswd->clear();
}

void TFormPassword::done(int Result)
{
    SelectOnActivate_ = false;
    FormClose();
    QDialog::done(Result);
}

void TFormPassword::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    // The remembered text comes up selected, so typing replaces it. The edit
    // drops a selection it holds while its window is not yet active, so the
    // selection is made again once the window has become active.
    ui->JvEditPasswd->setFocus();
    ui->JvEditPasswd->selectAll();
    SelectOnActivate_ = true;
}

bool TFormPassword::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == ui->JvEditPasswd && Event->type() == QEvent::FocusIn && SelectOnActivate_ &&
        static_cast<QFocusEvent*>(Event)->reason() == Qt::ActiveWindowFocusReason) {
        SelectOnActivate_ = false;
        ui->JvEditPasswd->selectAll();
    }
    return QDialog::eventFilter(Watched, Event);
}
