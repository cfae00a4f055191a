#include "core/NetComm.h"
#include "dispatcher/EepromErrorDialog.h"
#include "support/FakeConnection.h"
#include "support/QStringPrinter.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <array>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Dialog
{
    TFormEepromErrorDialog Form;
    QLabel* Label = Form.findChild<QLabel*>(QStringLiteral("Label1"));
    QPushButton* Button = Form.findChild<QPushButton*>(QStringLiteral("ButtonOk"));
};

// Height of one line of text in the label's font, as the platform measures it.
int LineHeight(const QLabel& Label)
{
    return QFontMetrics(Label.font()).height();
}

} // namespace

TEST(EepromErrorDialog, StartsWithTheDesignedLayout)
{
    Dialog d;
    ASSERT_NE(d.Label, nullptr);
    ASSERT_NE(d.Button, nullptr);
    EXPECT_EQ(d.Form.windowTitle(), QStringLiteral("Внимание!"));
    EXPECT_EQ(d.Form.size(), QSize(510, 82));
    EXPECT_EQ(d.Label->pos(), QPoint(16, 16));
    EXPECT_TRUE(d.Label->wordWrap());
    EXPECT_EQ(d.Label->maximumWidth(), 400);
    EXPECT_EQ(d.Button->text(), QStringLiteral("Ok"));
    EXPECT_TRUE(d.Button->isDefault());
    EXPECT_EQ(d.Button->size(), QSize(75, 25));
    const Qt::WindowFlags flags = d.Form.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(d.Form.isModal());
}

TEST(EepromErrorDialog, OneLineTextPutsTheButtonBelowIt)
{
    Dialog d;
    d.Form.SetMessageText(QStringLiteral("Опрос недоступен"));
    const int line = LineHeight(*d.Label);
    EXPECT_EQ(d.Label->width(), 400) << "510 - 48 is capped at the label's maximum";
    EXPECT_EQ(d.Label->height(), line);
    EXPECT_EQ(d.Button->y(), 16 + line + 16);
    EXPECT_EQ(d.Button->x(), 510 / 2 - 75 / 2);
    EXPECT_EQ(d.Form.height(), d.Button->y() + 25 + 48);
    EXPECT_EQ(d.Form.width(), 510);
    if (line == 13) {
        EXPECT_EQ(d.Button->y(), 45);
        EXPECT_EQ(d.Form.height(), 118);
    }
}

TEST(EepromErrorDialog, EmptyAndMarkupTextsKeepTheOneLineShapeAndShowLiterally)
{
    Dialog d;
    const int line = LineHeight(*d.Label);
    d.Form.SetMessageText(QString());
    EXPECT_EQ(d.Button->y(), 16 + line + 16);
    d.Form.SetMessageText(QStringLiteral("<b>№1234</b>"));
    EXPECT_EQ(d.Label->textFormat(), Qt::PlainText);
    EXPECT_EQ(d.Form.MessageText(), QStringLiteral("<b>№1234</b>"));
    EXPECT_EQ(d.Button->y(), 16 + line + 16);
}

TEST(EepromErrorDialog, LongTextWrapsAtTheLabelWidthAndGrowsDownward)
{
    Dialog d;
    const QString longText = QStringLiteral(
        "Получен пакет от другого устройства (№1234), возможно на данном радиоканале работает другой "
        "радиомодем. Получен пакет от другого устройства (№1234), возможно на данном радиоканале работает "
        "другой радиомодем.");
    d.Form.SetMessageText(longText);
    const int line = LineHeight(*d.Label);
    const QFontMetrics fm(d.Label->font());
    ASSERT_GT(fm.horizontalAdvance(longText), 3 * 400) << "the text must need several lines";

    EXPECT_EQ(d.Label->width(), 400);
    EXPECT_GE(d.Label->height(), 3 * line);
    // The label shows all of it: its height is what the wrapped text needs at 400 pixels.
    EXPECT_EQ(d.Label->height(),
              fm.boundingRect(QRect(0, 0, 400, 100000), Qt::TextWordWrap, longText).height());
    EXPECT_EQ(d.Button->y(), 16 + d.Label->height() + 16);
    EXPECT_EQ(d.Form.height(), d.Button->y() + 25 + 48);
    EXPECT_EQ(d.Form.width(), 510);
    EXPECT_EQ(d.Label->y(), 16);

    // A second message replaces the text and lays the window out afresh.
    d.Form.SetMessageText(QStringLiteral("Коротко"));
    EXPECT_EQ(d.Form.MessageText(), QStringLiteral("Коротко"));
    EXPECT_EQ(d.Label->height(), line);
    EXPECT_EQ(d.Form.height(), 16 + line + 16 + 25 + 48);
    EXPECT_EQ(d.Form.width(), 510);
}

TEST(EepromErrorDialog, OkAndEscapeCloseTheWindow)
{
    Dialog d;
    d.Form.ShowMessage(QStringLiteral("Первое"));
    ASSERT_TRUE(d.Form.isVisible());
    QTest::keyClick(&d.Form, Qt::Key_Escape);
    EXPECT_FALSE(d.Form.isVisible());

    // Esc reaches the window while its button has the focus.
    d.Form.ShowMessage(QStringLiteral("Второе"));
    ASSERT_TRUE(d.Form.isVisible());
    QTest::keyClick(d.Button, Qt::Key_Escape);
    EXPECT_FALSE(d.Form.isVisible());

    d.Form.ShowMessage(QStringLiteral("Третье"));
    QTest::mouseClick(d.Button, Qt::LeftButton);
    EXPECT_FALSE(d.Form.isVisible());

    // Other keys leave it open.
    d.Form.ShowMessage(QStringLiteral("Четвёртое"));
    QTest::keyClick(&d.Form, Qt::Key_A);
    EXPECT_TRUE(d.Form.isVisible());
    d.Form.FormKeyPress(QChar(27));
    EXPECT_FALSE(d.Form.isVisible());
}

TEST(EepromErrorDialog, ReplyFromAnotherDeviceShowsUpInTheOneWindow)
{
    auto dialog = std::make_unique<Dialog>();
    ConnectNetWarnings(&dialog->Form);

    std::array<TNetRequest, 1> req{};
    req[0].NetFunc = NetFunction::Read;
    req[0].RegAddr = 0x0205;
    req[0].DataLen = 4;
    std::array<TNetRequest, ExtraRecordsSize> extra{};
    int extraCount = 0;
    quint8 rf = 0;
    bool noReply = false;
    QString err;

    FakeConnection conn;
    conn.Reply(MakeNetReply(1234, {})).Reply(MakeNetReply(4321, {}));
    EXPECT_FALSE(NetExchange(conn, 1235, req, err, extra, extraCount, rf, noReply));
    EXPECT_TRUE(dialog->Form.isVisible());
    EXPECT_EQ(dialog->Form.MessageText(),
              QStringLiteral("Получен пакет от другого устройства (№1234), возможно на "
                             "данном радиоканале работает другой радиомодем"));
    const int height = dialog->Form.height();

    // The next warning replaces the text in the same window.
    EXPECT_FALSE(NetExchange(conn, 1235, req, err, extra, extraCount, rf, noReply));
    EXPECT_TRUE(dialog->Form.MessageText().contains(QStringLiteral("(№4321)")));
    EXPECT_EQ(dialog->Form.height(), height);
    int warningWindows = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        warningWindows += (qobject_cast<TFormEepromErrorDialog*>(w) && w->isVisible()) ? 1 : 0;
    EXPECT_EQ(warningWindows, 1);

    // A window that is gone is not written to.
    dialog.reset();
    conn.Reply(MakeNetReply(1, {}));
    EXPECT_FALSE(NetExchange(conn, 2, req, err, extra, extraCount, rf, noReply));
    ConnectNetWarnings(nullptr);
}
