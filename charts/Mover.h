#pragma once

#include "charts/PrintRect.h"

#include <QCursor>
#include <QObject>
#include <QPointer>

class QMouseEvent;
class QRubberBand;
class QWidget;

// Lets the user move one control with the left mouse button inside a bounding
// rectangle, or resize it from its right or bottom edge keeping its aspect.
// During a drag only a focus rectangle follows the mouse; the control takes
// the new place at the release.
class TMover : public QObject
{
public:
    enum class TMode : quint8
    {
        Idle,
        Move,
        ResizeWidth,
        ResizeHeight
    };

    explicit TMover(QWidget* Control = nullptr);
    ~TMover() override;
    TMover(const TMover&) = delete;
    TMover& operator=(const TMover&) = delete;

    void SetControl(QWidget* Control);
    // In the control's parent coordinates.
    void SetBounds(const TPrintRect& Bounds) { Bounds_ = Bounds; }
    TPrintRect Bounds() const { return Bounds_; }

    TMode Mode() const { return Mode_; }
    // Where the control goes at the release (meaningful during a drag).
    TPrintRect NewRect() const { return NewRect_; }
    // The focus rectangle now shown, in the parent's coordinates; empty when none.
    TPrintRect FocusRect() const;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void ControlMouseDown(const QMouseEvent& Event);
    void ControlMouseMove(const QPoint& Pos);
    void ControlMouseUp();
    void CancelDrag();
    void SetHoverCursor(Qt::CursorShape Shape);
    void RestoreCursor();
    void UpdateHoverCursor(int X, int Y);
    void UpdateFocusRect(int X, int Y);
    bool MoveRect(int Dx, int Dy);
    bool ResizeRect(int Delta, bool ByWidth);

    int MouseX_ = 0;
    int MouseY_ = 0;
    TPrintRect NewRect_;
    TPrintRect Bounds_;
    double Aspect_ = 1;
    QPointer<QWidget> Control_;
    // Owned by the control's parent; gone with it when that goes first.
    QPointer<QRubberBand> Focus_;
    QCursor OldCursor_;
    bool OldCursorSet_ = false;
    bool CursorChanged_ = false;
    TMode Mode_ = TMode::Idle;
};
