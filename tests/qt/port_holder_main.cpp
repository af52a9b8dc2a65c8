// A second Varlo for the tests: opens COMn with the panel's settings through the serial
// link, prints what OpenPort gave (after a 0, why on a second line), and keeps the port until
// its standard input ends.

#include "serial/line_settings.h"
#include "serial/port_state_text.h"
#include "serial/serial_link.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    varlo::SerialLink link;
    const int result = link.OpenPort(std::atoi(argv[1]), varlo::PanelLineSettings, 1);
    std::printf("%d\n", result);
    if (result == 0) {
        const auto why = link.lastOpenFailure();
        const std::string reason = why ? varlo::portStateText(std::atoi(argv[1]), *why) : "";
        std::printf("%s\n", reason.c_str());
    }
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    return 0;
}
