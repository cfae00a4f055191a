#include "dispatcher/About.h"

#include "ui_About.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

TFormAbout* FormAbout = nullptr;

namespace {

constexpr char16_t EscapeKey = 27;
const QColor Navy(0, 0, 128);

// Radio waves leaving Centre to the right, as arcs of growing radius.
void drawWaves(QPainter& P, const QPointF& Centre, qreal FirstRadius, qreal Step, int Count, qreal Width,
               const QColor& Colour)
{
    P.setBrush(Qt::NoBrush);
    for (int i = 0; i < Count; ++i) {
        const qreal r = FirstRadius + i * Step;
        QColor c = Colour;
        c.setAlphaF(Colour.alphaF() * (1.0 - 0.22 * i));
        P.setPen(QPen(c, Width, Qt::SolidLine, Qt::RoundCap));
        P.drawArc(QRectF(Centre.x() - r, Centre.y() - r, 2 * r, 2 * r), -40 * 16, 80 * 16);
    }
}

// The large picture: a radio mast talking to a measuring transmitter over a
// trend line, on a dark blue field.
QPixmap drawBackground()
{
    constexpr int Side = 220;
    QPixmap pm(Side, Side);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, Side);
    sky.setColorAt(0, QColor(10, 25, 95));
    sky.setColorAt(1, QColor(60, 110, 175));
    p.fillRect(pm.rect(), sky);

    // A faint chart grid.
    p.setPen(QPen(QColor(255, 255, 255, 28), 1));
    for (int v = 20; v < Side; v += 20) {
        p.drawLine(QPointF(v + 0.5, 0), QPointF(v + 0.5, Side));
        p.drawLine(QPointF(0, v + 0.5), QPointF(Side, v + 0.5));
    }

    // A measured value drifting over time.
    QPainterPath trend;
    trend.moveTo(0, 150);
    trend.cubicTo(40, 120, 70, 175, 110, 140);
    trend.cubicTo(150, 105, 180, 135, Side, 95);
    p.setPen(QPen(QColor(255, 200, 60, 200), 2.5));
    p.drawPath(trend);

    // The mast on the left.
    const QPointF top(48, 62);
    p.setPen(QPen(QColor(220, 225, 235), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(top, QPointF(30, 200));
    p.drawLine(top, QPointF(66, 200));
    p.setPen(QPen(QColor(220, 225, 235), 1.5));
    for (int y = 90; y < 200; y += 22) {
        const qreal half = (y - top.y()) * 18.0 / (200 - top.y());
        p.drawLine(QPointF(top.x() - half, y), QPointF(top.x() + half, y + 22 * 0.6));
    }
    QRadialGradient glow(top, 9);
    glow.setColorAt(0, QColor(255, 90, 80));
    glow.setColorAt(1, QColor(255, 90, 80, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(top, 9, 9);
    drawWaves(p, top, 16, 13, 4, 3, QColor(255, 255, 255, 220));

    // The transmitter on the right with its two channel lamps.
    const QRectF box(142, 150, 54, 38);
    p.setPen(QPen(QColor(30, 40, 60), 1.5));
    QLinearGradient body(box.topLeft(), box.bottomLeft());
    body.setColorAt(0, QColor(235, 238, 242));
    body.setColorAt(1, QColor(170, 178, 190));
    p.setBrush(body);
    p.drawRoundedRect(box, 4, 4);
    p.setPen(QPen(QColor(30, 40, 60), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(box.right() - 10, box.top()), QPointF(box.right() - 10, box.top() - 34));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 190, 80));
    p.drawEllipse(QPointF(box.left() + 12, box.center().y()), 4, 4);
    p.setBrush(QColor(240, 170, 30));
    p.drawEllipse(QPointF(box.left() + 26, box.center().y()), 4, 4);
    const QPointF antenna(box.right() - 10, box.top() - 34);
    p.save();
    p.translate(antenna);
    p.rotate(180);
    drawWaves(p, QPointF(0, 0), 8, 9, 3, 2, QColor(255, 255, 255, 200));
    p.restore();
    return pm;
}

// The small picture beside the maker's name: radio waves on a navy tile.
QPixmap drawEmblem()
{
    constexpr int Side = 32;
    QPixmap pm(Side, Side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Navy);
    p.drawRoundedRect(QRectF(1, 1, Side - 2, Side - 2), 6, 6);
    const QPointF source(8, Side / 2.0);
    p.setBrush(Qt::white);
    p.drawEllipse(source, 3, 3);
    drawWaves(p, source, 8, 6, 3, 2.2, Qt::white);
    return pm;
}

quint16 toPart(const QString& Text, bool& Ok)
{
    const uint v = Text.toUInt(&Ok);
    Ok = Ok && v <= 0xFFFF;
    return Ok ? quint16(v) : 0;
}

} // namespace

QString ProgramVersionStamp()
{
    return QStringLiteral(KLOV_VERSION);
}

bool GetFileVersion(const QString& Stamp, quint16& Major, quint16& Minor, quint16& Release, quint16& Build)
{
    Major = Minor = Release = Build = 0;
    if (Stamp.isEmpty())
        return false;
    const QStringList parts = Stamp.split(QLatin1Char('.'));
    if (parts.size() > 4)
        return true;
    quint16 values[4] = {0, 0, 0, 0};
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        values[i] = toPart(parts[i], ok);
        if (!ok)
            return true;
    }
    Major = values[0];
    Minor = values[1];
    Release = values[2];
    Build = values[3];
    return true;
}

bool GetFileVersion(quint16& Major, quint16& Minor, quint16& Release, quint16& Build)
{
    return GetFileVersion(ProgramVersionStamp(), Major, Minor, Release, Build);
}

void GetVersionString(const QString& Stamp, QString& S)
{
    quint16 major = 0, minor = 0, release = 0, build = 0;
    S = GetFileVersion(Stamp, major, minor, release, build)
            ? QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build)
            : QString();
}

void GetVersionString(QString& S)
{
    GetVersionString(ProgramVersionStamp(), S);
}

TFormAbout::TFormAbout(QWidget* Parent, const QString& VersionStamp)
    : QDialog(Parent), ui(std::make_unique<Ui::TFormAbout>()),
      UrlOpener_([](const QUrl& Url) { return QDesktopServices::openUrl(Url); })
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    ui->Image1->setPixmap(drawBackground());
    ui->Image2->setPixmap(drawEmblem());

    for (QLabel* label : {ui->Label2, ui->LabelVersion}) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, Navy);
        label->setPalette(pal);
    }
    for (QLabel* label : {ui->Label4, ui->LabelURL, ui->LabelEmail})
        SetLinkHighlight(label, false);
    for (QLabel* label : {ui->LabelURL, ui->LabelEmail}) {
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
    }
    FormCreate(VersionStamp);
}

TFormAbout::~TFormAbout()
{
    if (FormAbout == this)
        FormAbout = nullptr;
}

QUrl TFormAbout::MakerWebAddress()
{
    return QUrl(QStringLiteral("http://www.example.com"));
}

QUrl TFormAbout::MakerMailAddress()
{
    return QUrl(QStringLiteral("mailto:info@example.com"));
}

void TFormAbout::FormCreate(const QString& VersionStamp)
{
    QString version;
    GetVersionString(VersionStamp, version);
    ui->LabelVersion->setText(QStringLiteral("Версия ") + version);
}

void TFormAbout::FormKeyPress(QChar)
{
    close();
}

void TFormAbout::keyPressEvent(QKeyEvent* Event)
{
    // Keys that type something (Esc and Enter included) close the box; a lone
    // Shift or an arrow does not.
    if (Event->key() == Qt::Key_Escape) {
        FormKeyPress(QChar(EscapeKey));
    } else if (!Event->text().isEmpty()) {
        FormKeyPress(Event->text().front());
    } else {
        QDialog::keyPressEvent(Event);
        return;
    }
    Event->accept();
}

void TFormAbout::LabelURLClick()
{
    if (UrlOpener_)
        UrlOpener_(MakerWebAddress());
}

void TFormAbout::LabelEmailClick()
{
    if (UrlOpener_)
        UrlOpener_(MakerMailAddress());
}

void TFormAbout::SetLinkHighlight(QLabel* Label, bool On)
{
    QPalette pal = Label->palette();
    pal.setColor(QPalette::WindowText, On ? QColor(Qt::blue) : palette().color(QPalette::Shadow));
    Label->setPalette(pal);
    QFont font = Label->font();
    font.setUnderline(On);
    Label->setFont(font);
}

bool TFormAbout::eventFilter(QObject* Watched, QEvent* Event)
{
    auto* const label = qobject_cast<QLabel*>(Watched);
    if (label != ui->LabelURL && label != ui->LabelEmail)
        return QDialog::eventFilter(Watched, Event);
    switch (Event->type()) {
    case QEvent::Enter:
        SetLinkHighlight(label, true);
        break;
    case QEvent::Leave:
        SetLinkHighlight(label, false);
        break;
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(Event);
        // A press dragged off the label before release is no click.
        if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
            if (label == ui->LabelURL)
                LabelURLClick();
            else
                LabelEmailClick();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(Watched, Event);
}
