// A second Varlo for the tests: opens COMn with the panel's settings through the serial
// link, prints what OpenPort gave, and keeps the port until its standard input ends.

#include "serial/line_settings.h"
#include "serial/serial_link.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    varlo::SerialLink link;
    const int result = link.OpenPort(std::atoi(argv[1]), varlo::PanelLineSettings, 1);
    std::printf("%d\n", result);
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    return 0;
}
