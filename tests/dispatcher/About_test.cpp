#include "dispatcher/About.h"
#include "support/QStringPrinter.h"

#include <QEnterEvent>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class AboutBox : public ::testing::Test
{
protected:
    QLabel* label(const char* Name) const { return Form->findChild<QLabel*>(QString::fromLatin1(Name)); }
    void make(const QString& Stamp)
    {
        Form = std::make_unique<TFormAbout>(nullptr, Stamp);
        Form->SetUrlOpener([this](const QUrl& Url) {
            Opened << Url;
            return true;
        });
    }
    void open()
    {
        Form->open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    }

    std::unique_ptr<TFormAbout> Form;
    QList<QUrl> Opened;
};

const QColor Navy(0, 0, 128);

} // namespace

TEST_F(AboutBox, ShowsTheProductAndItsVersionInNavy)
{
    make(QStringLiteral("2.3.40.5"));
    EXPECT_EQ(Form->windowTitle(), QStringLiteral("О программе..."));
    EXPECT_EQ(Form->windowFlags() & Qt::WindowType_Mask, Qt::Tool);

    QLabel* product = label("Label2");
    ASSERT_TRUE(product);
    EXPECT_EQ(product->text(), QStringLiteral("Кловарис"));
    EXPECT_TRUE(product->font().bold());
    EXPECT_TRUE(product->wordWrap());
    EXPECT_EQ(product->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(product->palette().color(QPalette::WindowText), Navy);

    QLabel* version = label("LabelVersion");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->text(), QStringLiteral("Версия 2.3.40.5"));
    EXPECT_EQ(version->palette().color(QPalette::WindowText), Navy);

    ASSERT_TRUE(label("Label1"));
    EXPECT_TRUE(label("Label1")->font().bold());
    ASSERT_TRUE(label("Image1") && label("Image2"));
    EXPECT_EQ(label("Image1")->pixmap().size(), QSize(220, 220));
    EXPECT_EQ(label("Image1")->size(), QSize(220, 220));
    EXPECT_FALSE(label("Image2")->pixmap().isNull());
}

TEST_F(AboutBox, VersionComesFromTheBuildWithFourParts)
{
    make(ProgramVersionStamp());
    QString expected = QStringLiteral(KLOV_VERSION);
    while (expected.count(QLatin1Char('.')) < 3)
        expected += QStringLiteral(".0");
    EXPECT_EQ(label("LabelVersion")->text(), QStringLiteral("Версия ") + expected);
    EXPECT_EQ(ProgramVersionStamp(), QStringLiteral(KLOV_VERSION));

    // Without a version the label keeps only its first word and the blank.
    make(QString());
    EXPECT_EQ(label("LabelVersion")->text(), QStringLiteral("Версия "));
}

TEST(FileVersion, ReadsUpToFourSixteenBitParts)
{
    quint16 a = 9, b = 9, c = 9, d = 9;
    EXPECT_FALSE(GetFileVersion(QString(), a, b, c, d));
    EXPECT_EQ(std::tie(a, b, c, d), std::make_tuple(0, 0, 0, 0));

    EXPECT_TRUE(GetFileVersion(QStringLiteral("1.2"), a, b, c, d));
    EXPECT_EQ(std::tie(a, b, c, d), std::make_tuple(1, 2, 0, 0));
    EXPECT_TRUE(GetFileVersion(QStringLiteral("65535.0.7.65535"), a, b, c, d));
    EXPECT_EQ(std::tie(a, b, c, d), std::make_tuple(65535, 0, 7, 65535));

    // A stamp that exists but does not read gives true and every part 0.
    for (const QString& odd : {QStringLiteral("65536.1"), QStringLiteral("1.2.3.4.5"), QStringLiteral("1..2"),
                               QStringLiteral("beta"), QStringLiteral("-1.0")}) {
        a = b = c = d = 9;
        EXPECT_TRUE(GetFileVersion(odd, a, b, c, d)) << odd.toStdString();
        EXPECT_EQ(std::tie(a, b, c, d), std::make_tuple(0, 0, 0, 0)) << odd.toStdString();
    }

    QString s = QStringLiteral("old");
    GetVersionString(QString(), s);
    EXPECT_TRUE(s.isEmpty());
    GetVersionString(QStringLiteral("beta"), s);
    EXPECT_EQ(s, QStringLiteral("0.0.0.0"));
}

TEST_F(AboutBox, ContactLabelsOpenTheAddressesTheyShow)
{
    make(QString());
    open();
    QLabel* url = label("LabelURL");
    QLabel* mail = label("LabelEmail");
    ASSERT_TRUE(url && mail);
    EXPECT_EQ(url->toolTip(), QStringLiteral("Открыть интернет-сайт в браузере"));
    EXPECT_EQ(mail->toolTip(), QStringLiteral("Написать письмо"));

    QTest::mouseClick(url, Qt::LeftButton);
    QTest::mouseClick(mail, Qt::LeftButton);
    ASSERT_EQ(Opened.size(), 2);
    EXPECT_EQ(Opened[0], TFormAbout::MakerWebAddress());
    EXPECT_EQ(Opened[0].scheme(), QStringLiteral("http"));
    EXPECT_EQ(url->text(), Opened[0].host());
    EXPECT_EQ(Opened[1], TFormAbout::MakerMailAddress());
    EXPECT_EQ(Opened[1].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(mail->text(), QStringLiteral("e-mail: ") + Opened[1].path());

    // A right click, or a press released off the label, opens nothing.
    QTest::mouseClick(url, Qt::RightButton);
    QTest::mousePress(mail, Qt::LeftButton);
    QTest::mouseRelease(mail, Qt::LeftButton, {}, QPoint(mail->width() + 5, mail->height() + 5));
    EXPECT_EQ(Opened.size(), 2);
    EXPECT_TRUE(Form->isVisible());
}

TEST_F(AboutBox, ContactLabelsLightUpUnderTheMouse)
{
    make(QString());
    QLabel* url = label("LabelURL");
    const QColor shadow = Form->palette().color(QPalette::Shadow);
    for (const char* name : {"Label4", "LabelURL", "LabelEmail"})
        EXPECT_EQ(label(name)->palette().color(QPalette::WindowText), shadow) << name;
    EXPECT_FALSE(url->font().underline());

    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(url, &enter);
    EXPECT_EQ(url->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_TRUE(url->font().underline());
    EXPECT_FALSE(label("LabelEmail")->font().underline()) << "only the label under the mouse";

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(url, &leave);
    EXPECT_EQ(url->palette().color(QPalette::WindowText), shadow);
    EXPECT_FALSE(url->font().underline());
}

TEST_F(AboutBox, TypingAKeyClosesTheBox)
{
    make(QString());
    for (const Qt::Key key : {Qt::Key_A, Qt::Key_Escape, Qt::Key_Return, Qt::Key_Space}) {
        open();
        QTest::keyClick(Form.get(), key);
        EXPECT_FALSE(Form->isVisible()) << int(key);
    }
    // A lone modifier or an arrow types nothing.
    open();
    QTest::keyClick(Form.get(), Qt::Key_Shift);
    QTest::keyClick(Form.get(), Qt::Key_Left);
    EXPECT_TRUE(Form->isVisible());
    Form->close();
}
