#include "app/command_line.h"
#include "app/message_box_dialogs.h"
#include "panel/load_server_connection.h"
#include "panel/panel_window.h"
#include "program/display_opening.h"
#include "program/exit_status.h"
#include "program/quit_on_signal.h"

#include <QApplication>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

int main(int argc, char** argv)
{
    const auto answer = varlo::answerCommandLine(argc, argv);
    if (const int* status = std::get_if<int>(&answer))
        return *status;

    std::unique_ptr<QApplication> app;
    {
        const varlo::DisplayOpening opening("varlo", "--help and --version need none");
        app = std::make_unique<QApplication>(argc, argv);
    }
    // The name only identifies the program to the system; window titles stay exactly as set.
    QApplication::setApplicationName(QStringLiteral("varlo"));

    varlo::MessageBoxDialogs dialogs;
    // SIGTERM, SIGINT and SIGHUP end the program as EXIT does, without a box: the event loop
    // (or the open question of the port scan) is left, main returns 0, and the window closes
    // the port and removes its lock on the way out.
    varlo::QuitOnSignal quitOnSignal;
    QObject::connect(&quitOnSignal, &varlo::QuitOnSignal::arrived, app.get(),
                     [&dialogs] { dialogs.stopShowing(); });

    // Only --connect loads the network client, so that the panel on a port does without it.
    std::unique_ptr<varlo::ServerConnection> connection;
    if (const auto& server = std::get<varlo::PanelStart>(answer).server) {
        auto loaded = varlo::loadServerConnection(*server);
        if (const std::string* why = std::get_if<std::string>(&loaded)) {
            std::fprintf(stderr, "varlo: cannot go through varlo-scpi: %s\n", why->c_str());
            return varlo::exit_status::Failure;
        }
        connection = std::move(std::get<std::unique_ptr<varlo::ServerConnection>>(loaded));
    }
    varlo::Varlo54 window(dialogs, std::move(connection));
    // The port scan asks its questions before the panel appears; without a port, no panel.
    // A signal during the scan has closed its box and stopped the scan, but found no event
    // loop yet to leave.
    if (!window.Form_Load() || varlo::QuitOnSignal::received() != 0)
        return 0;
    window.show();
    return QApplication::exec();
}
