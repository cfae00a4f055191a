#include "dispatcher/EepromErrorDialog.h"

#include "core/NetComm.h"
#include "ui_EepromErrorDialog.h"

#include <QKeyEvent>
#include <QPointer>

TFormEepromErrorDialog* FormEepromErrorDialog = nullptr;

namespace {
constexpr int LabelMargin = 48;  // label width is the window width less this
constexpr int ButtonGap = 16;    // between the text and the button
constexpr int BottomMargin = 48; // below the button
constexpr char16_t EscapeKey = 27;
} // namespace

TFormEepromErrorDialog::TFormEepromErrorDialog(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TFormEepromErrorDialog>())
{
    ui->setupUi(this);
    // A small tool window with only the close button.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    connect(ui->ButtonOk, &QPushButton::clicked, this, &TFormEepromErrorDialog::ButtonOkClick);
}

TFormEepromErrorDialog::~TFormEepromErrorDialog() = default;

void TFormEepromErrorDialog::SetMessageText(const QString& Text)
{
    QLabel* const label = ui->Label1;
    QPushButton* const button = ui->ButtonOk;

    // The label's maximum width caps this at 400.
    label->resize(width() - LabelMargin, label->height());
    label->setText(Text);
    // The label keeps its width and takes the height of the wrapped text.
    // An empty text still takes one line, so the window keeps its shape.
    const int textHeight =
        Text.isEmpty() ? label->fontMetrics().height() : label->heightForWidth(label->width());
    label->resize(label->width(), textHeight);

    button->move(width() / 2 - button->width() / 2, label->y() + label->height() + ButtonGap);
    setFixedSize(width(), button->y() + button->height() + BottomMargin);
}

void TFormEepromErrorDialog::ShowMessage(const QString& Text)
{
    SetMessageText(Text);
    if (isVisible())
        raise(); // an open window comes to the front with its new text
    else
        show();
}

QString TFormEepromErrorDialog::MessageText() const
{
    return ui->Label1->text();
}

void TFormEepromErrorDialog::ButtonOkClick()
{
    close();
}

void TFormEepromErrorDialog::FormKeyPress(QChar Key)
{
    if (Key == QChar(EscapeKey))
        close();
}

void TFormEepromErrorDialog::keyPressEvent(QKeyEvent* Event)
{
    // The window sees its keys before its button does; Esc closes it.
    if (Event->key() == Qt::Key_Escape) {
        FormKeyPress(QChar(EscapeKey));
        Event->accept();
        return;
    }
    QDialog::keyPressEvent(Event);
}

void ConnectNetWarnings(TFormEepromErrorDialog* Dialog)
{
    if (!Dialog) {
        SetNetWarningHandler({});
        return;
    }
    SetNetWarningHandler([Target = QPointer<TFormEepromErrorDialog>(Dialog)](const QString& Text) {
        if (Target)
            Target->ShowMessage(Text);
    });
}
