#pragma once

#include "tools/mkchm/ChmWriter.h"

#include <QBuffer>
#include <QImage>
#include <QStringEncoder>

// A small Russian help file in the shape the help workshop compiles: pages in
// Windows-1251 without a charset of their own, a picture, nested contents, an
// index with a keyword of two topics, and the help contexts the windows carry.
namespace SampleHelp {

inline QByteArray Ansi(const QString& Text)
{
    QStringEncoder encoder("windows-1251");
    return encoder.encode(Text);
}

inline QByteArray Logo()
{
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(QColor(0x20, 0x60, 0xC0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

inline QByteArray Page(const QString& Title, const QString& Body)
{
    return Ansi(QStringLiteral("<html><head><title>") + Title +
                QStringLiteral("</title><link rel=\"stylesheet\" href=\"/klov.css\"></head><body><h1>") +
                Title + QStringLiteral("</h1>") + Body + QStringLiteral("</body></html>"));
}

inline TChmWriter Writer()
{
    TChmWriter w;
    w.SetLanguage(0x0419);
    w.SetTitle(Ansi(QStringLiteral("Справка Кловарис")));
    w.SetDefaultTopic("intro.htm");
    w.SetContentsFile("klov.hhc");
    w.SetIndexFile("klov.hhk");
    w.AddFile(QStringLiteral("/intro.htm"),
              Page(QStringLiteral("Кловарис"),
                   QStringLiteral("<p><img src=\"images/logo.png\"> Программа опрашивает измерительные "
                                  "преобразователи.</p><p><a href=\"journal.htm\">Журнал</a> "
                                  "<a href=\"archive/period.htm#dates\">Период</a></p>")));
    w.AddFile(QStringLiteral("/journal.htm"),
              Page(QStringLiteral("Журнал предупреждений"),
                   QStringLiteral("<p>Журнал хранит изменения неисправностей.</p>"
                                  "<p><a href=\"ms-its:klov.chm::/intro.htm\">В начало</a></p>")));
    w.AddFile(
        QStringLiteral("/archive/period.htm"),
        Page(QStringLiteral("Выбор периода"),
             QStringLiteral("<p><img src=\"../images/logo.png\"></p><a name=\"dates\"></a>"
                            "<p>Начало и конец периода архива.</p><a href=\"../intro.htm\">Назад</a>")));
    w.AddFile(QStringLiteral("/print.htm"),
              Page(QStringLiteral("Печать графиков"), QStringLiteral("<p>Печать.</p>")));
    w.AddFile(QStringLiteral("/images/logo.png"), Logo());
    w.AddFile(QStringLiteral("/klov.css"), "h1 { color: #1f4e8c; }");
    w.AddFile(QStringLiteral("/klov.hhc"),
              Ansi(QStringLiteral(R"(<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN">
<HTML><HEAD></HEAD><BODY>
<OBJECT type="text/site properties"><param name="ImageType" value="Folder"></OBJECT>
<UL>
	<LI> <OBJECT type="text/sitemap">
		<param name="Name" value="Введение">
		<param name="Local" value="intro.htm">
		</OBJECT>
	<LI> <OBJECT type="text/sitemap">
		<param name="Name" value="Окна программы">
		</OBJECT>
	<UL>
		<LI> <OBJECT type="text/sitemap">
			<param name="Name" value="Журнал предупреждений">
			<param name="Local" value="journal.htm">
			</OBJECT>
		<LI> <OBJECT type="text/sitemap">
			<param name="Name" value="Выбор периода">
			<param name="Local" value="archive\period.htm">
			</OBJECT>
	</UL>
	<LI> <OBJECT type="text/sitemap">
		<param name="Name" value="Печать &quot;графиков&quot;">
		<param name="Local" value="print.htm">
		</OBJECT>
</UL>
</BODY></HTML>
)")));
    w.AddFile(QStringLiteral("/klov.hhk"), Ansi(QStringLiteral(R"(<HTML><BODY>
<UL>
	<LI> <OBJECT type="text/sitemap">
		<param name="Name" value="архив">
		<param name="Local" value="archive/period.htm">
		</OBJECT>
	<UL>
		<LI> <OBJECT type="text/sitemap">
			<param name="Name" value="период">
			<param name="Local" value="archive/period.htm#dates">
			</OBJECT>
	</UL>
	<LI> <OBJECT type="text/sitemap">
		<param name="Name" value="журнал">
		<param name="Local" value="journal.htm">
		</OBJECT>
	<LI> <OBJECT type="text/sitemap">
		<param name="Name" value="печать">
		<param name="Name" value="Печать графиков">
		<param name="Local" value="print.htm">
		<param name="Name" value="Журнал предупреждений">
		<param name="Local" value="journal.htm">
		</OBJECT>
</UL>
</BODY></HTML>
)")));
    w.AddContext(9, "archive/period.htm");
    w.AddContext(10, "journal.htm");
    w.AddContext(70, "print.htm");
    return w;
}

inline bool Write(const QString& FileName)
{
    QString error;
    return Writer().Write(FileName, error);
}

} // namespace SampleHelp
