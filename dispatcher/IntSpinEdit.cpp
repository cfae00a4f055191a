#include "dispatcher/IntSpinEdit.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <limits>

TIntSpinEdit::TIntSpinEdit(QWidget* Parent) : QSpinBox(Parent)
{
    // The editor's own range never cuts or reverts a number; the bounds are checked by the dialog.
    setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
}

void TIntSpinEdit::setLowest(int Lowest)
{
    Lowest_ = Lowest;
}

void TIntSpinEdit::setHighest(int Highest)
{
    Highest_ = Highest;
}

bool TIntSpinEdit::TypedValue(int& Value) const
{
    bool ok = false;
    const int typed = locale().toInt(cleanText(), &ok);
    if (!ok || typed < Lowest_ || typed > Highest_)
        return false;
    Value = typed;
    return true;
}

QString TIntSpinEdit::RefusalText(const QString& Field) const
{
    return QStringLiteral("Недопустимое значение \"%1\" в поле \"%2\": введите целое число от %3 до %4!")
        .arg(cleanText(), Field)
        .arg(Lowest_)
        .arg(Highest_);
}

void TIntSpinEdit::stepBy(int Steps)
{
    // From the typed number when there is one, kept within the bounds.
    bool ok = false;
    const int typed = locale().toInt(cleanText(), &ok);
    const qint64 from = ok ? typed : value();
    setValue(static_cast<int>(std::clamp<qint64>(from + qint64{Steps} * singleStep(), Lowest_, Highest_)));
    selectAll();
}

QAbstractSpinBox::StepEnabled TIntSpinEdit::stepEnabled() const
{
    // An emptied or half-typed field steps from the last number, to any side.
    bool number = false;
    locale().toInt(cleanText(), &number);
    if (!number)
        return StepUpEnabled | StepDownEnabled;
    StepEnabled enabled = StepNone;
    if (value() < Highest_)
        enabled |= StepUpEnabled;
    if (value() > Lowest_)
        enabled |= StepDownEnabled;
    return enabled;
}

template <typename Handling> void TIntSpinEdit::keepTypedText(Handling&& Handle)
{
    const QString typed = lineEdit()->text();
    bool number = false;
    locale().toInt(cleanText(), &number);
    Handle();
    if (!number && lineEdit()->text() != typed)
        lineEdit()->setText(typed);
}

void TIntSpinEdit::keyPressEvent(QKeyEvent* Event)
{
    if (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter)
        keepTypedText([&] { QSpinBox::keyPressEvent(Event); });
    else
        QSpinBox::keyPressEvent(Event);
}

void TIntSpinEdit::focusOutEvent(QFocusEvent* Event)
{
    keepTypedText([&] { QSpinBox::focusOutEvent(Event); });
}

int TIntSpinEdit::excessWidth() const
{
    const QFontMetrics metrics = fontMetrics();
    const auto widest = [&](int Low, int High) {
        return std::max(metrics.horizontalAdvance(textFromValue(Low)),
                        metrics.horizontalAdvance(textFromValue(High)));
    };
    return std::max(0, widest(minimum(), maximum()) - widest(Lowest_, Highest_));
}

QSize TIntSpinEdit::sizeHint() const
{
    return QSpinBox::sizeHint() - QSize(excessWidth(), 0);
}

QSize TIntSpinEdit::minimumSizeHint() const
{
    return QSpinBox::minimumSizeHint() - QSize(excessWidth(), 0);
}
