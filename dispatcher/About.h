#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

namespace Ui {
class TFormAbout;
}
class QLabel;

// The version the build stamps into the program ("1.0.0": up to four parts);
// empty when the build gave none.
QString ProgramVersionStamp();

// The four parts of a version stamp. False when there is no stamp; a stamp that
// does not read as up to four 16-bit numbers still gives true, with every part 0.
bool GetFileVersion(const QString& Stamp, quint16& Major, quint16& Minor, quint16& Release, quint16& Build);
bool GetFileVersion(quint16& Major, quint16& Minor, quint16& Release, quint16& Build);

// "Major.Minor.Release.Build", or empty without a version.
void GetVersionString(const QString& Stamp, QString& S);
void GetVersionString(QString& S);

// The about box: product name, version and the maker's contacts. The web and
// mail labels open through the desktop.
class TFormAbout : public QDialog
{
    Q_OBJECT

public:
    // Opens a web or mailto address; the desktop's by default.
    using TUrlOpener = std::function<bool(const QUrl&)>;

    explicit TFormAbout(QWidget* Parent = nullptr, const QString& VersionStamp = ProgramVersionStamp());
    ~TFormAbout() override;

    void SetUrlOpener(TUrlOpener Opener) { UrlOpener_ = std::move(Opener); }

    // The addresses the contact labels open.
    static QUrl MakerWebAddress();
    static QUrl MakerMailAddress();

    void FormKeyPress(QChar Key);
    void LabelURLClick();
    void LabelEmailClick();

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FormCreate(const QString& VersionStamp);
    void SetLinkHighlight(QLabel* Label, bool On);

    std::unique_ptr<Ui::TFormAbout> ui;
    TUrlOpener UrlOpener_;
};

extern TFormAbout* FormAbout;
