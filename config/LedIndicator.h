#pragma once

#include <QColor>
#include <QWidget>

// A round indicator lamp: lit it shows its on colour, unlit its off colour.
class TLedIndicator : public QWidget
{
    Q_OBJECT

public:
    explicit TLedIndicator(QWidget* Parent = nullptr);

    bool Active() const { return Active_; }
    void SetActive(bool Active);
    QColor ColorOn() const { return ColorOn_; }
    void SetColorOn(const QColor& Color);
    QColor ColorOff() const { return ColorOff_; }
    void SetColorOff(const QColor& Color);
    // The colour shown now.
    QColor CurrentColor() const { return Active_ ? ColorOn_ : ColorOff_; }

    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    bool Active_ = true;
    QColor ColorOn_ = QColor(0x00, 0xFF, 0x00);
    // Unlit means "something is wrong" wherever the window uses the lamp.
    QColor ColorOff_ = QColor(0xFF, 0x00, 0x00);
};
