#include "charts/Mover.h"

#include "charts/PrintGeometry.h"

#include <QMouseEvent>
#include <QRubberBand>
#include <QWidget>

namespace {
constexpr int MinWidth = 18;
constexpr int MinHeight = 14;
} // namespace

TMover::TMover(QWidget* Control)
{
    if (Control)
        SetControl(Control);
}

TMover::~TMover()
{
    if (Control_)
        Control_->removeEventFilter(this);
    delete Focus_;
}

void TMover::SetControl(QWidget* Control)
{
    if (Control_)
        Control_->removeEventFilter(this);
    CancelDrag();
    Control_ = Control;
    CursorChanged_ = false;
    if (!Control_)
        return;
    Control_->installEventFilter(this);
    // The hover cursor needs moves without a button held.
    Control_->setMouseTracking(true);
}

TPrintRect TMover::FocusRect() const
{
    if (!Focus_ || !Focus_->isVisible())
        return {};
    return TPrintRect::FromQRect(Focus_->geometry());
}

bool TMover::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched != Control_)
        return false;
    switch (Event->type()) {
    case QEvent::MouseButtonPress:
        ControlMouseDown(*static_cast<QMouseEvent*>(Event));
        return true;
    case QEvent::MouseButtonDblClick:
        // The second press of a double click starts nothing.
        return true;
    case QEvent::MouseMove:
        ControlMouseMove(static_cast<QMouseEvent*>(Event)->position().toPoint());
        return true;
    case QEvent::MouseButtonRelease:
        ControlMouseUp();
        return true;
    case QEvent::Hide:
        // A drag cut short by closing the window leaves no focus rectangle behind.
        CancelDrag();
        return false;
    default:
        return false;
    }
}

void TMover::ControlMouseDown(const QMouseEvent& Event)
{
    constexpr Qt::KeyboardModifiers keys = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
    if (Mode_ != TMode::Idle || Event.button() != Qt::LeftButton || Event.buttons() != Qt::LeftButton ||
        (Event.modifiers() & keys))
        return;
    const QPoint pos = Event.position().toPoint();
    MouseX_ = pos.x();
    MouseY_ = pos.y();
    NewRect_ = TPrintRect::FromQRect(Control_->geometry());
    Aspect_ = static_cast<double>(Control_->width()) / Control_->height();
    if (!CursorChanged_)
        Mode_ = TMode::Move;
    else if (Control_->cursor().shape() == Qt::SizeHorCursor)
        Mode_ = TMode::ResizeWidth;
    else
        Mode_ = TMode::ResizeHeight;
    if (Focus_ && Focus_->parentWidget() != Control_->parentWidget())
        delete Focus_;
    if (!Focus_)
        Focus_ = new QRubberBand(QRubberBand::Rectangle, Control_->parentWidget());
    Focus_->setGeometry(NewRect_.ToQRect());
    Focus_->show();
    Focus_->raise();
}

void TMover::ControlMouseMove(const QPoint& Pos)
{
    const int x = Pos.x();
    const int y = Pos.y();
    switch (Mode_) {
    case TMode::Idle:
        UpdateHoverCursor(x, y);
        break;
    case TMode::Move:
        if (MoveRect(x - MouseX_, y - MouseY_))
            UpdateFocusRect(x, y);
        break;
    case TMode::ResizeWidth:
        if (ResizeRect(x - MouseX_, true))
            UpdateFocusRect(x, y);
        break;
    case TMode::ResizeHeight:
        if (ResizeRect(y - MouseY_, false))
            UpdateFocusRect(x, y);
        break;
    }
}

void TMover::ControlMouseUp()
{
    if (Mode_ == TMode::Idle)
        return;
    Mode_ = TMode::Idle;
    if (Focus_)
        Focus_->hide();
    Control_->setGeometry(NewRect_.ToQRect());
}

void TMover::CancelDrag()
{
    Mode_ = TMode::Idle;
    if (Focus_)
        Focus_->hide();
}

void TMover::UpdateFocusRect(int X, int Y)
{
    if (Focus_)
        Focus_->setGeometry(NewRect_.ToQRect());
    MouseX_ = X;
    MouseY_ = Y;
}

void TMover::UpdateHoverCursor(int X, int Y)
{
    // The right edge wins over the bottom one, so the corner resizes by width.
    if (std::abs(Control_->width() - X) < 8)
        SetHoverCursor(Qt::SizeHorCursor);
    else if (std::abs(Control_->height() - Y) < 6)
        SetHoverCursor(Qt::SizeVerCursor);
    else
        RestoreCursor();
}

void TMover::SetHoverCursor(Qt::CursorShape Shape)
{
    if (Control_->cursor().shape() == Shape)
        return;
    if (!CursorChanged_) {
        OldCursorSet_ = Control_->testAttribute(Qt::WA_SetCursor);
        OldCursor_ = Control_->cursor();
        CursorChanged_ = true;
    }
    Control_->setCursor(Shape);
}

void TMover::RestoreCursor()
{
    if (!CursorChanged_)
        return;
    if (OldCursorSet_)
        Control_->setCursor(OldCursor_);
    else
        Control_->unsetCursor();
    CursorChanged_ = false;
}

bool TMover::MoveRect(int Dx, int Dy)
{
    TPrintRect r = NewRect_.Moved(Dx, Dy);
    const TPrintRect& b = Bounds_;
    if (b.Top > r.Top)
        r = r.Moved(0, b.Top - r.Top);
    if (b.Left > r.Left)
        r = r.Moved(b.Left - r.Left, 0);
    if (b.Bottom < r.Bottom)
        r = r.Moved(0, b.Bottom - r.Bottom);
    if (b.Right < r.Right)
        r = r.Moved(b.Right - r.Right, 0);
    const bool changed = r != NewRect_;
    NewRect_ = r;
    return changed;
}

bool TMover::ResizeRect(int Delta, bool ByWidth)
{
    using PrintGeometry::Round;
    TPrintRect r = NewRect_;
    const TPrintRect& b = Bounds_;
    if (ByWidth) {
        r.Right += Delta;
        if (r.Right > b.Right)
            r.Right = b.Right;
        if (r.Width() < MinWidth)
            r.Right = r.Left + MinWidth;
        r.Bottom = r.Top + Round(r.Width() / Aspect_);
        if (r.Bottom > b.Bottom) {
            r.Bottom = b.Bottom;
            r.Right = r.Left + Round(r.Height() * Aspect_);
        }
    } else {
        r.Bottom += Delta;
        if (r.Bottom > b.Bottom)
            r.Bottom = b.Bottom;
        if (r.Height() < MinHeight)
            r.Bottom = r.Top + MinHeight;
        r.Right = r.Left + Round(r.Height() * Aspect_);
        if (r.Right > b.Right) {
            r.Right = b.Right;
            r.Bottom = r.Top + Round(r.Width() / Aspect_);
        }
    }
    if (r.Right > b.Right || r.Bottom > b.Bottom || r.Width() < MinWidth || r.Height() < MinHeight)
        return false;
    NewRect_ = r;
    return true;
}
