#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("ORVENA - Sorvel Browser"));
    window.resize(1024, 640);
    window.show();
    app.exec();
    return 0;
}
