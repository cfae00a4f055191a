#pragma once

#include <QSpinBox>

// A whole-number field that keeps what the operator typed. A plain spin box
// refuses a digit that would leave its range (65536 becomes 6553) and puts its
// previous value back when Enter is pressed or the focus leaves (0 becomes 1),
// before any check of the dialog runs. This one takes every number that fits an
// int as typed; its bounds (lowest, highest) hold for the arrows only, and the
// dialog checks the typed number against them with TypedValue and refuses it
// with its own message.
class TIntSpinEdit : public QSpinBox
{
    Q_OBJECT
    Q_PROPERTY(int lowest READ Lowest WRITE setLowest)
    Q_PROPERTY(int highest READ Highest WRITE setHighest)

public:
    explicit TIntSpinEdit(QWidget* Parent = nullptr);

    int Lowest() const { return Lowest_; }
    void setLowest(int Lowest);
    int Highest() const { return Highest_; }
    void setHighest(int Highest);

    // The number as typed, when it is one within the bounds.
    bool TypedValue(int& Value) const;
    // "Недопустимое значение ... в поле ...": the refusal of the typed text.
    QString RefusalText(const QString& Field) const;

    void stepBy(int Steps) override;
    // As wide as the bounds need, not the editor's whole range.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;

private:
    int excessWidth() const;
    // Runs the spin box's own Enter or focus-out handling, which puts the last
    // number back in place of a text that is none ("", "-"), and then shows the
    // text as typed again, so the dialog's check sees and refuses it.
    template <typename Handling> void keepTypedText(Handling&& Handle);

    int Lowest_ = 0;
    int Highest_ = 99;
};
