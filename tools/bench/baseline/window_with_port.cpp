// A main window of the panel's size with an open serial port and nothing else: what any Qt
// program of this kind holds in memory before it has a single control.
//
//   bench_window_with_port PORT

#include <QApplication>
#include <QMainWindow>
#include <QSerialPort>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_window_with_port PORT\n");
        return 2;
    }
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    port.setBaudRate(QSerialPort::Baud9600);
    if (!port.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot open %s: %s\n", argv[1], qPrintable(port.errorString()));
        return 1;
    }
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Function Generator"));
    window.setFixedSize(559, 409);
    window.show();
    return app.exec();
}
