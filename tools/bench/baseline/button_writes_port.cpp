// One button that writes a ten-byte command to a serial port when clicked: the shortest path
// from a click to bytes on the line that a Qt program can take.
//
//   bench_button_writes_port PORT

#include <QApplication>
#include <QPushButton>
#include <QSerialPort>

#include <cstdio>

namespace {

// What Enter does, minus everything Enter decides: write the same ten bytes every time.
class CommandSender : public QObject {
public:
    explicit CommandSender(QSerialPort& port) : port_(port) {}
    void send() { port_.write("8E30000008"); }

private:
    QSerialPort& port_;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_button_writes_port PORT\n");
        return 2;
    }
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    port.setBaudRate(QSerialPort::Baud9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    if (!port.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot open %s: %s\n", argv[1], qPrintable(port.errorString()));
        return 1;
    }
    QPushButton button(QStringLiteral("Enter"));
    button.setFixedSize(113, 33);
    CommandSender sender(port);
    QObject::connect(&button, &QPushButton::clicked, &sender, &CommandSender::send);
    button.show();
    return app.exec();
}
