#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folvane"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Folvane "));
    window.resize(934, 490);
    window.show();
    return QApplication::exec();
}
