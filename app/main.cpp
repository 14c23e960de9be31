#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Dralvo, v1.10"));
    window.resize(640, 480);
    window.show();
    return app.exec();
}
