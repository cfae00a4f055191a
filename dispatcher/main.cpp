#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("klov"));
    // The windows arrive with the main window; until then the program starts and ends cleanly.
    return 0;
}
